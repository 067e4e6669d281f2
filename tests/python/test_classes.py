# SPDX-License-Identifier: Apache-2.0
"""Argument parsing and conversions of all callables and attributes, copies, reprs, enums.
Which attributes are writable is held to the stub in test_stub.py."""

import inspect
import itertools

import numpy as np
import pytest

import quorvanta_core as qv
from conftest import CALLABLES, Number, cpython_error, error_of, f32, fields, refused


@pytest.mark.parametrize("name", CALLABLES)
def test_argument_parsing_follows_cpython(name):
    callable_, arguments = CALLABLES[name]
    namespace = {}  # a Python twin with the same signature, so that CPython words the errors
    exec(f"def twin{inspect.signature(callable_)}: pass", namespace)  # noqa: S102 - trusted text
    twin = namespace["twin"]
    twin.__qualname__ = f"{name}.__new__" if isinstance(callable_, type) else name
    parameters, required = list(inspect.signature(twin).parameters), list(arguments.values())
    bad_calls = [(required[:-missing], {}) for missing in range(1, min(3, len(required)) + 1)]
    bad_calls += [(required + [None] * (len(parameters) - len(required) + 1), {}),
                  (required, {"unexpected": 1})]
    if required:
        bad_calls.append((required, {parameters[0]: required[0]}))
    for args, kwargs in bad_calls:
        with pytest.raises(TypeError) as expected:
            twin(*args, **kwargs)
        with pytest.raises(TypeError) as raised:
            callable_(*args, **kwargs)
        assert str(raised.value) == str(expected.value)


def plain(value):
    """The value with the type of every element, so that 1 and 1.0 or lists and tuples differ."""
    return type(value), [plain(item) for item in value] if isinstance(value, list) else value


FLOAT, SIGNED, UNSIGNED = "PyFloat_AsDouble", "PyLong_AsLongLong", "PyLong_AsUnsignedLongLong"
OUT_OF_RANGE = OverflowError("out of range integral type conversion attempted")
ROI_FORM = ValueError("RoiMethod must be a string or tuple(l,t,r,b)")
SIGNAL = np.linspace(-1, 1, 10, dtype=np.float32)
# For each callable: arguments changed from its valid ones, and the error that the call raises
# or the attribute read back from the object built. Writing a class's attribute gives the same.
# One case per error, and per bound of each number type.
CONVERSIONS = {
    "Rect": [({"x": 0.1}, f32(0.1)), ({"x": "1"}, cpython_error(FLOAT, "1", "x")),
             ({"x": 10**400}, cpython_error(FLOAT, 10**400, "x"))],  # not a TypeError: no prefix
    "BufferMetadata": [
        ({"created_at": 0.1}, 0.1), ({"count": 4294967295}, 4294967295),
        ({"count": 4294967296}, OUT_OF_RANGE), ({"count": -1}, OUT_OF_RANGE),
        ({"count": 1.0}, cpython_error(SIGNED, 1.0, "count")),
        ({"roi": (1, 2, 3, 4)}, refused("roi", "tuple", "Rect"))],
    "SessionConfig": [
        ({"input_size": 2**64 - 1}, 2**64 - 1), ({"n_inputs": Number(5, lambda: None)}, 5),
        ({"n_inputs": -1}, cpython_error(UNSIGNED, -1, "n_inputs")),
        ({"model_name": "é☃\U0001f493"}, "é☃\U0001f493"),
        ({"roi_method": 5}, refused("roi_method", "int", "PyString")),
        ({"supported_vitals": ("a", "b")}, ["a", "b"]),
        ({"supported_vitals": "hr"},
         TypeError("argument 'supported_vitals': Can't extract `str` to `Vec`")),
        ({"return_waveforms": None}, None),
        ({"return_waveforms": 5}, refused("return_waveforms", "int", "Sequence"))],
    "FaceInput": [({"coordinates": [(1, 2), np.ones(1, np.float32), []]}, [[1.0, 2.0], [1.0], []])],
    "SessionInput": [({"signals": [qv.SignalInput([], [])]}, refused("signals", "list", "PyDict"))],
    "estimate_heart_rate": [  # the signal is checked before the other arguments are converted
        ({"fs": "30", "signal": SIGNAL.astype(np.float64)},
         refused("signal", "ndarray", "PyArray<T, D>")),
        ({"signal": SIGNAL.tolist()}, refused("signal", "list", "PyArray<T, D>"))],
    "estimate_hrv_metric": [
        ({"metric_name": "hrv_stress"}, ValueError("Invalid HRV metric")),
        ({"signal": SIGNAL[::2], "metric_name": 5},  # converts, then checks
         refused("metric_name", "int", "PyString")),
        ({"signal": SIGNAL[::2], "metric_name": "bogus"},  # checks, then maps
         TypeError("The given array is not contiguous"))],
    "find_peaks": [({"refine": 1}, refused("refine", "int", "PyBool"))],
    "calculate_roi": [
        ({"method": "Face"}, ValueError("Invalid RoiMethod string")),
        ({"method": (0, 0, 0)}, ROI_FORM), ({"method": [0, 0, 0, 0]}, ROI_FORM),
        ({"method": (0, 0, "0", 0)}, ROI_FORM),
        ({"detector": None}, ValueError("FaceDetector must be a string")),
        ({"detector": "apple vision"}, ValueError("Invalid FaceDetector string")),
        ({"container": [640, 480]}, refused("container", "list", "PyTuple")),
        ({"container": (1, 2, 3)},
         ValueError("expected tuple of length 2, but got tuple of length 3"))],
}


