# SPDX-License-Identifier: Apache-2.0
"""Analyses a data set of recordings on a Dask cluster, one recording per task.

    PYTHONPATH=build/release/python /usr/bin/python3 examples/analyze_dataset.py \\
        FILE_OR_FOLDER... [--json FOLDER] [--workers N | --scheduler ADDRESS | --serial] \\
        [--fs HZ] [--column SIGNAL=COLUMN ...] [--time-unit s|ms|us] [--resample HZ]

Each recording (CSV or JSON, as docs/input-format.md describes; the reader options are the
command's) is read with read_recording and fed to a Session in one-second batches in Incremental
mode. Its summary is the median of each vital over the batches and the share of batches that gave
one, as `quorvanta analyze` summarises many recordings.

By default the tasks run on a Dask LocalCluster of --workers processes on this machine; with
--scheduler they run on a running cluster (`dask-scheduler` and `dask-worker ADDRESS` on each
machine, each worker with quorvanta_core importable and the recordings at the same paths);
--serial runs them here, one after the other. Whichever runs them, the results are the same.

Prints a table of the recordings in the order given (the command's layout) and, with --json,
writes FOLDER/NAME.json for each. A recording that cannot be analysed is reported on standard
error, the others still run, and the exit status is 1. A progress bar shows on a terminal.
"""

import argparse
import json
import os
import sys
from pathlib import Path

import numpy as np

import quorvanta_core as qc

# In the order the command lists them.
VITALS = ["heart_rate", "respiratory_rate", "spo2", "hrv_sdnn", "hrv_rmssd", "sbp", "dbp"]


def analyse(path, read_options):
    """Median and share of batches with an estimate of every vital the recording gives."""
    recording = qc.read_recording(path, **read_options)
    times = recording["timestamp"]
    fps = (times.size - 1) / (times[-1] - times[0]) if times.size > 1 else 30.0
    recording = qc.read_recording(path, batch_frames=max(1, round(fps)), **read_options)
    session = qc.Session(qc.SessionConfig("dataset", VITALS, float(fps), 40, 4, "face"))
    estimates = {vital: [] for vital in VITALS}
    for batch in recording["batches"]:
        for vital, estimate in session.process(batch, "Incremental").vitals.items():
            estimates[vital].append(estimate.value)
    batches = len(recording["batches"])
    return {"file": str(path), "frames": int(times.size),
            "duration_s": float(times[-1] - times[0]), "batches": batches,
            "vitals": {vital: {"median": float(np.median(values)), "share": len(values) / batches}
                       for vital, values in estimates.items() if values}}


def outcome(path, read_options):
    """(summary, None), or (None, the reason) for a recording that cannot be analysed: a task
    that returns its failure lets the others run on and keeps the cluster's logs quiet."""
    try:
        return analyse(path, read_options), None
    except (ValueError, OSError) as error:
        return None, str(error)


# --- Engines ---------------------------------------------------------------------------------------

def progress_bar(total):
    from tqdm import tqdm
    return tqdm(total=total, unit="recording", file=sys.stderr, disable=None)


def run_serially(paths, read_options):
    outcomes = []
    with progress_bar(len(paths)) as bar:
        for path in paths:
            outcomes.append(outcome(path, read_options))
            bar.update()
    return outcomes


def run_on_dask(paths, read_options, scheduler, workers):
    from distributed import Client, LocalCluster, as_completed
    cluster = None if scheduler else LocalCluster(
        n_workers=workers, threads_per_worker=1, processes=True, dashboard_address=None)
    try:
        with Client(scheduler or cluster) as client:
            futures = client.map(outcome, paths, read_options=read_options, pure=False)
            with progress_bar(len(paths)) as bar:
                for _ in as_completed(futures):
                    bar.update()
            return client.gather(futures)
    finally:
        if cluster is not None:
            cluster.close()


# --- Output ----------------------------------------------------------------------------------------

def recordings_table(summaries):
    """The command's table of many recordings: each vital's median and the share of batches with
    one, for the vitals any recording gives."""
    shown = [vital for vital in VITALS if any(vital in s["vitals"] for s in summaries)]
    short = {vital: qc.get_vital_info(vital).short_name for vital in shown}
    rows = [["Recording", "Frames", "Duration (s)", "Batches"]
            + [name for vital in shown for name in (short[vital], short[vital] + " %")]]
    for summary in summaries:
        row = [summary["file"], str(summary["frames"]), f"{summary['duration_s']:.1f}",
               str(summary["batches"])]
        for vital in shown:
            value = summary["vitals"].get(vital)
            row += ([f"{value['median']:.2f}", f"{100 * value['share']:.0f}"] if value
                    else ["-", "0"])
        rows.append(row)
    widths = [max(len(row[i]) for row in rows) for i in range(len(rows[0]))]
    return "".join("  ".join(cell.ljust(width) for cell, width in zip(row, widths)).rstrip() + "\n"
                   for row in rows)


def write_json(folder, summary):
    folder.mkdir(parents=True, exist_ok=True)
    (folder / (Path(summary["file"]).stem + ".json")).write_text(json.dumps(summary, indent=2))


# --- Command line ----------------------------------------------------------------------------------

def recordings(paths):
    for path in map(Path, paths):
        if path.is_dir():
            yield from sorted(p for p in path.iterdir() if p.suffix in (".csv", ".json")
                              and not p.name.endswith(".truth.json"))
        else:
            yield path


def read_options(arguments):
    columns = dict(mapping.split("=", 1) for mapping in arguments.column)
    return {"fs": arguments.fs, "columns": columns or None, "time_unit": arguments.time_unit,
            "resample": arguments.resample}


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("paths", nargs="+", help="recordings, or folders of recordings")
    parser.add_argument("--json", type=Path, metavar="FOLDER", help="write FOLDER/NAME.json each")
    engine = parser.add_mutually_exclusive_group()
    engine.add_argument("--workers", type=int, default=os.cpu_count(),
                        help="worker processes of the local cluster (default: cores)")
    engine.add_argument("--scheduler", metavar="ADDRESS",
                        help="a running cluster's scheduler, such as tcp://10.0.0.5:8786")
    engine.add_argument("--serial", action="store_true", help="run here, without Dask")
    parser.add_argument("--fs", type=float, help="frames per second of files without timestamps")
    parser.add_argument("--column", action="append", default=[], metavar="SIGNAL=COLUMN",
                        help="read a column of another name as a signal (repeatable)")
    parser.add_argument("--time-unit", default="s", choices=["s", "ms", "us"])
    parser.add_argument("--resample", type=float, metavar="HZ", help="resample to HZ first")
    return parser.parse_args()


def main():
    arguments = parse_arguments()
    paths = [str(path) for path in recordings(arguments.paths)]
    options = read_options(arguments)
    outcomes = (run_serially(paths, options) if arguments.serial
                else run_on_dask(paths, options, arguments.scheduler, arguments.workers))
    summaries = [summary for summary, _ in outcomes if summary]
    for summary in summaries:
        if arguments.json:
            write_json(arguments.json, summary)
    if summaries:
        sys.stdout.write(recordings_table(summaries))
    failures = [error for _, error in outcomes if error]
    for error in failures:
        print(error, file=sys.stderr)
    if failures:
        print(f"{len(failures)} of {len(paths)} recordings failed", file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
