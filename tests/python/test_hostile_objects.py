# SPDX-License-Identifier: Apache-2.0
"""Python code that runs in the middle of a call (a conversion's __float__ or __index__, a
sequence's items, a finalizer started by an allocation) cannot make the module read memory it
checked before that code ran. fuzz/fuzz_python_door.py puts arbitrary hostile values into every
argument and attribute."""

import numpy as np
import pytest

import quorvanta_core as qv
from conftest import Number, during_next_collection, error_of, make_config, make_input, pulse_wave

PULSE = pulse_wave(seconds=20.0)
NOT_AN_ARRAY = "argument '{}': 'ndarray' object cannot be converted to 'PyArray<T, D>'"


def view_of_larger(array):
    """A contiguous view into a buffer twice its size, which may be given strides of 8 bytes."""
    backing = np.zeros(array.size * 2, np.float32)
    backing[:array.size] = array
    return backing[:array.size]


# What Python code may legally do to an array it can reach (NumPy lets it even while a buffer of
# the array is exported), and the TypeError that a call reading the array afterwards must raise;
# None where the array still qualifies and is read as it is now: each check of a signal array once.
# Resizing needs an array that owns its data, new strides a view into a larger buffer.
MUTATIONS = {
    "retyped": (lambda a: setattr(a, "dtype", np.float64), NOT_AN_ARRAY),
    "byte-swapped": (lambda a: setattr(a, "dtype", np.dtype(">f4")), NOT_AN_ARRAY),
    "reshaped to 2-D": (lambda a: setattr(a, "shape", (2, a.size // 2)), NOT_AN_ARRAY),
    "strided": (lambda a: setattr(a, "strides", (8,)), "The given array is not contiguous"),
    "grown": (lambda a: a.resize(a.size * 4, refcheck=False), None),
    "shrunk": (lambda a: a.resize(a.size // 3, refcheck=False), None),
    "freed": (lambda a: a.resize(0, refcheck=False), None),
    "rewritten": (lambda a: a.__setitem__(slice(None), a[::-1].copy()), None),
}

def fields_of(beats):
    return beats.times, beats.status, beats.intervals


# Each signal routine with the hostile number in the argument it converts last, and the array
# that the number's conversion mutates ("signal" or "confidence").
CALLS = {
    "estimate_heart_rate": ("signal", lambda s, c, n: qv.estimate_heart_rate(s, n(30.0))),
    "find_peaks": ("signal", lambda s, c, n: qv.find_peaks(s, 30.0, True, max_rate_change=n(1.0))),
    "find_beats": ("signal", lambda s, c, n: fields_of(qv.find_beats(s, n(30.0)))),
    **{f"estimate_hrv_metric mutating {array}": (array, lambda s, c, n: qv.estimate_hrv_metric(
        s, 30.0, "rmssd", c, n(72.0))) for array in ("signal", "confidence")},
}


@pytest.mark.parametrize("mutation", MUTATIONS)
@pytest.mark.parametrize("call", CALLS)
def test_a_signal_array_changed_by_a_later_conversion_is_read_as_it_is_now(call, mutation):
    target, run = CALLS[call]
    mutate, expected_error = MUTATIONS[mutation]
    make = view_of_larger if mutation == "strided" else np.copy
    arrays = {"signal": make(PULSE), "confidence": make(np.ones_like(PULSE))}
    hostile = lambda value: Number(value, lambda: mutate(arrays[target]))  # noqa: E731
    if expected_error is None:
        result = run(arrays["signal"], arrays["confidence"], hostile)
        now = {name: array.copy() for name, array in arrays.items()}
        assert result == run(now["signal"], now["confidence"], lambda value: value)
    else:
        assert error_of(lambda: run(arrays["signal"], arrays["confidence"], hostile)) \
            == (TypeError, expected_error.format(target))


# Attributes whose reads build lists (allocations that can start a collection), each with a value
# of another size or shape.
@pytest.mark.parametrize("make, name, new_value", [
    (lambda: qv.SignalInput([1.0] * 10, [1.0] * 10), "data", [2.0] * 100_000),
    (lambda: qv.FaceInput([[1.0] * 300] * 300, [0.9]), "coordinates", [[]]),
    (lambda: make_config(vitals=["hr", "rr", "si"]), "supported_vitals", ["x" * 1000] * 5000),
    (lambda: make_config(return_waveforms=["ppg_waveform"] * 50), "return_waveforms", None),
], ids=["data", "coordinates", "supported_vitals", "return_waveforms"])
def test_an_attribute_assigned_while_it_is_read_reads_whole(make, name, new_value):
    instance = make()
    old = getattr(instance, name)
    for _ in range(3):
        read = during_next_collection(lambda: setattr(instance, name, new_value),
                                      lambda: getattr(instance, name))
        assert read in (old, new_value) and getattr(instance, name) == new_value
        setattr(instance, name, old)


def test_a_session_used_from_inside_its_own_call_stays_consistent():
    session = qv.Session(make_config(vitals=["ppg_waveform", "heart_rate"]))
    batch = make_input(0, 300, {"ppg_waveform": PULSE})

    def meddle_with_session():
        session.process(make_input(300, 30, {"ppg_waveform": PULSE}), "Incremental")
        session.reset()
        batch.timestamp = []
        batch.signals = {}

    result = session.process(batch, ("Windowed", Number(10.0, meddle_with_session)))
    assert len(result.timestamp) == 300 and result.vitals["heart_rate"].value > 0
    assert session.process(make_input(300, 30), "Global").timestamp[0] == 0.0  # reset meanwhile
    assert session.reset() is None


SURROGATE = "\udc80"


# A name that UTF-8 cannot encode names nothing (the lookups share one converter: a vital, a mode,
# a keyword); a string to be stored (a field, an item, a key: one converter) cannot be stored.
@pytest.mark.parametrize("call, outcome", [
    (lambda: qv.get_vital_info(SURROGATE), None),
    (lambda: qv.Session(make_config()).process(make_input(0, 1), SURROGATE),
     (ValueError, "Invalid WaveformMode string")),
    (lambda: qv.get_vital_info(**{SURROGATE: "hr"}),
     (TypeError, f"get_vital_info() got an unexpected keyword argument '{SURROGATE}'")),
    (lambda: make_config(vitals=["hr", SURROGATE]), error_of(SURROGATE.encode)),  # any str stored
])
def test_a_lone_surrogate_names_nothing_and_cannot_be_stored(call, outcome):
    assert (call() if outcome is None else error_of(call)) == outcome


def test_a_setter_whose_value_reassigns_the_attribute_keeps_the_value_converted():
    signal = qv.SignalInput([1.0] * 10, [1.0])

    class Meddling(list):
        def __iter__(self):
            signal.data = [0.0] * 100
            return super().__iter__()

    signal.data = Meddling([2.0, 3.0, 4.0])
    assert signal.data == [2.0, 3.0, 4.0]
