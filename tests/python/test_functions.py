# SPDX-License-Identifier: Apache-2.0
"""The module functions: signal arrays read in place, and results against the core."""

import numpy as np
import pytest

import quorvanta_core as qv
from conftest import f32, pulse_wave, reference_floats, run_reference, sine

SINE = sine(1.2)
PULSE = pulse_wave()
CONFIDENCE = np.where(np.arange(PULSE.size) % 97 < 90, 0.9, 0.3).astype(np.float32)


def unaligned(array):
    view = np.frombuffer(bytearray(array.nbytes + 1), np.float32, offset=1)
    view[:] = array
    assert not view.flags.aligned
    return view


@pytest.mark.parametrize("call", [
    lambda a: qv.estimate_heart_rate(a, 30.0), lambda a: qv.find_peaks(a, 30.0, True),
    lambda a: qv.estimate_hrv_metric(a, 30.0, "sdnn", CONFIDENCE[:300]),
    lambda a: qv.estimate_hrv_metric(PULSE[:300], 30.0, "sdnn", a),
])
def test_unaligned_and_read_only_signal_arrays_are_read_in_place(call):
    array = PULSE[:300].copy()
    expected = call(array)
    assert call(unaligned(array)) == call(np.frombuffer(array.tobytes(), np.float32)) == expected
    assert np.array_equal(array, PULSE[:300])


PEAK_DEFAULTS = {"rate_hint": None, "min_rate": 40.0, "max_rate": 220.0,
                 "detection_threshold": 0.45, "window_cycles": 2.5, "max_rate_change": 1.0}


@pytest.mark.parametrize("signal", [PULSE, np.array([0, 1, 0], np.float32)])
@pytest.mark.parametrize("fs", [30.0, 25])
@pytest.mark.parametrize("refine, optional", [
    (True, {}), (False, {}), (np.bool_(True), {"rate_hint": 72}),
    (True, {"rate_hint": 60.0, "min_rate": 30, "max_rate": 180.0, "detection_threshold": 0.2,
            "window_cycles": 4, "max_rate_change": 3}),
])
def test_find_peaks_matches_the_core(signal, fs, refine, optional):
    positions = qv.find_peaks(signal, fs, refine, **optional)
    expected = reference_floats("find_peaks", fs, refine, *{**PEAK_DEFAULTS, **optional}.values(),
                                stdin_lines=[signal])
    assert all(type(p) is float for p in positions) and positions == expected


@pytest.mark.parametrize("signal, fs", [(SINE, 30.0), (PULSE, 29.97), (SINE[:40], 0.0)])
def test_estimate_heart_rate_matches_the_core(signal, fs):
    estimate = qv.estimate_heart_rate(signal, fs)
    assert [type(estimate), *map(type, estimate)] == [tuple, float, float]
    assert list(estimate) == reference_floats("estimate_heart_rate", fs, stdin_lines=[signal])


@pytest.mark.parametrize("name, metric", [
    ("sdnn", "sdnn"), ("HRV_SDNN", "sdnn"), ("RMSSD", "rmssd"), ("hrv_LfHf", "lfhf"),
    ("si", "stress_index"), ("Stress_Index", "stress_index"), ("pNN50", "pnn50"),
    ("hrv_sd1sd2", "sd1sd2")])
@pytest.mark.parametrize("rate_hint", [None, 72])
def test_estimate_hrv_metric_matches_the_core(name, metric, rate_hint):
    estimate = qv.estimate_hrv_metric(PULSE, 30.0, name, CONFIDENCE, rate_hint)
    expected = reference_floats("estimate_hrv_metric", 30.0, metric, rate_hint,
                                stdin_lines=[PULSE, CONFIDENCE])
    assert [type(estimate), *map(type, estimate)] == [tuple, float, float]
    assert list(estimate) == expected and estimate[1] > 0


@pytest.mark.parametrize("method", ["face", "forehead", "upper_body", "upper_body_cropped",
                                    (0.1, 0.2, -0.3, 0.4), (-1.5, 0, -0.7, 0)])
@pytest.mark.parametrize("arguments, detector, container, force_even", [
    ({}, "default", (None, None), False),
    ({"detector": "Default", "force_even": True}, "default", (None, None), True),
    ({"detector": "Apple_Vision"}, "apple_vision", (None, None), False),
    ({"detector": "APPLEVISION", "container": (640, 480)}, "apple_vision", (640, 480), False),
    ({"detector": "vision", "container": (150.5, 130.0), "force_even": np.bool_(True)},
     "apple_vision", (150.5, 130.0), True),
])
def test_calculate_roi_matches_the_core(method, arguments, detector, container, force_even):
    face = list(map(f32, (10.3, 5.5, 101.7, 99.1)))
    rect = qv.Rect(*face)
    roi = qv.calculate_roi(rect, method, **arguments)
    assert type(roi) is qv.Rect and [rect.x, rect.y, rect.width, rect.height] == face
    method_text = method if isinstance(method, str) else ",".join(map(repr, map(float, method)))
    assert [roi.x, roi.y, roi.width, roi.height] == reference_floats(
        "calculate_roi", *face, method_text, detector, *container, force_even)


@pytest.mark.parametrize("name", ["heart_rate", "hr", "pulse", "resp_rate", "spo2", "si",
                                  "bp_dia", "mean_arterial_pressure", "ppg", "abp_waveform", "HR",
                                  " hr", "", "unknown"])
def test_get_vital_info_matches_the_core(name):
    meta = qv.get_vital_info(name)
    described = ["none"] if meta is None else [meta.id, meta.display_name, meta.short_name,
                                               meta.unit, meta.color, meta.emoji]
    assert described == run_reference("get_vital_info", name)
    assert qv.get_vital_info(name + "\0") is None  # a NUL never ends a registry name
