"""Arbitrary Python values as arguments or attribute values never crash the module."""

import inspect

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import quorvanta_core as qv
from conftest import CALLABLES, fields, make_rect, writable_instances

SCALARS = st.one_of(
    st.none(), st.booleans(), st.integers(), st.floats(), st.binary(),
    st.text(st.characters(blacklist_categories=())),  # surrogates included
    st.sampled_from(["face", "Global", "Incremental", "vision", "hr", "sdnn", "Windowed", ...,
                     qv.InferenceMode.File, np.bool_(True), np.float32(2.5)]),
    st.builds(make_rect), st.builds(qv.SignalInput, st.just([1.0]), st.just([0.5])),
    hnp.arrays(st.sampled_from([np.float32, np.float64, np.int32, np.bool_, np.dtype(">f4")]),
               hnp.array_shapes(min_dims=0, max_dims=2, max_side=40)))
VALUES = st.recursive(SCALARS, lambda inner: st.one_of(
    st.lists(inner, max_size=5), st.tuples(inner, inner), st.tuples(st.just("Windowed"), inner),
    st.tuples(inner, inner, inner, inner), st.dictionaries(st.text(max_size=5), inner, max_size=3)),
    max_leaves=8)
ALLOWED = (TypeError, ValueError, OverflowError)  # UnicodeEncodeError is a ValueError


def argument(callable_, arguments, name):
    return lambda value: callable_(**{**arguments, name: value})


def attribute(instance, field):
    return lambda value: (setattr(instance, field, value), getattr(instance, field))


# Every argument of every callable, with valid values for the others; every writable attribute.
TARGETS = ([argument(callable_, arguments, name) for callable_, arguments in CALLABLES.values()
            for name in inspect.signature(callable_).parameters]
           + [attribute(instance, field) for instance in writable_instances()
              for field in fields(instance)])


# NumPy 1.24 warns when a numpy.bool_ is read as an integer.
@pytest.mark.filterwarnings("ignore:In future, it will be an error for 'np.bool_'")
@settings(max_examples=600, deadline=None, database=None,
          suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
@given(st.sampled_from(TARGETS), VALUES)
def test_arbitrary_values_raise_only_conversion_errors(target, value):
    try:
        target(value)
    except ALLOWED:
        pass
