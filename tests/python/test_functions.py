# SPDX-License-Identifier: Apache-2.0
"""The module functions against the core; signal arrays are read in place, whatever their memory."""

import inspect

import numpy as np
import pytest

import quorvanta_core as qv
from conftest import f32, pulse_wave, reference_floats, run_reference

PULSE = pulse_wave()
CONFIDENCE = np.where(np.arange(PULSE.size) % 97 < 90, 0.9, 0.3).astype(np.float32)
# Noisy and of changing amplitude, so that each setting of the beat detector changes the result.
NOISY = (PULSE * (1 + 0.8 * np.sin(np.arange(PULSE.size) / 64))
         + np.random.default_rng(5).standard_normal(PULSE.size)).astype(np.float32)
UNALIGNED = np.frombuffer(b"\0" + NOISY.tobytes(), np.float32, NOISY.size, 1)
READ_ONLY = np.frombuffer(NOISY.tobytes(), np.float32)
# As the signature shows them; test_stub.py holds the signature to the stub.
PEAK_DEFAULTS = {name: parameter.default for name, parameter in
                 inspect.signature(qv.find_peaks).parameters.items()
                 if parameter.default is not inspect.Parameter.empty}


# The drift allowance matters only with a rate hint, the lowest rate only without one.
@pytest.mark.parametrize("signal, fs, refine, optional", [
    (NOISY, 30.0, True, {}), (UNALIGNED, 25, False, {"rate_hint": 72}),
    (READ_ONLY, 29.97, np.bool_(True), {"min_rate": 55, "max_rate": 150.0,
                                        "detection_threshold": 0.3, "window_cycles": 4}),
    (NOISY, 30.0, np.bool_(False), {"rate_hint": 66.0, "max_rate_change": 3}),
])
def test_find_peaks_matches_the_core(signal, fs, refine, optional):
    assert not UNALIGNED.flags.aligned and not READ_ONLY.flags.writeable
    positions = qv.find_peaks(signal, fs, refine, **optional)
    expected = reference_floats("find_peaks", fs, refine, *{**PEAK_DEFAULTS, **optional}.values(),
                                stdin_lines=[signal])
    assert all(type(p) is float for p in positions) and positions == expected


def test_estimate_heart_rate_matches_the_core():
    estimate = qv.estimate_heart_rate(PULSE, 29.97)
    assert [type(estimate), *map(type, estimate)] == [tuple, float, float]
    assert list(estimate) == reference_floats("estimate_heart_rate", 29.97, stdin_lines=[PULSE])


# Each metric once, by names that the module lower-cases and the registry resolves.
@pytest.mark.parametrize("name, metric, rate_hint", [
    ("HRV_SDNN", "sdnn", None), ("RMSSD", "rmssd", 72), ("hrv_LfHf", "lfhf", None),
    ("si", "stress_index", 72.5), ("pNN50", "pnn50", None), ("hrv_sd1sd2", "sd1sd2", 72)])
def test_estimate_hrv_metric_matches_the_core(name, metric, rate_hint):
    estimate = qv.estimate_hrv_metric(NOISY, 30.0, name, CONFIDENCE, rate_hint)
    expected = reference_floats("estimate_hrv_metric", 30.0, metric, rate_hint,
                                stdin_lines=[NOISY, CONFIDENCE])
    assert [type(estimate), *map(type, estimate)] == [tuple, float, float]
    assert list(estimate) == expected and estimate[1] > 0


# Every method and detector name once (detectors in any case), with and without a container.
@pytest.mark.parametrize("method, arguments, detector, container, force_even", [
    ("face", {}, "default", (None, None), False),
    ("forehead", {"detector": "Default", "force_even": True}, "default", (None, None), True),
    ("upper_body", {"detector": "Apple_Vision"}, "apple_vision", (None, None), False),
    ("upper_body_cropped", {"detector": "APPLEVISION", "container": (640, 480)}, "apple_vision",
     (640, 480), False),
    ((0.1, 0.2, -0.3, 0.4), {"detector": "vision", "container": (150.5, 130.0),
                             "force_even": np.bool_(True)}, "apple_vision", (150.5, 130.0), True),
    ((-1.5, 0, -0.7, 0), {}, "default", (None, None), False),
])
def test_calculate_roi_matches_the_core(method, arguments, detector, container, force_even):
    face = list(map(f32, (10.3, 5.5, 101.7, 99.1)))
    roi = qv.calculate_roi(qv.Rect(*face), method, **arguments)
    method_text = method if isinstance(method, str) else ",".join(map(repr, map(float, method)))
    assert type(roi) is qv.Rect and [roi.x, roi.y, roi.width, roi.height] == reference_floats(
        "calculate_roi", *face, method_text, detector, *container, force_even)


# Registry names match exactly: the module folds no case and does not stop at a NUL.
@pytest.mark.parametrize("name", ["hr", "HR"])
def test_get_vital_info_matches_the_core(name):
    meta = qv.get_vital_info(name)
    described = ["none"] if meta is None else [meta.id, meta.display_name, meta.short_name,
                                               meta.unit, meta.color, meta.emoji]
    assert described == run_reference("get_vital_info", name)
    assert qv.get_vital_info(name + "\0") is None
