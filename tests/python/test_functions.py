"""The module functions: signal array checks, argument conversions and results against the core."""

import numpy as np
import pytest

import quorvanta_core as qv
from conftest import (f32, float_error, make_rect, prefixed, pulse_wave, reference_floats,
                      run_reference, sine)

SINE = sine(1.2)
PULSE = pulse_wave()
CONFIDENCE = np.where(np.arange(PULSE.size) % 97 < 90, 0.9, 0.3).astype(np.float32)

# Each signal-array argument, with a call that passes the array under test there.
ARRAY_ARGUMENTS = [
    ("signal", lambda a: qv.estimate_heart_rate(a, 30.0)),
    ("signal", lambda a: qv.find_peaks(a, 30.0, True)),
    ("signal", lambda a: qv.estimate_hrv_metric(a, 30.0, "sdnn", CONFIDENCE[:300])),
    ("confidence", lambda a: qv.estimate_hrv_metric(PULSE[:300], 30.0, "sdnn", a)),
]
ARRAY_IDS = ["heart_rate", "peaks", "hrv_signal", "hrv_confidence"]


@pytest.mark.parametrize("name, call", ARRAY_ARGUMENTS, ids=ARRAY_IDS)
@pytest.mark.parametrize("value", [
    SINE[:300].astype(np.float64), SINE[:300].astype(np.float16), SINE[:300].view(np.int32),
    SINE[:300].tolist(), SINE[:300].reshape(15, 20), np.float32(1.0), None,
], ids=["float64", "float16", "int32", "list", "2d", "scalar", "none"])
def test_signal_arrays_of_the_wrong_kind(name, call, value):
    with pytest.raises(TypeError) as raised:
        call(value)
    assert str(raised.value) == (f"argument '{name}': '{type(value).__name__}' object cannot be "
                                 "converted to 'PyArray<T, D>'")


@pytest.mark.parametrize("name, call", ARRAY_ARGUMENTS, ids=ARRAY_IDS)
def test_signal_arrays_must_be_contiguous(name, call):
    with pytest.raises(TypeError, match="^The given array is not contiguous$"):
        call(SINE[:600:2])


def unaligned(array):
    storage = bytearray(array.nbytes + 1)
    view = np.frombuffer(storage, np.float32, offset=1)
    view[:] = array
    assert not view.flags.aligned
    return view


@pytest.mark.parametrize("name, call", ARRAY_ARGUMENTS, ids=ARRAY_IDS)
@pytest.mark.parametrize("variant, may_refuse", [
    (unaligned, False),
    (lambda a: np.frombuffer(a.tobytes(), np.float32), False),
    (lambda a: a.view(type("Subclass", (np.ndarray,), {})), False),
    (lambda a: a.astype(">f4"), True),
], ids=["unaligned", "read_only", "subclass", "byte_swapped"])
def test_other_contiguous_float32_arrays_give_the_same_results(name, call, variant, may_refuse):
    array = (PULSE if name == "confidence" else SINE)[:300].copy()
    before = array.copy()
    expected = call(array)
    try:
        assert call(variant(array)) == expected
    except TypeError as error:
        assert may_refuse and "PyArray<T, D>" in str(error)
    assert np.array_equal(array, before)


PEAK_SIGNALS = {
    "sine": SINE,
    "pulse": PULSE,
    "noise": np.random.default_rng(5).standard_normal(400).astype(np.float32),
    "steps": np.repeat(np.array([0, 1, 0, 2, 0, 1], np.float32), 30),
    "empty": np.zeros(0, np.float32),
    "two": np.array([0, 1], np.float32),
    "three": np.array([0, 1, 0], np.float32),
}
PEAK_PARAMETERS = [
    ({"refine": True}, {}),
    ({"refine": False}, {}),
    ({"refine": np.bool_(True)}, {"rate_hint": 72}),
    ({"refine": True}, {"rate_hint": 60.0, "min_rate": 30, "max_rate": 180.0,
                        "detection_threshold": 0.2, "window_cycles": 4, "max_rate_change": 3}),
]
PEAK_DEFAULTS = {"rate_hint": None, "min_rate": 40.0, "max_rate": 220.0,
                 "detection_threshold": 0.45, "window_cycles": 2.5, "max_rate_change": 1.0}


@pytest.mark.parametrize("signal", PEAK_SIGNALS.values(), ids=PEAK_SIGNALS.keys())
@pytest.mark.parametrize("fs", [30.0, 25])
@pytest.mark.parametrize("required, optional", PEAK_PARAMETERS)
def test_find_peaks_matches_the_core(signal, fs, required, optional):
    positions = qv.find_peaks(signal, fs, **required, **optional)
    parameters = {**PEAK_DEFAULTS, **optional}
    expected = reference_floats(run_reference(
        "find_peaks", fs, required["refine"], *parameters.values(), stdin_lines=[signal])[0])
    assert type(positions) is list and all(type(p) is float for p in positions)
    assert positions == expected


