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


def pulses(beat_times, seconds=30.0, fps=30.0):
    """A sharp pulse at each of `beat_times` (seconds), sampled at `fps`."""
    t = np.arange(0, seconds, 1 / fps)
    wave = sum(np.exp(-((t - b) / 0.07) ** 2) for b in beat_times)
    return t, wave.astype(np.float32)


def test_find_beats_times_the_beats_and_inserts_a_missed_one():
    truth = np.arange(0.5, 29.5, 0.8)
    t, signal = pulses(np.delete(truth, 18))  # the beat at 14.9 s is missing
    beats = qv.find_beats(signal, 30.0)
    corrected = [time for time, status in zip(beats.times, beats.status)
                 if status == qv.BeatStatus.Corrected]
    assert len(beats.times) == len(truth) and corrected == pytest.approx([truth[18]], abs=0.02)
    assert np.max(np.abs(np.array(beats.times) - truth)) < 0.01
    assert beats.intervals == pytest.approx([800.0] * len(beats.intervals), abs=15)
    shifted = qv.find_beats(signal, 30.0, t + 100.0)
    assert np.array(shifted.times) - 100 == pytest.approx(beats.times, abs=1e-6)
    with pytest.raises(ValueError, match="^Length mismatch: timestamps has length 3, expected 900$"):
        qv.find_beats(signal, 30.0, t[:3])
    assert qv.find_beats(signal[:30], 30.0).times == []  # shorter than two seconds


def test_extract_pulse_takes_float32_channels_and_a_method_in_any_case():
    t = np.arange(600) / 30
    red, green, blue = (np.float32(tone) * (1 - np.float32(0.002) * np.sin(t * 7.5).astype(np.float32))
                        for tone in (0.75, 0.55, 0.45))
    pulse = qv.extract_pulse(red, green, blue, t, "CHROM")
    assert isinstance(pulse, qv.SignalInput) and len(pulse.confidence) == 600
    same = qv.extract_pulse(red, green, blue, list(t), "chrom")
    assert (pulse.data, pulse.confidence) == (same.data, same.confidence)
    for call, message in [(lambda: qv.extract_pulse(red, green, blue[:5], t),
                           "Length mismatch: blue has length 5, expected 600"),
                          (lambda: qv.extract_pulse(red, green, blue, t, "ica"),
                           "Invalid PulseMethod string: expected 'pos' or 'chrom'")]:
        with pytest.raises(ValueError, match=f"^{message}$"):
            call()


def test_extract_respiration_reads_profiles_one_after_another():
    reference = np.array([0, 0, 1, 0, 0], np.float32)
    frames = np.array([[0, 1, 0, 0, 0], [0, 0, 1, 0, 0], [0, 0, 0, 1, 0]], np.float32)
    rise = qv.extract_respiration(reference, frames.ravel())
    assert (rise.data, rise.confidence) == ([1.0, 0.0, -1.0], [1.0, 1.0, 1.0])
    with pytest.raises(ValueError, match="^Length mismatch: frame_rows has length 4, expected a "
                       r"multiple of 5 \(the length of reference_rows\)$"):
        qv.extract_respiration(reference, frames.ravel()[:4])


def test_help_shows_documentation_for_every_public_name():
    undocumented = [name for name in qv.__all__ if not getattr(qv, name).__doc__]
    undocumented += [f"{name}.{member}" for name in qv.__all__ if isinstance(getattr(qv, name), type)
                     for member, value in vars(getattr(qv, name)).items()
                     if not member.startswith("_") and callable(value) and not value.__doc__]
    assert not undocumented
