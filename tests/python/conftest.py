# SPDX-License-Identifier: Apache-2.0
"""Shared helpers: error texts, Python code that runs inside a call, sample objects, signals."""

import ctypes
import gc
import inspect

import numpy as np
import pytest

import quorvanta_core as qv


def f32(value):
    return float(np.float32(value))


def cpython_error(api_function, value, argument):
    """The error that a conversion function of CPython's C API raises for `value`, worded as the
    module reports it for `argument`."""
    function = getattr(ctypes.pythonapi, api_function)
    function.argtypes = [ctypes.py_object]
    try:
        function(value)
    except TypeError as error:
        return TypeError(f"argument '{argument}': {error}")
    except Exception as error:  # noqa: BLE001 - any other conversion error is the expected one
        return error


def refused(argument, type_name, target):
    return TypeError(f"argument '{argument}': '{type_name}' object cannot be converted to "
                     f"'{target}'")


class Number:
    """A number whose conversion first runs `action`: Python code in the middle of a call."""

    def __init__(self, value, action):
        self.value, self.action = value, action

    def __float__(self):
        self.action()
        return float(self.value)

    def __index__(self):
        self.action()
        return int(self.value)


def during_next_collection(action, call):
    """Runs `call` with a collection due at its first allocation, which finalizes garbage in a
    reference cycle whose finalizer runs `action`: Python code in the middle of the call."""
    class Finalized:
        def __del__(self):
            action()

    threshold = gc.get_threshold()
    gc.collect()
    gc.disable()
    try:
        garbage = Finalized()
        garbage.cycle = garbage
        del garbage
        gc.set_threshold(1)
        gc.enable()
        return call()
    finally:
        gc.set_threshold(*threshold)


def error_of(call):
    """The type and text of the error that `call` raises."""
    with pytest.raises(Exception) as raised:
        call()
    return type(raised.value), str(raised.value)


def make_config(model_name="m1", vitals=("heart_rate",), return_waveforms=None):
    return qv.SessionConfig(model_name, list(vitals), 30.0, 40, 4, "face", return_waveforms)


def fields(instance):
    return [name for name, _ in inspect.getmembers(type(instance), inspect.isgetsetdescriptor)]


def make_input(first, count, signals=None):
    """`count` frames at 30 fps from frame `first`, slicing the given whole-recording signals."""
    frames = slice(first, first + count)
    return qv.SessionInput(
        qv.FaceInput([[1.0, 2.0, 3.0, 4.0]] * count, [0.9] * count),
        {name: qv.SignalInput(values[frames], np.full(count, 0.9, np.float32))
         for name, values in (signals or {}).items()},
        [i / 30.0 for i in range(first, first + count)])


def pulse_wave(seconds=30.0):
    """A pulse train at 30 fps near 72 per minute with beat-to-beat jitter and a little noise."""
    rng = np.random.default_rng(3)
    beats = np.cumsum(60.0 / 72.0 + rng.uniform(-0.04, 0.04, int(seconds * 1.3) + 2))
    t = np.arange(int(30 * seconds)) / 30.0
    shape = np.exp(-(((t[:, None] - beats[None, :]) / 0.08) ** 2)).sum(axis=1)
    return (shape + 0.03 * rng.standard_normal(t.size)).astype(np.float32)


SHORT_PULSE = pulse_wave(seconds=4.0)


PLANNER_LIMITS = qv.compute_buffer_config(make_config())
BUFFER = qv.BufferMetadata("b", qv.Rect(100, 100, 200, 200), 40, 0.0, 0.5)


def valid_calls():
    """Every function, constructor and session method by the name its argument errors use, with
    new valid values for its required arguments, by name."""
    calls = [
        ("Rect", qv.Rect, [1, 2, 3, 4]),
        ("SessionConfig", qv.SessionConfig, ["m", [], 30.0, 40, 4, "face"]),
        ("SessionInput", qv.SessionInput, [None, {}, []]),
        ("SignalInput", qv.SignalInput, [[], []]),
        ("FaceInput", qv.FaceInput, [[], []]),
        ("BufferMetadata", qv.BufferMetadata, ["b", qv.Rect(100, 100, 200, 200), 1, 0.0, 0.0]),
        ("Session", qv.Session, [make_config()]),
        ("Session.process", qv.Session(make_config(vitals=["hr", "rr", "si"],
                                                   return_waveforms=["ppg_waveform"])).process,
         [make_input(0, 5, {"ppg_waveform": SHORT_PULSE}), "Global"]),
        ("Session.reset", qv.Session(make_config()).reset, []),
        ("BufferPlanner", qv.BufferPlanner, [PLANNER_LIMITS]),
        ("BufferPlanner.evaluate_target", qv.BufferPlanner(PLANNER_LIMITS).evaluate_target,
         [qv.Rect(100, 100, 200, 200), 1.0, [BUFFER]]),
        ("BufferPlanner.is_ready", qv.BufferPlanner(PLANNER_LIMITS).is_ready,
         [40, qv.InferenceMode.Stream]),
        ("BufferPlanner.poll", qv.BufferPlanner(PLANNER_LIMITS).poll,
         [[BUFFER], 1.0, qv.InferenceMode.File]),
        ("compute_buffer_config", qv.compute_buffer_config, [make_config()]),
        ("compute_iou", qv.compute_iou, [qv.Rect(0, 0, 10, 10), qv.Rect(5, 0, 10, 10)]),
        ("is_contained", qv.is_contained, [qv.Rect(0, 0, 10, 10), qv.Rect(0, 5, 10, 10), 0.5]),
        ("estimate_heart_rate", qv.estimate_heart_rate, [SHORT_PULSE.copy(), 30.0]),
        ("estimate_hrv_metric", qv.estimate_hrv_metric,
         [SHORT_PULSE.copy(), 30.0, "sdnn", SHORT_PULSE.copy()]),
        ("find_peaks", qv.find_peaks, [SHORT_PULSE.copy(), 30.0, True]),
        ("calculate_roi", qv.calculate_roi, [qv.Rect(100, 100, 200, 200), "face"]),
        ("get_vital_info", qv.get_vital_info, ["hr"]),
        ("find_beats", qv.find_beats, [SHORT_PULSE.copy(), 30.0]),
        ("extract_pulse", qv.extract_pulse,
         [SHORT_PULSE + np.float32(2), SHORT_PULSE + np.float32(3), SHORT_PULSE + np.float32(4),
          [i / 30 for i in range(SHORT_PULSE.size)]]),
        ("extract_respiration", qv.extract_respiration, [SHORT_PULSE[:40].copy(), SHORT_PULSE.copy()]),
    ]
    return {name: (callable_, dict(zip(inspect.signature(callable_).parameters, required)))
            for name, callable_, required in calls}


CALLABLES = valid_calls()


def writable_instances():
    """A new object of every class whose attributes can be written."""
    instances = [callable_(**arguments) for callable_, arguments in valid_calls().values()
                 if isinstance(callable_, type)]
    return [instance for instance in instances if fields(instance)] + [qv.get_vital_info("hr")]
