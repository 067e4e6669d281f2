# SPDX-License-Identifier: Apache-2.0
"""The quorvanta command on the bundled sample, on both input formats, on the ways real files
are written, and on bad input."""

import csv
import json
import math
import os
import re
import subprocess
import xml.etree.ElementTree as ElementTree
from pathlib import Path

import pytest

SAMPLE = Path(__file__).resolve().parents[3] / "data" / "sample_recording.csv"
SVG = "{http://www.w3.org/2000/svg}"


def run(*args):
    return subprocess.run([os.environ["QUORVANTA_CLI"], *map(str, args)], capture_output=True,
                          text=True, check=False)


def table_row(output, name):
    """The cells of the vitals table row for `name` (columns are two or more spaces apart)."""
    line = next(line for line in output.splitlines() if line.startswith(name + "  "))
    return re.split(r"\s{2,}", line)


def test_sample_analysis_matches_the_truth_in_table_json_and_plot(tmp_path):
    json_file, plot = tmp_path / "analysis.json", tmp_path / "plot.svg"
    result = run("analyze", SAMPLE, "--timeline", "--json", json_file, "--json-waveforms",
                 "--json-face", "--plot", plot)
    assert result.returncode == 0 and result.stderr == "", result.stderr
    assert sorted(tmp_path.iterdir()) == [json_file, plot]  # no temporary files left
    document = json.loads(json_file.read_text())
    for name, id_ in (("Heart Rate", "heart_rate"), ("Respiratory Rate", "respiratory_rate")):
        _, value, unit, confidence, truth, _ = table_row(result.stdout, name)
        assert unit == "bpm" and 0 < float(confidence) <= 1
        assert abs(float(value) - float(truth)) <= 3, name
        vital = document["vitals"][id_]
        assert (f"{vital['value']:.2f}", f"{vital['truth']:.2f}") == (value, truth)
    batches = document["batches"]
    timeline = [line for line in result.stdout.splitlines()
                if re.match(r"\d+\.\d\d +\d+ ", line)]
    assert len(timeline) == len(batches) > 60
    for waveform in document["waveforms"].values():
        assert len(waveform["timestamp"]) == len(waveform["data"]) > 2000
        assert waveform["timestamp"] == sorted(waveform["timestamp"])
    assert len(document["face"]["coordinates"]) == len(document["face"]["timestamp"])

    svg = ElementTree.parse(plot).getroot()
    titles = [text.text for text in svg.iter(SVG + "text")]
    for title in ("PPG", "Respiration", "Heart Rate (per minute)", "Respiratory Rate (per minute)"):
        assert title in titles
    points = [c for c in svg.iter(SVG + "circle") if c.find(SVG + "title").text.startswith("est")]
    estimated = sum(("heart_rate" in b["vitals"]) + ("respiratory_rate" in b["vitals"])
                    for b in batches)
    assert len(points) == estimated


def panels(svg_file):
    """Each plot panel's title and its elements, by class."""
    found = {}
    for group in ElementTree.parse(svg_file).getroot().findall(SVG + "g"):
        title = next(t.text for t in group.iter(SVG + "text") if t.get("class") == "panel")
        elements = {}
        for element in group.iter():
            elements.setdefault(element.get("class"), []).append(element)
        found[title] = elements
    return found


def points(element):
    """The (x, y) pixels of a polyline or polygon."""
    return [tuple(map(float, pair.split(","))) for pair in element.get("points").split()]


