#!/usr/bin/python3
# SPDX-License-Identifier: Apache-2.0
"""Measures the quorvanta command's peak memory and time on long synthetic recordings.

For each length it writes a recording with the sample generator (tools/make_sample_recording.py
--duration), then runs `quorvanta analyze` on it under /usr/bin/time -v in every combination of
inference mode, waveform mode and outputs, and prints one row per run: peak resident memory, wall
and user time. Run by hand with a Release build, for example:

    /usr/bin/python3 bench/command_long_recording.py --command build/release/apps/quorvanta/quorvanta
    /usr/bin/python3 bench/command_long_recording.py --minutes 30 60 120 --outputs none \\
        --waveform-modes incremental windowed:10

Needs NumPy for the generator and GNU time (Debian's `time` package) for the measurements.
"""

import argparse
import itertools
import re
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
GENERATOR = ROOT / "tools" / "make_sample_recording.py"
OUTPUTS = {
    "none": lambda folder: [],
    "all": lambda folder: ["--timeline", "--json", str(folder / "out.json"), "--json-waveforms",
                           "--json-face", "--plot", str(folder / "out.svg")],
}


def parse_arguments():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--command", type=Path,
                        default=ROOT / "build" / "release" / "apps" / "quorvanta" / "quorvanta")
    parser.add_argument("--minutes", type=float, nargs="+", default=[120.0],
                        help="recording lengths (default: 120)")
    parser.add_argument("--modes", nargs="+", default=["stream", "file"],
                        help="inference modes (default: stream file)")
    parser.add_argument("--waveform-modes", nargs="+",
                        default=["incremental", "windowed:10", "global"])
    parser.add_argument("--outputs", nargs="+", choices=sorted(OUTPUTS), default=["none", "all"],
                        help="none: the summary only; all: timeline, JSON with waveforms and face, "
                        "plot")
    parser.add_argument("--work-dir", type=Path,
                        help="where the recordings and outputs go (default: a temporary folder)")
    return parser.parse_args()


def recording(folder, minutes):
    """The generator's recording of `minutes`, written once into its own folder."""
    target = folder / f"{minutes:g}min"
    csv = target / "sample_recording.csv"
    if not csv.exists():
        subprocess.run([sys.executable, str(GENERATOR), "--output-dir", str(target), "--duration",
                        str(minutes * 60)], check=True)
    return csv


def measured(command):
    """Peak resident memory in MB, wall and user seconds of one run."""
    completed = subprocess.run(["/usr/bin/time", "-v", *command], capture_output=True, text=True,
                               check=False)
    if completed.returncode != 0:
        sys.exit(f"{' '.join(command)} failed:\n{completed.stderr}")
    report = completed.stderr
    peak_kb = int(re.search(r"Maximum resident set size \(kbytes\): (\d+)", report).group(1))
    wall = re.search(r"Elapsed \(wall clock\) time \(h:mm:ss or m:ss\): ([\d:.]+)", report).group(1)
    user = float(re.search(r"User time \(seconds\): ([\d.]+)", report).group(1))
    seconds = sum(float(part) * 60 ** power
                  for power, part in enumerate(reversed(wall.split(":"))))
    return peak_kb / 1024, seconds, user


def main():
    arguments = parse_arguments()
    with tempfile.TemporaryDirectory() as temporary:
        folder = arguments.work_dir or Path(temporary)
        folder.mkdir(parents=True, exist_ok=True)
        print("| minutes | --mode | --waveform-mode | outputs | peak RSS (MB) | wall (s) | user (s) |")
        print("|---:|---|---|---|---:|---:|---:|")
        for minutes, mode, waveform_mode, outputs in itertools.product(
                arguments.minutes, arguments.modes, arguments.waveform_modes, arguments.outputs):
            command = [str(arguments.command), "analyze", str(recording(folder, minutes)),
                       "--mode", mode, "--waveform-mode", waveform_mode,
                       *OUTPUTS[outputs](folder)]
            peak, wall, user = measured(command)
            print(f"| {minutes:g} | {mode} | {waveform_mode} | {outputs} | {peak:.0f} | "
                  f"{wall:.1f} | {user:.1f} |", flush=True)


if __name__ == "__main__":
    main()
