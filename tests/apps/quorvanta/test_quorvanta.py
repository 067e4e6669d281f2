# SPDX-License-Identifier: Apache-2.0
"""The quorvanta command as a user runs it: the bundled sample with every output, both input
formats and the ways real files are written, many recordings at once, and each kind of error."""

import csv
import json
import math
import os
import re
import subprocess
import xml.etree.ElementTree as ElementTree
from pathlib import Path

import numpy as np
import pandas
import pytest

SAMPLE = Path(__file__).resolve().parents[3] / "data" / "sample_recording.csv"
SAMPLE_ROWS = list(csv.reader(SAMPLE.open(newline="")))
SVG = "{http://www.w3.org/2000/svg}"
EXPECTED_SIGNAL = ("expected a signal: ppg_waveform, respiratory_waveform, spo2, abp_waveform, "
                   "sbp, dbp (or an alias that 'quorvanta vitals' lists, such as ppg or resp)")


def run(*args):
    return subprocess.run([os.environ["QUORVANTA_CLI"], *map(str, args)], capture_output=True,
                          text=True, check=False)


def analysis(*args):
    result = run("analyze", *args, "--json", "-")
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)


def table_row(output, name):
    """The cells of the table row that starts with `name` (columns are two or more spaces apart)."""
    return re.split(r"\s{2,}", next(line for line in output.splitlines()
                                    if line.startswith(name + "  ")))


def vitals_row(output, name):
    """The vitals table's row `name`, by column heading."""
    return dict(zip(table_row(output, "Vital"), table_row(output, name)))


def panels(svg_file):
    """Each plot panel's title and its elements, by class."""
    found = {}
    for group in ElementTree.parse(svg_file).getroot().findall(SVG + "g"):
        title = next(t.text for t in group.iter(SVG + "text") if t.get("class") == "panel")
        found[title] = {}
        for element in group.iter():
            found[title].setdefault(element.get("class"), []).append(element)
    return found


def points(element):
    return [tuple(map(float, pair.split(","))) for pair in element.get("points").split()]


def columns(names, frames=900):
    """The first `frames` rows of the sample's columns `names`, as text cells."""
    indices = [SAMPLE_ROWS[0].index(name) for name in names]
    return [[row[i] for i in indices] for row in SAMPLE_ROWS[1:frames + 1]]


def write_csv(path, header, rows, separator=",", line_end="\n"):
    path.write_text("".join(separator.join(cells) + line_end for cells in [header, *rows]))
    return path


@pytest.mark.parametrize("mode, marked, label", [("incremental", True, "truth (window mean)"),
                                                 ("global", False, "truth (mean so far)")])
