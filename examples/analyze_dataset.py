# SPDX-License-Identifier: Apache-2.0
"""Analyses a data set of recordings with the Python module, one recording per task.

    PYTHONPATH=build/python /usr/bin/python3 examples/analyze_dataset.py FILE_OR_FOLDER... \\
        [--workers N]

Each recording (comma-separated CSV with a header, the columns of docs/input-format.md under their
canonical ids) is read with NumPy and fed to a Session in one-second batches in Incremental mode.
Its summary is the median of each vital over the batches and the share of batches that gave one.
`analyse` takes a path and returns plain data, so any engine that maps a function over files runs
it on many machines unchanged; this script maps it with the standard library's process pool:

    Dask:  client = dask.distributed.Client(scheduler); client.gather(client.map(analyse, paths))
    Ray:   task = ray.remote(analyse); ray.get([task.remote(path) for path in paths])

Prints one JSON line per recording in the order given. A recording that cannot be analysed is
reported on standard error, the others still run, and the exit status is 1.
"""

import argparse
import json
import sys
from concurrent.futures import ProcessPoolExecutor
from pathlib import Path

import numpy as np

import quorvanta_core as qc

VITALS = ["heart_rate", "respiratory_rate", "spo2", "hrv_sdnn", "hrv_rmssd"]
# The signals those vitals read: the session keeps nothing of others, and warns of them.
SIGNALS = ["ppg_waveform", "respiratory_waveform", "spo2"]


def read_columns(path):
    """The recording's columns by name, as float arrays."""
    table = np.genfromtxt(path, delimiter=",", names=True, dtype=np.float64, ndmin=1)
    columns = {name: table[name] for name in table.dtype.names}
    if "timestamp" not in columns:
        raise ValueError("no 'timestamp' column")
    return columns


def batch_input(columns, signals, part):
    signal_inputs = {
        name: qc.SignalInput(columns[name][part].astype(np.float32),
                             columns.get(f"{name}_confidence",
                                         np.ones(columns[name].size))[part].astype(np.float32))
        for name in signals}
    return qc.SessionInput(None, signal_inputs, columns["timestamp"][part])


def analyse(path):
    """Median and share of batches with an estimate of every vital the recording gives."""
    columns = read_columns(path)
    times = columns["timestamp"]
    signals = [name for name in SIGNALS if name in columns]
    if not signals:
        raise ValueError(f"no signal among the columns {', '.join(columns)}")
    fps = (times.size - 1) / (times[-1] - times[0]) if times.size > 1 else 30.0
    session = qc.Session(qc.SessionConfig("dataset", VITALS, float(fps), 40, 4, "face"))
    step = max(1, round(fps))
    estimates = {vital: [] for vital in VITALS}
    batches = 0
    for first in range(0, times.size, step):
        result = session.process(batch_input(columns, signals, slice(first, first + step)),
                                 "Incremental")
        batches += 1
        for vital, estimate in result.vitals.items():
            estimates[vital].append(estimate.value)
    return {"file": str(path), "frames": int(times.size),
            "duration_s": float(times[-1] - times[0]),
            "vitals": {vital: {"median": float(np.median(values)),
                               "share": len(values) / batches}
                       for vital, values in estimates.items() if values}}


def recordings(paths):
    for path in map(Path, paths):
        yield from sorted(path.glob("*.csv")) if path.is_dir() else [path]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("paths", nargs="+", help="recordings, or folders of .csv recordings")
    parser.add_argument("--workers", type=int, default=None, help="processes (default: cores)")
    arguments = parser.parse_args()
    paths = list(recordings(arguments.paths))
    failed = 0
    with ProcessPoolExecutor(arguments.workers) as pool:
        futures = [pool.submit(analyse, path) for path in paths]
        for path, future in zip(paths, futures):
            try:
                print(json.dumps(future.result()), flush=True)
            except Exception as error:  # noqa: BLE001 - one bad recording must not stop the rest
                print(f"{path}: {error}", file=sys.stderr)
                failed += 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