@pytest.mark.parametrize("name, changed, outcome", [
    (name, changed, outcome) for name, cases in CONVERSIONS.items() for changed, outcome in cases])
def test_conversions_of_arguments_and_attributes(name, changed, outcome):
    callable_, arguments = CALLABLES[name]
    calls = [lambda: callable_(**{**arguments, **changed})]
    field, value = list(changed.items())[-1]
    instance = callable_(**arguments) if isinstance(callable_, type) else None
    if instance is not None and field in fields(instance):  # attributes convert like arguments
        calls.append(lambda: setattr(instance, field, value) or instance)
    for call in calls:
        if isinstance(outcome, Exception):
            assert error_of(call) == (type(outcome), str(outcome))
        else:
            assert plain(getattr(call(), field)) == plain(outcome)
    if calls[1:] and isinstance(outcome, Exception):  # a refused value changes nothing
        assert repr(getattr(instance, field)) == repr(getattr(callable_(**arguments), field))


def test_reads_and_constructors_copy_records():
    signals = {"ppg": qv.SignalInput([1.0], [1.0])}
    batch = qv.SessionInput(qv.FaceInput([[1.0]], [0.5]), signals, [0.0])
    signals["ppg"].data = batch.signals["ppg"].data = [9.0]
    batch.face.confidence = [0.0]
    assert (batch.signals["ppg"].data, batch.face.confidence) == ([1.0], [0.5])


def test_reprs_round_to_two_decimals_and_do_not_escape():
    x, y, w, h = map(f32, (0.126, -0.001, 1e10, 0.005))
    assert repr(qv.Rect(x, y, w, h)) == f"Rect(x={x:.2f}, y={y:.2f}, w={w:.2f}, h={h:.2f})"
    meta = qv.get_vital_info("hr")
    meta.id, meta.display_name = "it's", "Ünïcode\n\"x\""
    assert repr(meta) == "VitalDisplayMeta(id='it's', name='Ünïcode\n\"x\"')"


@pytest.mark.parametrize("cls, names", [(qv.InferenceMode, ["Stream", "File"]),
                                        (qv.BufferActionType, ["Create", "KeepAlive", "Ignore"])])
def test_enum_variants_equal_their_numbers_and_have_no_order(cls, names):
    for number, name in enumerate(names):
        member = getattr(cls, name)
        assert (type(member), repr(member), int(member)) == (cls, f"{cls.__name__}.{name}", number)
        for index, other in enumerate([*range(len(names)), *(getattr(cls, n) for n in names)]):
            same = index % len(names) == number  # equal to its number and to itself only
            assert (member == other, member != other) == (same, not same)
        assert member != "Stream" and not member == None  # noqa: E711 - exercises __eq__
        for other, compare in itertools.product((member, 0), ("<", "<=", ">", ">=")):
            with pytest.raises(TypeError):
                eval(f"member {compare} other")  # noqa: S307 - fixed operators
