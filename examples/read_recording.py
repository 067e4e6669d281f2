# SPDX-License-Identifier: Apache-2.0
"""Reads a recording file as a data set ships it and streams it through a Session, printing each
vital the session estimates at the end: "VITAL VALUE UNIT (checked CHECKED, quality QUALITY)".

By default the file is the first minute of NeuroKit2's resting recording (data/recordings): finger
PPG, chest belt and ECG at 100 Hz in columns PPG, RSP and ECG, without timestamps. The reader
maps the columns to the signals the session reads, times the frames by the rate and leaves the
ECG out with a warning.

    python3 examples/read_recording.py [FILE]
"""

import sys
from pathlib import Path

import quorvanta_core as qc

DEFAULT = Path(__file__).resolve().parents[1] / "data/recordings/neurokit_rest_60s.csv"
FS = 100.0


def main():
    path = sys.argv[1] if len(sys.argv) > 1 else DEFAULT
    recording = qc.read_recording(path, fs=FS, columns={"ppg_waveform": "PPG",
                                                        "respiratory_waveform": "RSP"},
                                  batch_frames=int(FS))  # one-second batches, as a live host
    for warning in recording["warnings"]:
        print("warning:", warning, file=sys.stderr)
    config = qc.SessionConfig("recording-example", ["heart_rate", "respiratory_rate"], FS, 40, 4,
                              "face")
    session = qc.Session(config)
    for batch in recording["batches"]:
        result = session.process(batch, "Incremental")
    checks = session.assess().vitals
    for vital, estimate in sorted(result.vitals.items()):
        check = checks[vital]
        print(f"{vital} {estimate.value:.1f} {estimate.unit} "
              f"(checked {check.checked_value:.1f}, quality {check.quality:.2f})")


if __name__ == "__main__":
    main()
