"""Arbitrary Python values never crash the module, and the signal functions agree with the core."""

import inspect

import numpy as np
import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import quorvanta_core as qv
from conftest import (CALLABLES, WRITABLE_INSTANCES, make_rect, reference_floats, run_reference,
                      writable_fields)

ARRAYS = hnp.arrays(
    dtype=st.sampled_from([np.float32, np.float64, np.int32, np.bool_, np.dtype(">f4")]),
    shape=hnp.array_shapes(min_dims=0, max_dims=2, max_side=40))
SCALARS = st.one_of(
    st.none(), st.booleans(), st.integers(), st.integers(min_value=-2**80, max_value=2**80),
    st.floats(), st.text(st.characters(blacklist_categories=())), st.binary(),
    st.sampled_from(["face", "Global", "Incremental", "vision", "hr", "sdnn", "Windowed"]),
    st.builds(make_rect), st.builds(qv.SignalInput, st.just([1.0]), st.just([0.5])),
    st.sampled_from([qv.InferenceMode.File, np.bool_(True), np.float32(2.5), ...]),
    ARRAYS)
VALUES = st.recursive(
    SCALARS,
    lambda inner: st.one_of(st.lists(inner, max_size=5), st.tuples(inner, inner),
                            st.tuples(st.just("Windowed"), inner),
                            st.tuples(inner, inner, inner, inner),
                            st.dictionaries(st.text(max_size=5), inner, max_size=3)),
    max_leaves=8)
ALLOWED = (TypeError, ValueError, OverflowError)  # UnicodeEncodeError is a ValueError

# Every argument of every callable, with valid values for the others.
TARGETS = [(callable_, dict(zip(inspect.signature(callable_).parameters, required)), name)
           for callable_, _, required in CALLABLES
           for name in inspect.signature(callable_).parameters]
FIELDS = [(factory(), field) for factory in WRITABLE_INSTANCES
          for field in writable_fields(factory())]
FAST = settings(max_examples=300, deadline=None, database=None,
                suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
# NumPy 1.24 warns when a numpy.bool_ is read as an integer.
pytestmark = pytest.mark.filterwarnings("ignore:In future, it will be an error for 'np.bool_'")


@FAST
@given(st.data())
def test_arbitrary_arguments_raise_only_conversion_errors(data):
    callable_, arguments, name = data.draw(st.sampled_from(TARGETS))
    try:
        callable_(**{**arguments, name: data.draw(VALUES)})
    except ALLOWED:
        pass


@FAST
@given(st.sampled_from(FIELDS), VALUES)
def test_arbitrary_attribute_values_raise_only_conversion_errors(target, value):
    instance, field = target
    try:
        setattr(instance, field, value)
    except ALLOWED:
        return
    getattr(instance, field)


FLOAT32_SIGNALS = hnp.arrays(np.float32, st.integers(0, 300),
                             elements=st.floats(width=32, allow_nan=True, allow_infinity=True) |
                             st.floats(-2, 2, width=32))
RATES = st.floats(-10, 100, width=32) | st.sampled_from([30.0, 0.0, float("nan"), float("inf")])


@settings(max_examples=40, deadline=None, database=None)
@given(FLOAT32_SIGNALS, RATES, st.booleans())
def test_signal_functions_agree_with_the_core(signal, fs, refine):
    np.testing.assert_array_equal(qv.estimate_heart_rate(signal, fs), reference_floats(
        run_reference("estimate_heart_rate", fs, stdin_lines=[signal])[0]))
    assert qv.find_peaks(signal, fs, refine) == reference_floats(run_reference(
        "find_peaks", fs, refine, None, 40.0, 220.0, 0.45, 2.5, 1.0, stdin_lines=[signal])[0])
