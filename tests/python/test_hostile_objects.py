# SPDX-License-Identifier: Apache-2.0
"""Python code that runs in the middle of a call (a conversion's __float__ or __index__, a
sequence's items, a finalizer started by an allocation) cannot make the module read memory it
checked before that code ran; arbitrary values, hostile ones among them, never crash the module."""

import contextlib
import inspect

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import quorvanta_core as qv
from conftest import (Number, during_next_collection, error_of, fields, make_config, make_input,
                      pulse_wave, valid_calls, writable_instances)

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

# Each signal routine with the hostile number in the argument it converts last, and the array
# that the number's conversion mutates ("signal" or "confidence").
CALLS = {
    "estimate_heart_rate": ("signal", lambda s, c, n: qv.estimate_heart_rate(s, n(30.0))),
    "find_peaks": ("signal", lambda s, c, n: qv.find_peaks(s, 30.0, True, max_rate_change=n(1.0))),
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


# A name that UTF-8 cannot encode names nothing, at each place where a name is looked up; a string
# to be stored (a field, an item, a key: one converter) cannot be stored.
@pytest.mark.parametrize("call, outcome", [
    (lambda: qv.get_vital_info(SURROGATE), None),
    (lambda: qv.estimate_hrv_metric(PULSE, 30.0, SURROGATE, PULSE),
     (ValueError, "Invalid HRV metric")),
    (lambda: qv.calculate_roi(qv.Rect(0, 0, 10, 10), SURROGATE),
     (ValueError, "Invalid RoiMethod string")),
    (lambda: qv.calculate_roi(qv.Rect(0, 0, 10, 10), "face", SURROGATE),
     (ValueError, "Invalid FaceDetector string")),
    (lambda: qv.Session(make_config()).process(make_input(0, 1), SURROGATE),
     (ValueError, "Invalid WaveformMode string")),
    (lambda: qv.Session(make_config()).process(make_input(0, 1), (SURROGATE, 1.0)),
     (ValueError, "Invalid WaveformMode tuple")),
    (lambda: qv.get_vital_info(**{SURROGATE: "hr"}),
     (TypeError, f"get_vital_info() got an unexpected keyword argument '{SURROGATE}'")),
    (lambda: make_config(vitals=["hr", SURROGATE]), error_of(SURROGATE.encode)),  # any str stored
])
def test_a_lone_surrogate_names_nothing_and_cannot_be_stored(call, outcome):
    assert (call() if outcome is None else error_of(call)) == outcome


class Hostile(Exception):
    """Raised by the hostile objects below: it must reach the caller unchanged."""


VICTIMS = []  # the arrays and instances of the call being tried, for hostile code to change


def meddle():
    """Grows every victim array that can grow, and assigns every attribute of every victim
    instance a value of another size; the tests above check each other change to an array."""
    for victim in VICTIMS:
        if isinstance(victim, np.ndarray):
            if victim.dtype == np.float32 and victim.ndim == 1 and victim.flags.owndata:
                victim.resize(victim.size * 3 + 1, refcheck=False)
        elif type(victim).__module__ == "quorvanta_core":
            for field in fields(victim):
                with contextlib.suppress(AttributeError):  # read-only
                    value = getattr(victim, field)
                    setattr(victim, field, value * 8 if isinstance(value, list) else
                            {} if isinstance(value, dict) else value)


class Items:
    """A sequence whose size is a lie or an error, and whose every item read first meddles."""

    def __init__(self, items, length):
        self.items, self.length = items, length

    def __len__(self):
        if self.length is None:
            raise Hostile("__len__")
        return self.length

    def __getitem__(self, index):
        meddle()
        return self.items[index]  # IndexError ends the iteration


class RaisingIterator(list):
    def __iter__(self):
        yield from self[:1]
        raise Hostile("__iter__")


def test_a_setter_whose_value_reassigns_the_attribute_keeps_the_value_converted():
    signal = qv.SignalInput([1.0] * 10, [1.0])
    VICTIMS[:] = [signal]
    try:
        signal.data = Items([2.0, 3.0, 4.0], 3)
    finally:
        VICTIMS.clear()
    assert signal.data == [2.0, 3.0, 4.0]


MEDDLING_NUMBER = st.builds(Number, st.just(30), st.just(meddle))  # as __float__ and __index__
HOSTILE = st.one_of(
    MEDDLING_NUMBER, st.tuples(st.just("Windowed"), MEDDLING_NUMBER),
    st.builds(Items, st.lists(st.floats(), max_size=4),
              st.one_of(st.none(), st.integers(0, 2**62))),
    st.builds(RaisingIterator, st.lists(st.floats(), max_size=3)))
SCALARS = st.one_of(
    st.none(), st.booleans(), st.integers(), st.floats(), st.binary(),
    st.text(st.characters(blacklist_categories=())),  # surrogates included
    st.sampled_from(["face", "Global", "Incremental", "vision", "hr", "sdnn", "Windowed", ...,
                     qv.InferenceMode.File, np.bool_(True), np.float32(2.5)]),
    st.builds(qv.Rect, st.just(1), st.just(2), st.just(3), st.just(4)),
    st.builds(qv.SignalInput, st.just([1.0]), st.just([0.5])),
    hnp.arrays(st.sampled_from([np.float32, np.float64, np.int32, np.bool_, np.dtype(">f4")]),
               hnp.array_shapes(min_dims=0, max_dims=2, max_side=40)),
    HOSTILE)
VALUES = st.recursive(SCALARS, lambda inner: st.one_of(
    st.lists(inner, max_size=5), st.tuples(inner, inner), st.tuples(st.just("Windowed"), inner),
    st.tuples(inner, inner, inner, inner), st.dictionaries(st.text(max_size=5), inner, max_size=3)),
    max_leaves=8)
ALLOWED = (TypeError, ValueError, OverflowError, Hostile)  # UnicodeEncodeError is a ValueError

# Every argument of every callable, with new valid values for the others; every writable attribute.
TARGETS = ([("argument", name, parameter) for name, (callable_, _) in valid_calls().items()
            for parameter in inspect.signature(callable_).parameters]
           + [("attribute", index, field) for index, instance in enumerate(writable_instances())
              for field in fields(instance)])


def prepared(target):
    """The call that gives `value` to the target, and the objects it passes besides."""
    kind, owner, name = target
    if kind == "argument":
        callable_, arguments = valid_calls()[owner]
        return (lambda value: callable_(**{**arguments, name: value}),
                [value for value in arguments.values() if not isinstance(value, (str, float))])
    instance = writable_instances()[owner]
    return (lambda value: (setattr(instance, name, value), getattr(instance, name)), [instance])


# NumPy 1.24 warns when a numpy.bool_ is read as an integer; finalizers that raise are reported.
@pytest.mark.filterwarnings("ignore:In future, it will be an error for 'np.bool_'")
@pytest.mark.filterwarnings("ignore::pytest.PytestUnraisableExceptionWarning")
@settings(max_examples=1500, deadline=None, database=None,
          suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
@given(st.sampled_from(TARGETS), st.one_of(HOSTILE, VALUES), st.booleans())
def test_arbitrary_values_raise_only_conversion_errors(target, value, during_collection):
    call, passed = prepared(target)
    VICTIMS[:] = [*passed, value]
    try:
        during_next_collection(meddle, lambda: call(value)) if during_collection else call(value)
    except ALLOWED:
        pass
    finally:
        VICTIMS.clear()
