# SPDX-License-Identifier: Apache-2.0
"""examples/analyze_dataset.py on the sample and a bad file, two worker processes: the sample's
summary matches its truth, and the bad file is reported without stopping the run."""

import json
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "data" / "sample_recording.csv"


def test_each_recording_is_summarised_and_a_bad_one_reported(tmp_path):
    bad = tmp_path / "bad.csv"
    bad.write_text("timestamp,temperature\n0,36.6\n")
    result = subprocess.run([sys.executable, ROOT / "examples" / "analyze_dataset.py", bad, SAMPLE,
                             "--workers", "2"], capture_output=True, text=True, check=False)
    assert result.returncode == 1
    assert result.stderr == f"{bad}: no signal among the columns timestamp, temperature\n"
    summary = json.loads(result.stdout)
    assert (summary["file"], summary["frames"]) == (str(SAMPLE), 2700)
    truth = json.loads(SAMPLE.with_suffix(".truth.json").read_text())["vitals"]
    for vital in ("heart_rate", "respiratory_rate"):
        median = sorted(truth[vital])[len(truth[vital]) // 2]
        assert abs(summary["vitals"][vital]["median"] - median) < 2, vital
        assert summary["vitals"][vital]["share"] > 0.8
