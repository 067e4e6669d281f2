# SPDX-License-Identifier: Apache-2.0
"""The module's functions make the calls of the golden vectors with their exact outputs, whatever
the signal array's memory; registry names match exactly."""

from pathlib import Path

import numpy as np
import pytest

import quorvanta_core as qv

SOURCE = Path(__file__).resolve().parents[2]
HEADER = (SOURCE / "data/sample_recording.csv").read_text("utf-8").split("\n", 1)[0].split(",")
PPG, PPG_CONFIDENCE = (np.loadtxt(SOURCE / "data/sample_recording.csv", delimiter=",", skiprows=1,
                                  usecols=HEADER.index(name)).astype(np.float32)
                       for name in ("ppg_waveform", "ppg_waveform_confidence"))
GOLDEN = {name: np.array([int(word, 16) for word in words], np.uint32).view(np.float32).tolist()
          for name, *words in map(str.split, (SOURCE / "tests/golden/golden_vectors.txt")
                                  .read_text("utf-8").splitlines()) if not name.startswith("#")}
# A signal array as given, unaligned and read-only, with each flag as a bool or a NumPy bool.
LAYOUTS = [(lambda a: a, bool),
           (lambda a: np.frombuffer(b"\0" + a.tobytes(), np.float32, a.size, 1), np.bool_),
           (lambda a: np.frombuffer(a.tobytes(), np.float32), bool)]


def argument(text, flag):
    """An argument as a golden call writes it: a flag, a number, a tuple of numbers or a name."""
    if text in ("true", "false"):
        return flag(text == "true")
    try:
        numbers = tuple(map(float, text.split("/")))
    except ValueError:
        return text
    return numbers if len(numbers) > 1 else numbers[0]


@pytest.mark.parametrize("call", [name for name in GOLDEN if ":" in name])
@pytest.mark.parametrize("layout, flag", LAYOUTS)
def test_calls_give_the_golden_outputs(call, layout, flag):
    function, _, text = call.partition(":")
    arguments = {name: argument(value, flag) for name, value in
                 (pair.split("=") for pair in text.split(","))}
    if "face" in arguments:
        arguments["face"] = qv.Rect(*arguments["face"])
    if "frames" in arguments:
        frames = slice(int(arguments.pop("frames")))
        arguments["signal"] = layout(PPG[frames])
        if function == "estimate_hrv_metric":
            arguments["confidence"] = layout(PPG_CONFIDENCE[frames])
    result = getattr(qv, function)(**arguments)
    values = [result.x, result.y, result.width, result.height] if type(result) is qv.Rect else result
    assert type(result) in (qv.Rect, list if function == "find_peaks" else tuple)
    assert all(type(value) is float for value in values) and list(values) == GOLDEN[call]


def test_get_vital_info_matches_names_exactly():
    meta = qv.get_vital_info("hr")
    assert [meta.id, meta.display_name, meta.short_name, meta.unit] == [
        "heart_rate", "Heart Rate", "HR", "bpm"]
    assert qv.get_vital_info("HR") is None and qv.get_vital_info("hr\0") is None