@pytest.mark.parametrize("signal", [SINE, PULSE, np.zeros(300, np.float32),
                                    np.zeros(1, np.float32), SINE[:40]],
                         ids=["sine", "pulse", "zeros", "one", "short"])
@pytest.mark.parametrize("fs", [30.0, 29.97, 0.0, -5.0])
def test_estimate_heart_rate_matches_the_core(signal, fs):
    estimate = qv.estimate_heart_rate(signal, fs)
    expected = reference_floats(run_reference("estimate_heart_rate", fs, stdin_lines=[signal])[0])
    assert type(estimate) is tuple and all(type(v) is float for v in estimate)
    assert list(estimate) == expected


def test_estimate_heart_rate_of_a_sine():
    rate, confidence = qv.estimate_heart_rate(SINE, 30.0)
    assert rate == pytest.approx(72.0, abs=0.5) and 0.5 < confidence <= 1.0


HRV_NAMES = {
    "sdnn": "sdnn", "HRV_SDNN": "sdnn", "RMSSD": "rmssd", "hrv_rmssd": "rmssd", "LfHf": "lfhf",
    "hrv_lfhf": "lfhf", "si": "stress_index", "Stress_Index": "stress_index", "pNN50": "pnn50",
    "hrv_pnn50": "pnn50", "SD1SD2": "sd1sd2", "hrv_sd1sd2": "sd1sd2",
}


@pytest.mark.parametrize("name, metric", HRV_NAMES.items())
@pytest.mark.parametrize("rate_hint", [None, 72])
def test_estimate_hrv_metric_matches_the_core(name, metric, rate_hint):
    estimate = qv.estimate_hrv_metric(PULSE, 30.0, name, CONFIDENCE, rate_hint)
    expected = reference_floats(run_reference(
        "estimate_hrv_metric", 30.0, metric, rate_hint, stdin_lines=[PULSE, CONFIDENCE])[0])
    assert type(estimate) is tuple and all(type(v) is float for v in estimate)
    assert list(estimate) == expected and estimate[1] > 0
    assert qv.estimate_hrv_metric(signal=PULSE, fs=30.0, metric_name=name,
                                  confidence=CONFIDENCE, rate_hint=rate_hint) == estimate


def roi_reference(face, method, detector, container, force_even):
    method_text = method if isinstance(method, str) else ",".join(map(repr, map(float, method)))
    return reference_floats(run_reference(
        "calculate_roi", face.x, face.y, face.width, face.height, method_text, detector,
        *container, force_even)[0])


@pytest.mark.parametrize("face", [(100, 100, 200, 200), (10.3, 5.5, 101.7, 99.1)])
@pytest.mark.parametrize("method", ["face", "forehead", "upper_body", "upper_body_cropped",
                                    (0.1, 0.2, -0.3, 0.4), (0, 0, 0, 0), (-1.5, 0, -0.7, 0)])
@pytest.mark.parametrize("arguments, core_arguments", [
    ({}, ("default", (None, None), False)),
    ({"detector": "Default", "force_even": True}, ("default", (None, None), True)),
    ({"detector": "Apple_Vision"}, ("apple_vision", (None, None), False)),
    ({"detector": "APPLEVISION", "container": (640, 480)}, ("apple_vision", (640, 480), False)),
    ({"detector": "vision", "container": (150.5, 130.0), "force_even": np.bool_(True)},
     ("apple_vision", (150.5, 130.0), True)),
    ({"container": (150.5, 130.0), "force_even": np.bool_(False)},
     ("default", (150.5, 130.0), False)),
])
def test_calculate_roi_matches_the_core(face, method, arguments, core_arguments):
    rect = qv.Rect(*face)
    roi = qv.calculate_roi(rect, method, **arguments)
    assert type(roi) is qv.Rect and roi is not rect
    assert [rect.x, rect.y, rect.width, rect.height] == list(map(f32, face))
    assert [roi.x, roi.y, roi.width, roi.height] == roi_reference(rect, method, *core_arguments)


def roi(**arguments):
    return lambda: qv.calculate_roi(**{"face": make_rect(), "method": "face", **arguments})


ROI_FORM = ValueError("RoiMethod must be a string or tuple(l,t,r,b)")


