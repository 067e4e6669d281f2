# SPDX-License-Identifier: Apache-2.0
"""Argument parsing and conversions of all callables and attributes, attribute rules, enums."""

import inspect
import itertools

import numpy as np
import pytest

import quorvanta_core as qv
from conftest import (CALLABLES, Index, cpython_error, f32, fields, make_config, make_input,
                      refused, sine, writable_instances)


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
NOT_A_VEC = "Can't extract `str` to `Vec`"
ROI_FORM = ValueError("RoiMethod must be a string or tuple(l,t,r,b)")
SIGNAL = np.linspace(-1, 1, 10, dtype=np.float32)
# For each callable: arguments changed from its valid ones, and the error that the call raises
# or the attribute read back from the object built. Writing a class's attribute gives the same.
CONVERSIONS = {
    "Rect": [({"x": 0.1}, f32(0.1)), ({"x": "1"}, cpython_error(FLOAT, "1", "x")),
             ({"x": 10**400}, cpython_error(FLOAT, 10**400, "x"))],
    "BufferMetadata": [
        ({"created_at": 0.1}, 0.1), ({"count": 4294967295}, 4294967295),
        ({"count": 4294967296}, OUT_OF_RANGE), ({"count": -1}, OUT_OF_RANGE),
        ({"count": 1.0}, cpython_error(SIGNED, 1.0, "count")),
        ({"roi": (1, 2, 3, 4)}, refused("roi", "tuple", "Rect"))],
    "SessionConfig": [
        ({"input_size": 2**64 - 1}, 2**64 - 1), ({"n_inputs": Index(5)}, 5),
        ({"n_inputs": -1}, cpython_error(UNSIGNED, -1, "n_inputs")),
        ({"model_name": "é☃\U0001f493"}, "é☃\U0001f493"),
        ({"roi_method": 5}, refused("roi_method", "int", "PyString")),
        ({"supported_vitals": ("a", "b")}, ["a", "b"]),
        ({"supported_vitals": "hr"}, TypeError(f"argument 'supported_vitals': {NOT_A_VEC}")),
        ({"supported_vitals": ["hr", b"rr"]}, refused("supported_vitals", "bytes", "PyString")),
        ({"return_waveforms": None}, None),
        ({"return_waveforms": 5}, refused("return_waveforms", "int", "Sequence"))],
    "SignalInput": [
        ({"data": np.array([0.1])}, [f32(0.1)]),
        ({"data": "12"}, TypeError(f"argument 'data': {NOT_A_VEC}")),
        ({"confidence": [1.0, "x"]}, cpython_error(FLOAT, "x", "confidence"))],
    "FaceInput": [({"coordinates": [(1, 2), np.ones(1, np.float32), []]}, [[1.0, 2.0], [1.0], []]),
                  ({"coordinates": [1.0]}, refused("coordinates", "float", "Sequence"))],
    "SessionInput": [
        ({"timestamp": [0.1, 2]}, [0.1, 2.0]),
        ({"signals": [qv.SignalInput([], [])]}, refused("signals", "list", "PyDict")),
        ({"signals": {"ppg": [1.0]}}, refused("signals", "list", "SignalInput")),
        ({"signals": {1: qv.SignalInput([], [])}}, refused("signals", "int", "PyString"))],
    "Session": [({"config": None}, refused("config", "NoneType", "SessionConfig"))],
    "Session.process": [({"input": make_config()},
                         refused("input", "SessionConfig", "SessionInput"))],
    "estimate_heart_rate": [
        ({"signal": SIGNAL.astype(np.float64)}, refused("signal", "ndarray", "PyArray<T, D>")),
        ({"signal": SIGNAL.tolist()}, refused("signal", "list", "PyArray<T, D>")),
        ({"signal": SIGNAL.reshape(2, 5)}, refused("signal", "ndarray", "PyArray<T, D>")),
        ({"signal": SIGNAL[::2]}, TypeError("The given array is not contiguous"))],
    "estimate_hrv_metric": [
        ({"metric_name": "hrv_stress"}, ValueError("Invalid HRV metric")),
        ({"signal": SIGNAL[::2], "metric_name": 5},  # converts, then checks
         refused("metric_name", "int", "PyString")),
        ({"signal": SIGNAL[::2], "metric_name": "bogus"},  # checks, then maps
         TypeError("The given array is not contiguous")),
        ({"rate_hint": "72"}, cpython_error(FLOAT, "72", "rate_hint"))],
    "find_peaks": [({"refine": 1}, refused("refine", "int", "PyBool"))],
    "calculate_roi": [
        ({"method": "Face"}, ValueError("Invalid RoiMethod string")),
        ({"method": (0, 0, 0)}, ROI_FORM), ({"method": [0, 0, 0, 0]}, ROI_FORM),
        ({"method": (0, 0, "0", 0)}, ROI_FORM),
        ({"detector": None}, ValueError("FaceDetector must be a string")),
        ({"detector": "apple vision"}, ValueError("Invalid FaceDetector string")),
        ({"container": [640, 480]}, refused("container", "list", "PyTuple")),
        ({"container": (1, 2, 3)},
         ValueError("expected tuple of length 2, but got tuple of length 3")),
        ({"container": ("640", 480)}, cpython_error(FLOAT, "640", "container"))],
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
            with pytest.raises(type(outcome)) as raised:
                call()
            assert (type(raised.value), str(raised.value)) == (type(outcome), str(outcome))
        else:
            assert plain(getattr(call(), field)) == plain(outcome)
    if calls[1:] and isinstance(outcome, Exception):  # a refused value changes nothing
        assert repr(getattr(instance, field)) == repr(getattr(callable_(**arguments), field))


def test_reads_build_new_objects():
    signals = {"ppg": qv.SignalInput([1.0], [1.0])}
    batch = qv.SessionInput(qv.FaceInput([[1.0]], [0.5]), signals, [0.0])
    signals["ppg"].data = [3.0]
    batch.signals["ppg"].data = [9.0]
    batch.face.coordinates[0].append(5.0)
    batch.timestamp.append(1.0)
    meta = qv.BufferMetadata("b", qv.Rect(1, 2, 3, 4), 1, 0.0, 0.0)
    meta.roi.x = 5.0
    assert (batch.signals["ppg"].data, batch.face.coordinates, batch.timestamp, meta.roi.x) \
        == ([1.0], [[1.0]], [0.0], 1.0)


def test_attributes_cannot_be_deleted_and_results_are_read_only():
    for instance in writable_instances():
        for field in fields(instance):
            with pytest.raises(AttributeError, match="^can't delete attribute$"):
                delattr(instance, field)
    config = make_config(vitals=["hr"], return_waveforms=["ppg_waveform"])
    result = qv.Session(config).process(make_input(0, 300, {"ppg_waveform": sine(1.2)}), "Global")
    for instance in (result, result.vitals["heart_rate"], result.waveforms["ppg_waveform"],
                     result.face):
        for field in fields(instance):
            with pytest.raises(AttributeError):
                setattr(instance, field, getattr(instance, field))


def test_reprs_round_to_two_decimals_and_do_not_escape():
    for values in [(10, 20.5, 100, 80.25), (0.126, -0.001, 1e10, 0.005)]:
        x, y, w, h = map(f32, values)
        assert repr(qv.Rect(*values)) == f"Rect(x={x:.2f}, y={y:.2f}, w={w:.2f}, h={h:.2f})"
    meta = qv.get_vital_info("hr")
    meta.id, meta.display_name = "it's", "Ünïcode\n\"x\""
    assert repr(meta) == "VitalDisplayMeta(id='it's', name='Ünïcode\n\"x\"')"


@pytest.mark.parametrize("cls, names", [(qv.InferenceMode, ["Stream", "File"]),
                                        (qv.BufferActionType, ["Create", "KeepAlive", "Ignore"])])
def test_enum_variants(cls, names):
    members = [getattr(cls, name) for name in names]
    assert [(type(member), repr(member), int(member)) for member in members] \
        == [(cls, f"{cls.__name__}.{name}", number) for number, name in enumerate(names)]
    for number, member in enumerate(members):
        same = [number == other for other in range(len(members))]
        for others in (members, range(len(members))):
            assert [member == other for other in others] == same
            assert [member != other for other in others] == [not equal for equal in same]
        assert member != "Stream" and not member == None  # noqa: E711 - exercises __eq__
        for other, compare in itertools.product((members[0], 0), ("<", "<=", ">", ">=")):
            with pytest.raises(TypeError):
                eval(f"member {compare} other")  # noqa: S307 - fixed operators