def test_the_bundled_sample_matches_its_truth_in_the_table_the_json_and_the_plot(tmp_path, mode,
                                                                                 marked, label):
    json_file, plot = tmp_path / "analysis.json", tmp_path / "plot.svg"
    result = run("analyze", "--waveform-mode", mode, "--timeline", "--json", json_file,
                 "--json-waveforms", "--json-face", "--plot", plot)
    assert result.returncode == 0 and result.stderr == "", result.stderr
    assert sorted(tmp_path.iterdir()) == [json_file, plot]  # no temporary files left
    document = json.loads(json_file.read_text())
    for name, id_ in (("Heart Rate", "heart_rate"), ("Respiratory Rate", "respiratory_rate")):
        row = vitals_row(result.stdout, name)
        assert row["Unit"] == "bpm" and 0 < float(row["Confidence"]) <= 1
        truth = float(row["Truth"])
        if mode == "incremental":  # over its window
            assert abs(float(row["Value"]) - truth) <= 3, name
            assert abs(float(row["Checked"].rstrip(" *")) - truth) <= 3, name
        vital = document["vitals"][id_]
        assert [f"{vital[key]:.2f}" for key in ("value", "truth", "checked_value", "quality")] == [
            row["Value"], row["Truth"], row["Checked"].rstrip(" *"), row["Quality"]]
        assert (", ".join(vital["reasons"]) or "-") == row["Checks"]
    starred = [line for line in result.stdout.splitlines() if re.search(r"\d \*  ", line)]
    assert ("* more than 10% from the session's value; Checks names what the checks saw"
            in result.stdout.splitlines()) == bool(starred)
    beats = document["beats"]
    assert len(beats["times"]) == len(beats["status"]) > 90  # about 72 per minute for 90 s
    assert set(beats["status"]) <= {"Normal", "Corrected", "Rejected"}
    assert min(b - a for a, b in zip(beats["times"], beats["times"][1:])) > 0.3  # each beat once
    batches = document["batches"]
    timeline = [line for line in result.stdout.splitlines() if re.match(r"\d+\.\d\d +\d+ ", line)]
    assert len(timeline) == len(batches) > 60
    assert len(document["face"]["coordinates"]) == len(document["face"]["timestamp"])
    found = panels(plot)
    for title, id_ in (("PPG", "ppg_waveform"), ("Respiration", "respiratory_waveform")):
        waveform, panel = document["waveforms"][id_], found[title]
        assert len(waveform["timestamp"]) == len(waveform["data"]) > 2000
        assert waveform["timestamp"] == sorted(waveform["timestamp"])
        assert (waveform["unprocessed_frames"] > 0) == marked
        assert ("unprocessed-span" in panel) == ("unprocessed" in panel) == marked
        assert ("returned unprocessed" in [text.text for text in panel["tick"]]) == marked
    estimates = [c for c in ElementTree.parse(plot).getroot().iter(SVG + "circle")
                 if c.find(SVG + "title").text.startswith("est")]
    assert len(estimates) == sum(("heart_rate" in b["vitals"]) + ("respiratory_rate" in b["vitals"])
                                 for b in batches)
    # A long waveform is drawn as its envelope, fewer points than pixels; the truth names its mean.
    waveform, panel = document["waveforms"]["ppg_waveform"], found["PPG"]
    width = max(float(rect.get("width")) for rect in panel["frame"])
    assert len(waveform["data"]) > 2 * width >= sum(len(points(line)) for line in panel["line"])
    assert label in [text.text for text in found["Heart Rate (per minute)"]["tick"]]
    for title in ("Heart Rate (per minute)", "Respiratory Rate (per minute)"):
        assert {"checked", "quality"} <= found[title].keys(), title


def test_estimates_of_a_stretch_without_pulse_are_marked_low_quality(tmp_path):
    rows = [list(row) for row in SAMPLE_ROWS[1:]]
    column = SAMPLE_ROWS[0].index("ppg_waveform")
    for row in rows:  # the pulse is held flat between 20 and 26 s
        if 20 <= float(row[0]) < 26:
            row[column] = "0.5"
    plot = tmp_path / "flat.svg"
    document = analysis(write_csv(tmp_path / "flat.csv", SAMPLE_ROWS[0], rows), "--plot", plot)
    flagged = [batch["last_timestamp"] for batch in document["batches"]
               if "flat" in batch["vitals"].get("heart_rate", {}).get("reasons", [])]
    assert flagged and all(20 < t < 37 for t in flagged)
    rings = [c for c in panels(plot)["Heart Rate (per minute)"]["estimate low-quality"]]
    assert rings and all("flat" in ring.find(SVG + "title").text for ring in rings)