@pytest.mark.parametrize("call, outcome", [
    (lambda: qv.estimate_hrv_metric(PULSE, 30.0, "hrv_stress", CONFIDENCE),
     ValueError("Invalid HRV metric")),
    (lambda: qv.estimate_hrv_metric(PULSE, 30.0, " sdnn", CONFIDENCE),
     ValueError("Invalid HRV metric")),
    (lambda: qv.estimate_hrv_metric(PULSE, 30.0, 5, CONFIDENCE),
     TypeError("argument 'metric_name': 'int' object cannot be converted to 'PyString'")),
    (lambda: qv.estimate_hrv_metric(SINE[::2], 30.0, 5, CONFIDENCE),  # converts, then checks
     TypeError("argument 'metric_name': 'int' object cannot be converted to 'PyString'")),
    (lambda: qv.estimate_hrv_metric(SINE[::2], 30.0, "bogus", CONFIDENCE),  # checks, then maps
     TypeError("The given array is not contiguous")),
    (lambda: qv.estimate_hrv_metric(PULSE, "30", "sdnn", CONFIDENCE),
     prefixed("fs", float_error("30"))),
    (lambda: qv.estimate_hrv_metric(PULSE, 30.0, "sdnn", CONFIDENCE, "72"),
     prefixed("rate_hint", float_error("72"))),
    (lambda: qv.find_peaks(SINE, 30.0, 1),
     TypeError("argument 'refine': 'int' object cannot be converted to 'PyBool'")),
    (lambda: qv.find_peaks(SINE, 30.0, True, max_rate=None),
     prefixed("max_rate", float_error(None))),
    (lambda: qv.find_peaks(SINE, 30.0, True, None, 10**400), float_error(10**400)),
    (lambda: qv.estimate_heart_rate(SINE, None), prefixed("fs", float_error(None))),
    (lambda: qv.get_vital_info(5),
     TypeError("argument 'vital_id': 'int' object cannot be converted to 'PyString'")),
    (roi(method="Face"), ValueError("Invalid RoiMethod string")),
    (roi(method="custom"), ValueError("Invalid RoiMethod string")),
    (roi(method=(0, 0, 0)), ROI_FORM), (roi(method=(0, 0, 0, 0, 0)), ROI_FORM),
    (roi(method=[0, 0, 0, 0]), ROI_FORM), (roi(method=(0, 0, "0", 0)), ROI_FORM),
    (roi(method=(0, 0, 10**400, 0)), ROI_FORM), (roi(method=None), ROI_FORM),
    (roi(detector=0), ValueError("FaceDetector must be a string")),
    (roi(detector=None), ValueError("FaceDetector must be a string")),
    (roi(detector="apple"), ValueError("Invalid FaceDetector string")),
    (roi(detector="apple vision"), ValueError("Invalid FaceDetector string")),
    (roi(container=[640, 480]),
     TypeError("argument 'container': 'list' object cannot be converted to 'PyTuple'")),
    (roi(container=(1, 2, 3)), ValueError("expected tuple of length 2, but got tuple of length 3")),
    (roi(container=(640,)), ValueError("expected tuple of length 2, but got tuple of length 1")),
    (roi(container=("640", 480)), prefixed("container", float_error("640"))),
    (roi(container=(640, 10**400)), float_error(10**400)),
    (roi(force_even=1),
     TypeError("argument 'force_even': 'int' object cannot be converted to 'PyBool'")),
    (roi(force_even=None),
     TypeError("argument 'force_even': 'NoneType' object cannot be converted to 'PyBool'")),
    (roi(face=(1, 2, 3, 4)),
     TypeError("argument 'face': 'tuple' object cannot be converted to 'Rect'")),
])
def test_argument_errors(call, outcome):
    with pytest.raises(type(outcome)) as raised:
        call()
    assert (type(raised.value), str(raised.value)) == (type(outcome), str(outcome))


VITAL_NAMES = ["heart_rate", "hr", "pulse", "rr", "resp_rate", "spo2", "sdnn", "si", "resp_ie",
               "systolic", "bp_dia", "mean_arterial_pressure", "pp", "ppg", "resp",
               "abp_waveform", "HR", " hr", "", "unknown", "heart_rate\0"]


@pytest.mark.parametrize("name", VITAL_NAMES)
def test_get_vital_info_matches_the_core(name):
    meta = qv.get_vital_info(name)
    # A text with a NUL is not a registry name; the NUL cannot be passed on a command line.
    expected = run_reference("get_vital_info", name) if "\0" not in name else ["none"]
    if expected == ["none"]:
        assert meta is None
    else:
        assert type(meta) is qv.VitalDisplayMeta
        assert [meta.id, meta.display_name, meta.short_name, meta.unit, meta.color,
                meta.emoji] == expected
