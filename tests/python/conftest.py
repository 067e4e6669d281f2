"""Shared helpers: the core reference tool, CPython's error texts, sample objects, signals."""

import ctypes
import inspect
import operator
import os
import subprocess

import numpy as np
import pytest

import quorvanta_core as qv


def run_reference(command, *args, stdin_lines=()):
    """Runs one core operation in the reference tool and returns its output split into lines."""
    tool = os.environ.get("QUORVANTA_CORE_REFERENCE")
    if not tool:
        pytest.fail("QUORVANTA_CORE_REFERENCE must name the core reference tool")
    completed = subprocess.run(
        [tool, command, *map(reference_text, args)],
        input="".join(" ".join(map(reference_text, line)) + "\n" for line in stdin_lines),
        capture_output=True, text=True, check=True)
    return completed.stdout.splitlines()


def reference_text(value):
    if value is None:
        return "none"
    if isinstance(value, (bool, np.bool_)):
        return "1" if value else "0"
    if isinstance(value, str):
        return value
    return repr(float(value))


def reference_floats(line):
    """The reference tool's floats, widened exactly as the module widens them."""
    return [float(np.float32(token)) for token in line.split()]


def f32(value):
    return float(np.float32(value))


def cpython_error(function_name, result_type, value):
    """The exception that a CPython C API conversion raises for `value`."""
    function = getattr(ctypes.pythonapi, function_name)
    function.argtypes = [ctypes.py_object]
    function.restype = result_type
    try:
        function(value)
    except Exception as error:  # noqa: BLE001 - any conversion error is the expected one
        return error
    raise AssertionError(f"{function_name} accepted {value!r}")


def prefixed(name, error):
    """A conversion's TypeError as an argument or attribute reports it."""
    return TypeError(f"argument '{name}': {error}")


def float_error(value):
    return cpython_error("PyFloat_AsDouble", ctypes.c_double, value)


def signed_error(value):
    return cpython_error("PyLong_AsLongLong", ctypes.c_longlong, value)


def unsigned_error(value):
    try:
        value = operator.index(value)
    except TypeError as error:
        return error
    return cpython_error("PyLong_AsUnsignedLongLong", ctypes.c_ulonglong, value)


class Index:
    """A non-int number that only offers __index__."""

    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


def make_rect():
    return qv.Rect(100, 100, 200, 200)


def make_config(model_name="m1", vitals=("heart_rate",), return_waveforms=None):
    return qv.SessionConfig(model_name, list(vitals), 30.0, 40, 4, "face", return_waveforms)


def metadata():
    return qv.BufferMetadata("b", make_rect(), 1, 0.1, 0.2)


# Makers of an instance of every class whose attributes can be written.
WRITABLE_INSTANCES = [make_rect, make_config, lambda: qv.SignalInput([], []),
                      lambda: qv.FaceInput([], []), lambda: qv.SessionInput(None, {}, []),
                      metadata, lambda: qv.get_vital_info("hr")]


def writable_fields(instance):
    return [name for name, _ in inspect.getmembers(type(instance), inspect.isgetsetdescriptor)]


def make_input(first, count, signals=None):
    """`count` frames at 30 fps from frame `first`, slicing the given whole-recording signals."""
    frames = slice(first, first + count)
    return qv.SessionInput(
        qv.FaceInput([[1.0, 2.0, 3.0, 4.0]] * count, [0.9] * count),
        {name: qv.SignalInput(values[frames], np.full(count, 0.9, np.float32))
         for name, values in (signals or {}).items()},
        [i / 30.0 for i in range(first, first + count)])


def sine(frequency, fs=30.0, seconds=10.0, phase=0.0):
    t = np.arange(int(fs * seconds)) / fs
    return np.sin(2 * np.pi * frequency * t + phase).astype(np.float32)


def pulse_wave(fs=30.0, seconds=30.0, seed=3):
    """A pulse train near 72 per minute with beat-to-beat jitter and a little noise."""
    rng = np.random.default_rng(seed)
    beats = np.cumsum(60.0 / 72.0 + rng.uniform(-0.04, 0.04, int(seconds * 1.3) + 2))
    t = np.arange(int(fs * seconds)) / fs
    shape = np.exp(-(((t[:, None] - beats[None, :]) / 0.08) ** 2)).sum(axis=1)
    return (shape + 0.03 * rng.standard_normal(t.size)).astype(np.float32)


# Every function, constructor and session method, named as in argument errors, with valid values
# for its required arguments.
CALLABLES = [
    (qv.Rect, "Rect.__new__", [1, 2, 3, 4]),
    (qv.SessionConfig, "SessionConfig.__new__", ["m", [], 30.0, 40, 4, "face"]),
    (qv.SessionInput, "SessionInput.__new__", [None, {}, []]),
    (qv.SignalInput, "SignalInput.__new__", [[], []]),
    (qv.FaceInput, "FaceInput.__new__", [[], []]),
    (qv.BufferMetadata, "BufferMetadata.__new__", ["b", make_rect(), 1, 0.0, 0.0]),
    (qv.Session, "Session.__new__", [make_config()]),
    (qv.Session(make_config(vitals=["hr", "rr", "si"], return_waveforms=["ppg_waveform"]))
     .process, "Session.process", [make_input(0, 5, {"ppg_waveform": sine(1.2)}), "Global"]),
    (qv.Session(make_config()).reset, "Session.reset", []),
    (qv.estimate_heart_rate, "estimate_heart_rate", [sine(1.2, seconds=4.0), 30.0]),
    (qv.estimate_hrv_metric, "estimate_hrv_metric",
     [sine(1.2, seconds=4.0), 30.0, "sdnn", sine(1.2, seconds=4.0)]),
    (qv.find_peaks, "find_peaks", [sine(1.2, seconds=4.0), 30.0, True]),
    (qv.calculate_roi, "calculate_roi", [make_rect(), "face"]),
    (qv.get_vital_info, "get_vital_info", ["hr"]),
]
