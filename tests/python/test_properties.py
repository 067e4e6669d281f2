# SPDX-License-Identifier: Apache-2.0
"""Arbitrary Python values, hostile ones among them, as arguments or attribute values never crash
the module: it raises conversion errors, or lets the hostile object's own error through."""

import inspect

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import quorvanta_core as qv
from conftest import (Number, during_next_collection, fields, make_rect, valid_calls,
                      writable_instances)


class Hostile(Exception):
    """Raised by the hostile objects below: it must reach the caller unchanged."""


VICTIMS = []  # the arrays and instances of the call being tried, for hostile code to change


def resized(value):
    return value * 7 + value if isinstance(value, list) else {} if isinstance(value, dict) else value


MEDDLING = {
    "retype": lambda a: setattr(a, "dtype", np.uint8),
    "reshape": lambda a: setattr(a, "shape", (1, a.size)),
    "grow": lambda a: a.resize(a.size * 3 + 1, refcheck=False),
}


def meddle(kind):
    """Changes every victim: arrays as `kind` says, instances by assigning each attribute a value
    of another size."""
    for victim in VICTIMS:
        if isinstance(victim, np.ndarray):
            if victim.dtype == np.float32 and victim.ndim == 1 and victim.flags.owndata:
                MEDDLING[kind](victim)
        elif type(victim).__module__ == "quorvanta_core":
            for field in fields(victim):
                try:
                    setattr(victim, field, resized(getattr(victim, field)))
                except AttributeError:  # read-only
                    pass


class Items:
    """A sequence whose size or items are a lie or an error."""

    def __init__(self, items, length):
        self.items, self.length = items, length

    def __len__(self):
        if self.length is None:
            raise Hostile("__len__")
        return self.length

    def __getitem__(self, index):
        if index >= len(self.items):
            raise IndexError(index)
        meddle("grow")
        return self.items[index]


class RaisingIterator(list):
    def __iter__(self):
        yield from self[:1]
        raise Hostile("__iter__")


def meddling_number(kind):
    return Number(30, lambda: meddle(kind))


KINDS = st.sampled_from(sorted(MEDDLING))
HOSTILE = st.one_of(
    st.builds(meddling_number, KINDS),
    st.builds(Items, st.lists(st.floats(), max_size=4),
              st.one_of(st.none(), st.integers(0, 2**62))),
    st.builds(RaisingIterator, st.lists(st.floats(), max_size=3)),
    st.tuples(st.just("Windowed"), st.builds(meddling_number, KINDS)))
SCALARS = st.one_of(
    st.none(), st.booleans(), st.integers(), st.floats(), st.binary(),
    st.text(st.characters(blacklist_categories=())),  # surrogates included
    st.sampled_from(["face", "Global", "Incremental", "vision", "hr", "sdnn", "Windowed", ...,
                     qv.InferenceMode.File, np.bool_(True), np.float32(2.5)]),
    st.builds(make_rect), st.builds(qv.SignalInput, st.just([1.0]), st.just([0.5])),
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


def tried(target, value, finalizer_kind=None):
    call, passed = prepared(target)
    VICTIMS[:] = [*passed, value]
    try:
        if finalizer_kind is None:
            call(value)
        else:
            during_next_collection(lambda: meddle(finalizer_kind), lambda: call(value))
    except ALLOWED:
        pass
    finally:
        VICTIMS.clear()


# NumPy 1.24 warns when a numpy.bool_ is read as an integer; finalizers that raise are reported.
@pytest.mark.filterwarnings("ignore:In future, it will be an error for 'np.bool_'")
@pytest.mark.filterwarnings("ignore::pytest.PytestUnraisableExceptionWarning")
@settings(max_examples=600, deadline=None, database=None,
          suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
@given(st.sampled_from(TARGETS), VALUES)
def test_arbitrary_values_raise_only_conversion_errors(target, value):
    tried(target, value)


@pytest.mark.filterwarnings("ignore::pytest.PytestUnraisableExceptionWarning")
@settings(max_examples=1000, deadline=None, database=None)
@given(st.sampled_from(TARGETS), HOSTILE, KINDS)
def test_python_code_run_inside_a_call_cannot_break_it(target, value, finalizer_kind):
    tried(target, value, finalizer_kind)