def test_plot_breaks_rate_lines_where_a_batch_has_no_estimate(tmp_path):
    rows = [list(row) for row in SAMPLE_ROWS[1:]]
    column = SAMPLE_ROWS[0].index("respiratory_waveform")
    for row in rows:  # the respiration stops between 35 and 75 s
        if 35 <= float(row[0]) < 75:
            row[column] = "0.1"
    recording = write_csv(tmp_path / "pause.csv", SAMPLE_ROWS[0], rows)
    plot = tmp_path / "pause.svg"
    analysis = json.loads(run("analyze", recording, "--plot", plot, "--json", "-").stdout)
    estimated = ["respiratory_rate" in batch["vitals"] for batch in analysis["batches"]]
    runs_of_estimates = sum(1 for i, has in enumerate(estimated)
                            if has and (i == 0 or not estimated[i - 1]))
    lines = panels(plot)["Respiratory Rate (per minute)"]["estimate"]
    polylines = [points(line) for line in lines if line.tag == SVG + "polyline"]
    assert len(polylines) == runs_of_estimates >= 2
    steps = [b[0] - a[0] for line in polylines for a, b in zip(line, line[1:])]
    assert max(steps) < 2 * sorted(steps)[len(steps) // 2]  # no line spans a missing batch


def test_plot_draws_long_waveforms_as_their_envelope(tmp_path):
    plot, analysis = tmp_path / "plot.svg", tmp_path / "analysis.json"
    assert run("analyze", "--plot", plot, "--json", analysis, "--json-waveforms").returncode == 0
    waveform = json.loads(analysis.read_text())["waveforms"]["ppg_waveform"]
    panel = panels(plot)["PPG"]
    frame = next(rect for rect in panel["frame"] if float(rect.get("height")) > 100)
    top, height, width = (float(frame.get(name)) for name in ("y", "height", "width"))
    drawn = [point for line in panel["line"] for point in points(line)]
    assert len(waveform["data"]) > 2 * width >= len(drawn)
    # The cleaned values span the panel less its 5 % margins: the extremes are drawn.
    margin = height * 0.05 / 1.1
    assert min(y for _, y in drawn) == pytest.approx(top + margin, abs=0.1)
    assert max(y for _, y in drawn) == pytest.approx(top + height - margin, abs=0.1)
    # The confidence strip reaches down to the lowest confidence, in the motion artefact.
    strip = next(rect for rect in panel["frame"] if float(rect.get("height")) < 100)
    lowest = min(waveform["confidence"])
    strip_points = [y for polygon in panel["confidence"] for _, y in points(polygon)]
    bottom = float(strip.get("y")) + float(strip.get("height"))
    assert max(y for y in strip_points if y < bottom) == pytest.approx(
        bottom - lowest * float(strip.get("height")), abs=0.1)


@pytest.mark.parametrize("mode, marked, label", [("incremental", True, "truth (window mean)"),
                                                 ("global", False, "truth (mean so far)")])
def test_plot_marks_unprocessed_waveforms_and_draws_the_truth_of_the_mode(tmp_path, mode, marked,
                                                                          label):
    plot, analysis = tmp_path / "plot.svg", tmp_path / "analysis.json"
    assert run("analyze", "--waveform-mode", mode, "--plot", plot, "--json", analysis,
               "--json-waveforms").returncode == 0
    document, found = json.loads(analysis.read_text()), panels(plot)
    for title, id_ in (("PPG", "ppg_waveform"), ("Respiration", "respiratory_waveform")):
        panel = found[title]
        assert (document["waveforms"][id_]["unprocessed_frames"] > 0) == marked
        assert ("unprocessed-span" in panel) == ("unprocessed" in panel) == marked
        legend = [text.text for text in panel["tick"]]
        assert ("returned unprocessed" in legend) == marked
    # The heart rate's truth is drawn where its value lies on the value axis, read from the axis
    # labels (each drawn 4 px below its value's height).
    truth = document["vitals"]["heart_rate"]["truth"]
    panel = found["Heart Rate (per minute)"]
    assert label in [text.text for text in panel["tick"]]
    ticks = [(float(t.text), float(t.get("y")) - 4) for t in panel["tick"]
             if t.get("text-anchor") == "end" and t.text != "confidence"]
    (v0, y0), (v1, y1) = ticks[0], ticks[-1]
    last_truth_y = points(panel["truth"][-1])[-1][1]
    assert last_truth_y == pytest.approx(y0 + (truth - v0) * (y1 - y0) / (v1 - v0), abs=0.2)


def as_json_recording(csv_file, json_file):
    with open(csv_file, newline="") as stream:
        rows = list(csv.DictReader(stream))
    column = lambda name: [float(row[name]) for row in rows]  # noqa: E731
    signals = [name for name in rows[0] if name != "timestamp" and not name.startswith("face_")
               and not name.endswith("_confidence")]
    json_file.write_text(json.dumps({
        "timestamp": column("timestamp"),
        "signals": {name: {"data": column(name), "confidence": column(name + "_confidence")}
                    for name in signals},
        "face": {"coordinates": [list(box) for box in zip(*map(column, ("face_x", "face_y",
                                                                         "face_w", "face_h")))],
                 "confidence": column("face_confidence")}}))


def test_json_recording_gives_the_same_analysis(tmp_path):
    recording = tmp_path / "sample.json"
    as_json_recording(SAMPLE, recording)
    from_csv = run("analyze", SAMPLE, "--json", "-")
    from_json = run("analyze", recording, "--json", "-")
    assert from_csv.returncode == from_json.returncode == 0, from_json.stderr
    assert json.loads(from_csv.stdout)["batches"] == json.loads(from_json.stdout)["batches"]


SAMPLE_ROWS = list(csv.reader(SAMPLE.open(newline="")))


def sample_columns(names, frames=900):
    """The first `frames` rows of the sample's columns `names`, as text cells."""
    header = SAMPLE_ROWS[0]
    return [[row[header.index(name)] for name in names] for row in SAMPLE_ROWS[1:frames + 1]]


def csv_text(header, rows, separator=",", line_end="\n"):
    return "".join(separator.join(cells) + line_end for cells in [header, *rows])


def write_csv(path, header, rows):
    path.write_text(csv_text(header, rows))
    return path


def batches(path, *args):
    result = run("analyze", path, "--json", "-", *args)
    assert result.returncode == 0, result.stderr
    return json.loads(result.stdout)["batches"]


def quoted(cell):
    return '"' + cell + '"'


# The same recording written as spreadsheets and other tools write CSV.
DIALECTS = {
    "semicolons and decimal commas": lambda header, rows: csv_text(
        header, [[cell.replace(".", ",") for cell in row] for row in rows], ";"),
    "tabs": lambda header, rows: csv_text(header, rows, "\t"),
    "quoted header and cells": lambda header, rows: csv_text(
        list(map(quoted, header)), [list(map(quoted, row)) for row in rows]),
    "byte order mark and CRLF": lambda header, rows: "\ufeff" + csv_text(header, rows,
                                                                           line_end="\r\n"),
    "aliases": lambda header, rows: csv_text(["timestamp", "ppg", "resp", "ppg_confidence"], rows),
}


@pytest.mark.parametrize("dialect", DIALECTS, ids=list(DIALECTS))
def test_csv_dialects_give_the_same_analysis(tmp_path, dialect):
    names = ["timestamp", "ppg_waveform", "respiratory_waveform", "ppg_waveform_confidence"]
    rows = sample_columns(names)
    variant = tmp_path / "variant.csv"
    variant.write_text(DIALECTS[dialect](names, rows))
    assert batches(variant) == batches(write_csv(tmp_path / "plain.csv", names, rows))


def test_columns_are_named_through_the_registry(tmp_path):
    rows = sample_columns(["timestamp", "ppg_waveform", "respiratory_waveform"])
    recording = write_csv(tmp_path / "aliases.csv",
                          ["timestamp", "ppg", "resp", "hr", "x_confidence"],
                          [row + ["70", "1"] for row in rows])
    result = run("analyze", recording)
    assert result.returncode == 0, result.stderr
    assert result.stderr == (f"quorvanta: warning: {recording}:1: ignoring columns 'hr', "
                             "'x_confidence', which name no signal; expected a signal: "
                             "ppg_waveform, respiratory_waveform, spo2, abp_waveform, sbp, dbp (or "
                             "an alias that 'quorvanta vitals' lists, such as ppg or resp)\n")
    assert "signals ppg_waveform, respiratory_waveform\n" in result.stdout
    assert table_row(result.stdout, "Respiratory Rate")[2] == "bpm"
    as_json = tmp_path / "aliases.json"
    as_json.write_text(json.dumps({"timestamp": [float(row[0]) for row in rows], "signals": {
        name: {"data": [float(row[i]) for row in rows]} for i, name in ((1, "ppg"), (2, "resp"))}}))
    assert batches(as_json) == batches(recording)


def rescaled(path, scale, offset=0.0, frames=900):
    """The sample's PPG with each timestamp t written as offset + scale * t."""
    rows = sample_columns(["timestamp", "ppg_waveform"], frames)
    return write_csv(path, ["timestamp", "ppg_waveform"],
                     [[repr(offset + scale * float(t)), v] for t, v in rows])


@pytest.mark.parametrize("args, scale, offset, description", [
    (["--fps", "25"], 1, 0, "2700 frames, 90.0 s at 30.0 fps, analysed at 25.0 fps; "),
    (["--time-unit", "ms"], 1000, 0, "2700 frames, 90.0 s at 30.0 fps; "),
    (["--time-unit", "us"], 1e6, 0, "2700 frames, 90.0 s at 30.0 fps; "),
    ([], -1, 90, "2700 frames, timestamps running backwards from 90.0 s to 0.0 s, analysed at "
                 "30.0 fps; "),
])
def test_timing_is_described_from_the_timestamps(tmp_path, args, scale, offset, description):
    result = run("analyze", rescaled(tmp_path / "timed.csv", scale, offset, 2700), *args)
    assert result.returncode == 0, result.stderr
    assert result.stdout.splitlines()[1].strip().startswith(description), result.stdout


@pytest.mark.parametrize("scale, args, unit", [(1e3, [], "ms"), (1e6, [], "us"),
                                               (1e6, ["--time-unit", "ms"], "us")])
def test_timestamps_in_a_smaller_unit_are_named(tmp_path, scale, args, unit):
    result = run("analyze", rescaled(tmp_path / "scaled.csv", scale), *args)
    assert result.returncode == 1 and not result.stdout
    name = {"ms": "milliseconds", "us": "microseconds"}[unit]
    assert result.stderr.endswith(f"too long for any vital: the timestamps look like {name}; if "
                                  f"they are, add --time-unit {unit}\n"), result.stderr


def test_version_names_the_library_and_the_contract():
    result = run("--version")
    assert result.returncode == 0
    assert re.fullmatch(r"quorvanta \(quorvanta_core \d+\.\d+\.\d+, C interface contract "
                        r"version 26\)\n", result.stdout)


def recordings_table(output):
    """The rows of the summary table of several recordings, as dicts by column title."""
    lines = output.splitlines()
    titles = re.split(r"\s{2,}", lines[0])
    return [dict(zip(titles, re.split(r"\s{2,}", line))) for line in lines[1:]]


def test_many_recordings_run_on_threads_and_a_bad_one_is_skipped(tmp_path):
    bad, out = tmp_path / "bad.csv", tmp_path / "out"
    bad.write_text("timestamp,temperature\n0,36.6\n")
    result = run("analyze", SAMPLE, bad, "-j", "2", "--json", f"{out}/", "--plot", f"{out}/")
    assert result.returncode == 1
    assert result.stderr.splitlines() == [
        f"quorvanta: error: {bad}:1: no signal among the columns 'temperature'; expected a "
        "signal: ppg_waveform, respiratory_waveform, spo2, abp_waveform, sbp, dbp (or an alias "
        "that 'quorvanta vitals' lists, such as ppg or resp)",
        "quorvanta: 1 of 2 recordings failed"]
    [row] = recordings_table(result.stdout)
    alone = json.loads(run("analyze", SAMPLE, "--json", "-").stdout)
    assert json.loads((out / "sample_recording.json").read_text()) == alone
    assert sorted(path.name for path in out.iterdir()) == ["sample_recording.json",
                                                           "sample_recording.svg"]
    heart_rates = sorted(b["vitals"]["heart_rate"]["value"] for b in alone["batches"]
                         if "heart_rate" in b["vitals"])
    assert (row["Recording"], row["Frames"], row["Duration (s)"], row["Batches"]) == (
        str(SAMPLE), "2700", "90.0", str(len(alone["batches"])))
    assert float(row["HR"]) == pytest.approx(heart_rates[len(heart_rates) // 2], abs=0.01)
    assert row["HR %"] == f"{100 * len(heart_rates) / len(alone['batches']):.0f}"


def test_a_folder_holds_recordings_but_not_their_truth(tmp_path):
    folder = tmp_path / "data"
    folder.mkdir()
    write_csv(folder / "b.csv", ["timestamp", "ppg"], sample_columns(["timestamp", "ppg_waveform"]))
    as_json_recording(SAMPLE, folder / "a.json")
    (folder / "a.truth.json").write_text(SAMPLE.with_suffix(".truth.json").read_text())
    (folder / "notes.txt").write_text("not a recording")
    result = run("analyze", folder)
    assert result.returncode == 0, result.stderr
    assert [row["Recording"] for row in recordings_table(result.stdout)] == [
        str(folder / "a.json"), str(folder / "b.csv")]


def test_outputs_of_the_same_name_are_refused(tmp_path):
    (tmp_path / "other").mkdir()
    copy = tmp_path / "other" / SAMPLE.name
    copy.write_text(SAMPLE.read_text())
    result = run("analyze", SAMPLE, copy, "--json", f"{tmp_path}/")
    assert result.returncode == 2
    assert f"{SAMPLE} and {copy} would write outputs of the same name" in result.stderr


BAD_INPUT = [
    ("empty.csv", "", r"empty\.csv: the file is empty"),
    ("header.csv", "timestamp,ppg_waveform\n", r"header\.csv: the recording has no frames"),
    ("untimed.csv", "time,ppg_waveform\n0,1\n",
     r"untimed\.csv:1: no 'timestamp' column among 'time', 'ppg_waveform' \(separated by ','\)"),
    ("piped.csv", "timestamp|ppg\n0|1\n", r"piped\.csv:1: no 'timestamp' column: the header is the "
     r"one column 'timestamp\|ppg' \(columns are separated by ',', ';' or tabs\)"),
    ("unknown.csv", "timestamp,foo,bar\n0,1,2\n",
     r"unknown\.csv:1: no signal among the columns 'foo', 'bar'; expected a signal: ppg_waveform, "),
    ("twice.csv", "timestamp,ppg_waveform,ppg\n0,1,2\n", r"twice\.csv:1:24: column 'ppg' names "
     r"the same signal as column 'ppg_waveform' \(ppg_waveform\)"),
    ("open.csv", 'timestamp,ppg_waveform\n0,"1\n', r"open\.csv:2:3: the quote opened here is "
     "never closed"),
    ("doubled.csv", 'timestamp,ppg_waveform\n0,"1""5"\n',
     r"doubled\.csv:2:3: '1\"5' in column 'ppg_waveform' is not a number"),
    ("after.csv", 'timestamp,ppg_waveform\n0,"1"2\n', r"after\.csv:2:6: text after the closing "
     "quote"),
    ("unknown.json", '{"timestamp": [0], "signals": {"hr": {"data": [1]}}}',
     r"unknown\.json: signals: no signal among 'hr'; expected a signal: "),
    ("text.csv", "timestamp,ppg_waveform\n0,1\n0.033,abc\n",
     r"text\.csv:3:7: 'abc' in column 'ppg_waveform' is not a number"),
    ("short.csv", "timestamp,ppg_waveform\n0,1\n0.033\n",
     r"short\.csv:3: 1 cells where the header names 2"),
    ("orphan.csv", "timestamp,spo2_confidence\n0,1\n",
     r"orphan\.csv:1:11: column 'spo2_confidence' has no signal column 'spo2'"),
    ("face.csv", "timestamp,face_x\n0,1\n", r"face\.csv:1: the face needs all of face_x"),
    ("broken.json", '{"timestamp": [0, 1,]}', r"broken\.json:1:21: invalid JSON: "),
    ("mismatch.json", '{"timestamp": [0, 1], "signals": {"ppg_waveform": {"data": [1]}}}',
     r"mismatch\.json: signals\.ppg_waveform\.data: 1 values for 2 timestamps"),
    ("typed.json", '{"timestamp": [0, "1"], "signals": {}}',
     r"typed\.json: timestamp\[1\]: expected a number"),
]


@pytest.mark.parametrize("name, content, message", BAD_INPUT, ids=[b[0] for b in BAD_INPUT])
def test_bad_input_is_reported_and_writes_nothing(tmp_path, name, content, message):
    recording = tmp_path / name
    recording.write_text(content)
    result = run("analyze", recording, "--json", tmp_path / "out.json", "--plot",
                 tmp_path / "out.svg")
    assert result.returncode == 1
    assert re.search("^quorvanta: error: .*" + message, result.stderr), result.stderr
    assert list(tmp_path.iterdir()) == [recording]


# Each is reported once: a timestamp after a NaN is compared with the last finite one.
@pytest.mark.parametrize("times, warning", [
    ("0 1 0.5 1.5 2", "4: timestamp 0.5 does not increase on the previous one (1)"),
    ("0 0.5 nan 1.5 2", "4: timestamp nan is not a finite time")])
def test_timestamps_that_are_not_finite_or_do_not_increase_are_a_warning(tmp_path, times, warning):
    recording = tmp_path / "times.csv"
    recording.write_text("timestamp,ppg_waveform\n" + "".join(f"{t},0.5\n" for t in times.split()))
    result = run("analyze", recording)
    assert result.returncode == 0
    assert result.stderr == f"quorvanta: warning: {recording}:{warning}\n"


# Each with how its first line starts; the last ones name an output or truth for many recordings.
@pytest.mark.parametrize("args, start", [
    (["analyze", "--bogus"], ""), (["analyze", "--mode", "live"], "--mode: "),
    (["analyze", "--waveform-mode", "windowed:soon"], "--waveform-mode: "), ([], ""),
    (["analyze", "missing.csv"], "FILES: "),
    *((["analyze", SAMPLE, SAMPLE, *args], args[0] + ": ") for args in (
        ["--json", "one.json"], ["--plot", "-"], ["--timeline"],
        ["--truth", SAMPLE.with_suffix(".truth.json")]))])
def test_usage_errors_exit_with_status_2(args, start):
    result = run(*args)
    assert result.returncode == 2 and not result.stdout
    assert result.stderr.startswith(start), result.stderr
    assert result.stderr.endswith("\nRun with --help for more information.\n"), result.stderr


def test_vitals_lists_the_registry():
    lines = run("vitals").stdout.splitlines()
    assert re.split(r"\s{2,}", lines[1])[:4] == ["heart_rate", "hr, pulse", "Heart Rate", "bpm"]
    assert len(lines) == 1 + 17


def test_a_last_batch_of_repeated_frames_still_reports_its_vitals(tmp_path):
    """Frames that repeat a polled frame's timestamp make a final batch with no new frame."""
    recording = tmp_path / "stalled.csv"
    times = [i / 30 for i in range(1201)] + [40.0] * 60  # the planner is polled at 40.0 s
    rows = (f"{t},{math.sin(2 * math.pi * 1.2 * t)}" for t in times)
    recording.write_text("timestamp,ppg_waveform\n" + "\n".join(rows) + "\n")
    result = run("analyze", recording)
    assert result.returncode == 0, result.stderr
    assert "Vitals at 40.00 s\n" in result.stdout
    assert table_row(result.stdout, "Heart Rate")[2] == "bpm"
