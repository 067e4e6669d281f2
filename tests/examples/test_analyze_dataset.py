# SPDX-License-Identifier: Apache-2.0
"""examples/analyze_dataset.py on a folder of the sample, its first 30 s and a bad file, on a Dask
cluster of two worker processes and serially: the same table and JSON files either way, the
sample's summary matches its truth, and the bad file is reported without stopping the run."""

import json
import shutil
import subprocess
import sys
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "data" / "sample_recording.csv"


def run(folder, output, *engine):
    return subprocess.run([sys.executable, ROOT / "examples" / "analyze_dataset.py", folder,
                           "--json", output, *engine], capture_output=True, text=True, check=False)


def test_a_cluster_and_a_serial_run_give_the_same_results_and_report_a_bad_file(tmp_path):
    folder = tmp_path / "recordings"
    folder.mkdir()
    shutil.copy(SAMPLE, folder)
    lines = SAMPLE.read_text().splitlines(keepends=True)
    (folder / "first_30s.csv").write_text("".join(lines[:901]))
    bad = folder / "bad.csv"
    bad.write_text("timestamp,temperature\n0,36.6\n")

    runs = {engine[-1]: run(folder, tmp_path / engine[-1], *engine)
            for engine in (["--workers", "2"], ["--serial"])}
    for result in runs.values():
        assert result.returncode == 1
        assert result.stderr.splitlines() == [
            f"{bad}:1: no signal among the columns 'temperature'; expected a signal: ppg_waveform, "
            "respiratory_waveform, spo2, abp_waveform, sbp, dbp (or an alias that 'quorvanta "
            "vitals' lists, such as ppg or resp)",
            "1 of 3 recordings failed"]
    assert runs["2"].stdout == runs["--serial"].stdout
    table = runs["2"].stdout.splitlines()
    assert [row.split("  ")[0] for row in table] == [
        "Recording", str(folder / "first_30s.csv"), str(folder / "sample_recording.csv")]
    written = {name: {path.name: path.read_text() for path in (tmp_path / name).iterdir()}
               for name in runs}
    assert written["2"] == written["--serial"]
    assert sorted(written["2"]) == ["first_30s.json", "sample_recording.json"]

    summary = json.loads(written["2"]["sample_recording.json"])
    assert (summary["file"], summary["frames"], summary["batches"]) == (str(folder / SAMPLE.name),
                                                                        2700, 90)
    truth = json.loads(SAMPLE.with_suffix(".truth.json").read_text())["vitals"]
    for vital in ("heart_rate", "respiratory_rate"):
        median = sorted(truth[vital])[len(truth[vital]) // 2]
        assert abs(summary["vitals"][vital]["median"] - median) < 2, vital
        assert summary["vitals"][vital]["share"] > 0.8
