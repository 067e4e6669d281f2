# SPDX-License-Identifier: Apache-2.0
"""Fuzzes the Python module with hypothesis: arbitrary values, hostile ones among them (numbers
whose conversion runs Python code, sequences that lie about their size or raise, finalizers that
run in the middle of a call), into every argument of every callable and every writable attribute.
Promise checked: a call raises only a conversion error or what the hostile object raised, and
never crashes, whatever that code changes meanwhile.

Run with the Python tests (the python_fuzz test, also under AddressSanitizer), or longer with
QUORVANTA_FUZZ_EXAMPLES=N and tests/python on PYTHONPATH beside the module."""

import contextlib
import inspect
import os

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import quorvanta_core as qv
from conftest import Number, during_next_collection, fields, valid_calls, writable_instances


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
@settings(max_examples=int(os.environ.get("QUORVANTA_FUZZ_EXAMPLES", 1500)), deadline=None, database=None,
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