def test_plot_breaks_rate_lines_where_a_batch_has_no_estimate(tmp_path):
    rows = [list(row) for row in SAMPLE_ROWS[1:]]
    column = SAMPLE_ROWS[0].index("respiratory_waveform")
    for row in rows:  # the respiration stops between 35 and 75 s
        if 35 <= float(row[0]) < 75:
            row[column] = "0.1"
    plot = tmp_path / "pause.svg"
    document = analysis(write_csv(tmp_path / "pause.csv", SAMPLE_ROWS[0], rows), "--plot", plot)
    estimated = ["respiratory_rate" in batch["vitals"] for batch in document["batches"]]
    runs = sum(1 for i, has in enumerate(estimated) if has and (i == 0 or not estimated[i - 1]))
    lines = panels(plot)["Respiratory Rate (per minute)"]["estimate"]
    polylines = [points(line) for line in lines if line.tag == SVG + "polyline"]
    assert len(polylines) == runs >= 2
    steps = [b[0] - a[0] for line in polylines for a, b in zip(line, line[1:])]
    assert max(steps) < 2 * sorted(steps)[len(steps) // 2]  # no line spans a missing batch


def test_csv_as_spreadsheets_and_other_tools_write_it_gives_the_same_analysis(tmp_path):
    names = ["timestamp", "ppg_waveform", "respiratory_waveform", "ppg_waveform_confidence"]
    rows = columns(names)
    plain = analysis(write_csv(tmp_path / "plain.csv", names, rows))["batches"]
    quoted = lambda cells: ['"' + cell + '"' for cell in cells]  # noqa: E731
    variants = [  # a byte order mark, CRLF, semicolons and decimal commas; tabs and quoted aliases
        write_csv(tmp_path / "bom.csv", ["\ufeff" + names[0], *names[1:]],
                  [[cell.replace(".", ",") for cell in row] for row in rows], ";", "\r\n"),
        write_csv(tmp_path / "tabs.csv", quoted(["timestamp", "ppg", "resp", "ppg_confidence"]),
                  map(quoted, rows), "\t")]
    for variant in variants:
        assert analysis(variant)["batches"] == plain, variant.name


def test_files_pandas_and_instruments_write_give_the_same_analysis(tmp_path):
    """pandas' CSV (an index column, NaN as empty cells) with a column of another name mapped with
    --column, and a header-less column timed by --fs, read as the plain CSV does (the reader's own
    tests hold its other layouts to each other)."""
    names = ["timestamp", "ppg_waveform"]
    rows = columns(names)
    for row in rows[100:110]:
        row[1] = "nan"
    plain = analysis(write_csv(tmp_path / "plain.csv", names, rows))["batches"]
    pandas.read_csv(tmp_path / "plain.csv").rename(columns={"ppg_waveform": "PLETH"}).to_csv(
        tmp_path / "pleth.csv")
    assert analysis(tmp_path / "pleth.csv", "--column", "ppg=PLETH")["batches"] == plain
    timed = [[repr(i / 30), row[1]] for i, row in enumerate(rows)]
    numbers = tmp_path / "numbers.txt"
    numbers.write_text("".join(row[1] + "\n" for row in timed))
    assert (analysis(numbers, "--fs", "30")["batches"] ==
            analysis(write_csv(tmp_path / "timed.csv", names, timed))["batches"])


def test_a_125_hz_recording_is_analysed_at_its_own_rate_and_resampled(tmp_path):
    """The sample's pulse and respiration drawn through at 125 Hz: read as it is and resampled to
    30 fps, the rates are the 30 fps sample's."""
    names = ["timestamp", "ppg_waveform", "respiratory_waveform"]
    sample = pandas.DataFrame(columns(names, 2700), columns=names).astype(float)
    times = [i / 125 for i in range(int(sample.timestamp.iloc[-1] * 125) + 1)]
    dense = pandas.DataFrame({name: np.interp(times, sample.timestamp, sample[name])
                              for name in names[1:]})
    dense.insert(0, "timestamp", times)
    dense.to_csv(tmp_path / "dense.csv", index=False)
    expected = analysis(write_csv(tmp_path / "sample.csv", names, columns(names, 2700)))["vitals"]
    for args, frames in [([], len(times)), (["--resample", "30"], int(times[-1] * 30) + 1)]:
        result = analysis(tmp_path / "dense.csv", *args)
        assert result["frames"] == frames
        for vital, tolerance in [("heart_rate", 1.0), ("respiratory_rate", 0.5)]:
            assert abs(result["vitals"][vital]["value"] - expected[vital]["value"]) < tolerance, args


def test_a_stretch_without_values_is_named_and_left_as_a_gap_in_the_plot(tmp_path):
    rows = [list(row) for row in SAMPLE_ROWS[1:]]
    column = SAMPLE_ROWS[0].index("ppg_waveform")
    plots = {}
    for name, gap in [("plain", False), ("gap", True)]:
        for row in rows:
            if gap and 20 <= float(row[0]) < 28:
                row[column] = ""
        plots[name] = tmp_path / f"{name}.svg"
        result = run("analyze", write_csv(tmp_path / f"{name}.csv", SAMPLE_ROWS[0], rows), "--plot",
                     plots[name])
        assert result.returncode == 0, result.stderr
    assert result.stderr.splitlines()[-1].startswith(
        f"quorvanta: warning: {tmp_path / 'gap.csv'}: ppg_waveform has no values from 19.9")
    ppg = {name: panels(plot)["PPG"]["line"] for name, plot in plots.items()}
    assert len(ppg["gap"]) == len(ppg["plain"]) + 1  # the waveform's line breaks there


@pytest.mark.parametrize("args, scale, offset, description", [
    (["--fps", "25"], 1, 0, "90.0 s at 30.0 fps, analysed at 25.0 fps"),
    (["--time-unit", "ms"], 1000, 0, "90.0 s at 30.0 fps"),
    (["--time-unit", "us"], 1e6, 0, "90.0 s at 30.0 fps"),
    ([], -1, 90, "90.0 s at 30.0 fps")])  # read in time order
def test_timing_is_described_from_the_timestamps(tmp_path, args, scale, offset, description):
    rows = [[repr(offset + scale * float(t)), v] for t, v in columns(["timestamp", "ppg_waveform"],
                                                                       2700)]
    result = run("analyze", write_csv(tmp_path / "timed.csv", ["timestamp", "ppg_waveform"], rows),
                 *args)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines()[1].strip() == (
        f"2700 frames, {description}; signals ppg_waveform")


def test_version_and_vitals():
    assert re.fullmatch(r"quorvanta \(quorvanta_core \d+\.\d+\.\d+, C interface contract "
                        r"version \d+\)\n", run("--version").stdout)
    assert table_row(run("vitals").stdout, "heart_rate")[:4] == ["heart_rate", "hr, pulse",
                                                                 "Heart Rate", "bpm"]


def sample_as_json(path):
    """The sample in the JSON format, its PPG under the alias ppg."""
    header = SAMPLE_ROWS[0]
    column = lambda name: [float(row[header.index(name)]) for row in SAMPLE_ROWS[1:]]  # noqa: E731
    signals = [name for name in header[1:] if not name.startswith("face_")
               and not name.endswith("_confidence")]
    path.write_text(json.dumps({"timestamp": column("timestamp"), "signals": {
        {"ppg_waveform": "ppg"}.get(name, name): {"data": column(name),
                                                  "confidence": column(name + "_confidence")}
        for name in signals}, "face": {"confidence": column("face_confidence"), "coordinates": [
            list(box) for box in zip(*map(column, ("face_x", "face_y", "face_w", "face_h")))]}}))


def recordings_table(output):
    """The rows of the summary table of several recordings, as dicts by column title."""
    titles, *rows = [re.split(r"\s{2,}", line) for line in output.splitlines()]
    return [dict(zip(titles, row)) for row in rows]


def test_a_folder_and_a_file_run_on_threads_and_a_bad_recording_is_skipped(tmp_path):
    folder, out = tmp_path / "data", tmp_path / "out"
    folder.mkdir()
    sample_as_json(folder / "a.json")  # which must read as the CSV does
    (folder / "a.truth.json").write_text(SAMPLE.with_suffix(".truth.json").read_text())
    (folder / "bad.csv").write_text("timestamp,temperature\n0,36.6\n")
    (folder / "notes.txt").write_text("not a recording")
    result = run("analyze", folder, SAMPLE, "-j", "2", "--json", f"{out}/", "--plot", f"{out}/")
    assert result.returncode == 1
    assert result.stderr.splitlines() == [
        f"quorvanta: error: {folder / 'bad.csv'}:1: no signal among the columns 'temperature'; "
        + EXPECTED_SIGNAL, "quorvanta: 1 of 3 recordings failed"]
    alone = analysis(SAMPLE)
    assert json.loads((out / "sample_recording.json").read_text()) == alone
    assert json.loads((out / "a.json").read_text())["batches"] == alone["batches"]
    assert sorted(path.name for path in out.iterdir()) == [
        "a.json", "a.svg", "sample_recording.json", "sample_recording.svg"]
    first, row = recordings_table(result.stdout)
    assert (first["Recording"], row["Recording"]) == (str(folder / "a.json"), str(SAMPLE))
    assert (row["Frames"], row["Duration (s)"], row["Batches"]) == (
        "2700", "90.0", str(len(alone["batches"])))


# One file for each rule the reader enforces, and how its message starts after the file's name.
BAD_INPUT = [
    ("empty.csv", "", ": the file is empty"),
    ("header.csv", "timestamp,ppg\n", ": the recording has no frames"),
    ("piped.csv", "timestamp|ppg\n0|1\n", ":1: no 'timestamp' column: the header is the one "
     "column 'timestamp|ppg' (columns are separated by ',', ';' or tabs)"),
    ("untimed.csv", "time,ppg\n0,1\n", ":1: no 'timestamp' column among 'time', 'ppg'"),
    ("twice.csv", "timestamp,ppg_waveform,ppg\n0,1,2\n", ":1:24: column 'ppg' names the same"),
    ("orphan.csv", "timestamp,spo2_confidence\n0,1\n", ":1:11: column 'spo2_confidence' has no"),
    ("face.csv", "timestamp,face_x\n0,1\n", ":1: the face needs all of face_x"),
    ("open.csv", 'timestamp,ppg\n0,"1\n', ":2:3: the quote opened here is never closed"),
    ("after.csv", 'timestamp,ppg\n0,"1"2\n', ":2:6: text after the closing quote"),
    ("doubled.csv", 'timestamp,ppg\n0,"1""5"\n', ":2:3: '1\"5' in column 'ppg' is not a number"),
    ("short.csv", "timestamp,ppg\n0,1\n0.033\n", ":3: 1 cells where the header names 2"),
    ("broken.json", '{"timestamp": [0, 1,]}', ":1:21: invalid JSON: "),
    ("overflow.json", '{"timestamp": [0,\n 1e400]}', ":2:2: the number 1e400 is out of range"),
    ("unknown.json", '{"timestamp": [0], "signals": {"hr": {"data": [1]}}}',
     ": signals: no signal among 'hr'; expected a signal: "),
    ("typed.json", '{"timestamp": [0, "1"], "signals": {}}', ": timestamp[1]: expected a number"),
    ("mismatch.json", '{"timestamp": [0, 1], "signals": {"ppg": {"data": [1]}}}',
     ": signals.ppg.data: 1 values for 2 timestamps"),
    ("us.csv", "timestamp,ppg\n0,1\n33333,1\n", ": the median frame interval is 33333.0 s, too "
     "long for any vital: the timestamps look like microseconds; if they are, add --time-unit us"),
    ("utf16.csv", "timestamp,ppg\n0,1\n".encode("utf-16"), ": UTF-16 text: save it as UTF-8"),
    ("binary.dat", bytes(range(256)), ": not a text file"),
    ("numbers.txt", "0.5\n0.6\n", ":1: a column of numbers without a header: give its sample "
     "rate (--fs) to read it as ppg_waveform"),
    ("twice.json", '{"timestamp": [0],\n "timestamp": [1], "signals": {}}', ":2:2: \"timestamp\" "
     "appears twice in one object; it first appears at 1:2"),
    ("huge.csv", "timestamp,ppg\n0,1e39\n", ":2:3: the number 1e39 is out of range"),
]


@pytest.mark.parametrize("name, content, message", BAD_INPUT, ids=[b[0] for b in BAD_INPUT])
def test_bad_input_is_reported_and_writes_nothing(tmp_path, name, content, message):
    recording = tmp_path / name
    if isinstance(content, bytes):
        recording.write_bytes(content)
    else:
        recording.write_text(content)
    result = run("analyze", recording, "--json", tmp_path / "out.json", "--plot",
                 tmp_path / "out.svg")
    assert result.returncode == 1 and not result.stdout
    assert result.stderr.startswith(f"quorvanta: error: {recording}{message}"), result.stderr
    assert list(tmp_path.iterdir()) == [recording]


# Too few frames for the model, or for any estimate: the command says which instead of a table.
@pytest.mark.parametrize("frames, reason", [(5, "gave the model no batch to run"),
                                            (140, "is too short for any estimate")])
def test_a_short_recording_says_why_it_has_no_vitals(tmp_path, frames, reason):
    names = ["timestamp", "ppg_waveform"]
    result = run("analyze", write_csv(tmp_path / "short.csv", names, columns(names, frames)))
    assert result.returncode == 0 and result.stdout.endswith(f"No vitals: the recording {reason}.\n")


def test_a_vital_without_an_estimate_is_listed_with_why(tmp_path):
    rows = [list(row) for row in SAMPLE_ROWS[1:601]]  # 20 s: too little for LF/HF's 55 s
    recording = write_csv(tmp_path / "twenty.csv", SAMPLE_ROWS[0], rows)
    result = run("analyze", recording)
    assert vitals_row(result.stdout, "Heart Rate Variability (LF/HF)") == {
        "Vital": "Heart Rate Variability (LF/HF)", "Value": "-", "Unit": "-", "Confidence": "-",
        "Checked": "-", "Quality": "-", "Checks": "-", "Note": "no estimate: not enough history "
        "(20.0 s of the 55.0 s it needs)"}
    document = analysis(recording)
    assert document["missing_vitals"]["hrv_lfhf"] == ("no estimate: not enough history (20.0 s "
                                                      "of the 55.0 s it needs)")
    assert "hrv_lfhf" not in document["vitals"]


def test_an_output_that_cannot_be_written_fails_with_status_1(tmp_path):
    target = tmp_path / "missing" / "out.json"
    result = run("analyze", SAMPLE, "--json", target)
    assert (result.returncode, result.stderr) == (
        1, f"quorvanta: error: {target}: cannot create the file: No such file or directory\n")


# Each with how its message starts; the last ones misuse options with several recordings.
@pytest.mark.parametrize("args, start", [
    ([], "A subcommand is required"), (["analyze", "--mode", "live"], "--mode: "),
    (["analyze", "--bogus"], "The following argument"), (["analyze", "missing.csv"], "FILES: "),
    (["analyze", "--waveform-mode", "windowed:soon"], "--waveform-mode: "),
    (["analyze", "--column", "PLETH"], "--column: expected SIGNAL=COLUMN"),
    (["analyze", "--fs", "0"], "--fs: "),
    (["analyze", SAMPLE, SAMPLE, "--json", "one.json"], "--json: "),
    (["analyze", SAMPLE, SAMPLE, "--timeline"], "--timeline: "),
    (["analyze", SAMPLE, SAMPLE, "--plot", "one.svg"], "--plot: "),
    (["analyze", SAMPLE, SAMPLE, "--truth", SAMPLE.with_suffix(".truth.json")], "--truth: "),
    (["analyze", SAMPLE, SAMPLE, "--plot", "/nonexistent/"],
     f"FILES: {SAMPLE} and {SAMPLE} would write outputs of the same name")])
def test_usage_errors_exit_with_status_2(args, start):
    result = run(*args)
    assert result.returncode == 2 and not result.stdout
    assert result.stderr.startswith(start), result.stderr
    assert result.stderr.endswith("\nRun with --help for more information.\n"), result.stderr


def test_warnings_and_a_last_batch_of_repeated_frames(tmp_path):
    """Frames that repeat a polled frame's timestamp make a final batch with no new frame, which
    still reports its vitals. Unknown columns and timestamps that repeat or are not finite (each
    compared with the last finite one) are warned of, the timestamps five times at most; the first
    that goes back is named once, and the frames are read in time order."""
    times = [i / 30 for i in range(1201)] + [40.0] * 60  # the planner is polled at 40.0 s
    times[2:4] = [0.01, math.nan]
    recording = write_csv(tmp_path / "stalled.csv", ["timestamp", "ppg", "hr", "x_confidence"],
                          [[str(t), str(math.sin(2.4 * math.pi * t)), "70", "1"] for t in times])
    result = run("analyze", recording)
    assert result.returncode == 0, result.stderr
    assert result.stderr.splitlines() == [f"quorvanta: warning: {recording}:{line}" for line in (
        "1: ignoring columns 'hr', 'x_confidence', which name no signal; " + EXPECTED_SIGNAL,
        "5: timestamp nan is not a finite time",
        *(f"{n}: timestamp 40 does not increase on the previous one (40)" for n in range(1203,
                                                                                          1207)),
        " 56 more timestamps do not increase or are not finite",
        "4: timestamp 0.01 comes before the previous one (0.0333333): the frames are read in the "
        "order of their timestamps")]
    assert "Vitals at 40.00 s\n" in result.stdout
    assert table_row(result.stdout, "Heart Rate")[2] == "bpm"
