# SPDX-License-Identifier: Apache-2.0
"""Sequence fields read plain float NumPy arrays in one pass; the values must be exactly those of
the item-by-item path, and every other array must keep that path."""

import math
import struct

import numpy as np
import pytest
from hypothesis import given, settings
from hypothesis import strategies as st
from hypothesis.extra import numpy as hnp

import quorvanta_core as qv

# Each sequence field: how to give it a value and read it back.
FIELDS = {
    "SignalInput.data": (lambda v: qv.SignalInput(v, []), lambda i: i.data),
    "SignalInput.confidence": (lambda v: qv.SignalInput([], v), lambda i: i.confidence),
    "FaceInput.confidence": (lambda v: qv.FaceInput([], v), lambda i: i.confidence),
    "SessionInput.timestamp": (lambda v: qv.SessionInput(None, {}, v), lambda i: i.timestamp),
}
ROWS_FIELD = (lambda v: qv.FaceInput(v, []), lambda i: i.coordinates)


def bits(values):
    """Each float's bit pattern, NaNs alike whatever their payload."""
    return [None if math.isnan(value) else struct.pack("<d", value) for value in values]


def stored(field, value):
    make, read = field
    return read(make(value))


PLAIN_ARRAYS = hnp.arrays(st.sampled_from([np.float32, np.float64]),
                          hnp.array_shapes(min_dims=1, max_dims=1, min_side=0, max_side=50))
PLAIN_ROWS = hnp.arrays(st.sampled_from([np.float32, np.float64]),
                        hnp.array_shapes(min_dims=2, max_dims=2, min_side=0, max_side=12))


@settings(max_examples=300, deadline=None, database=None)
@given(st.sampled_from(sorted(FIELDS)), PLAIN_ARRAYS, PLAIN_ROWS)
def test_plain_arrays_give_the_values_of_the_item_by_item_path(name, array, rows):
    assert bits(stored(FIELDS[name], array)) == bits(stored(FIELDS[name], list(array)))
    from_rows = stored(ROWS_FIELD, rows)
    assert [bits(row) for row in from_rows] == [
        bits(row) for row in stored(ROWS_FIELD, [list(row) for row in rows])]


class Doubled(np.ndarray):
    """A subclass whose iteration a copy of its memory would miss."""

    def __iter__(self):
        return (2 * item for item in np.asarray(self))


VALUES = np.array([1.5, -0.0, np.nan, np.inf, 1e-40, 3.4e38, 7.1e38], dtype=np.float64)

# Arrays the one-pass copy must not take, with the values the item-by-item path gives them.
OTHER_ARRAYS = {
    "subclass": (VALUES.view(Doubled), list(2 * VALUES)),
    "strided": (VALUES[::2], list(VALUES[::2])),
    "big-endian": (VALUES.astype(">f8"), list(VALUES)),
    "unaligned": (np.frombuffer(b"\0" + VALUES.tobytes(), np.float64, VALUES.size, 1),
                  list(VALUES)),
    "float16": (VALUES[:5].astype(np.float16), list(VALUES[:5].astype(np.float16))),
    "int32": (np.arange(-3, 4, dtype=np.int32), list(range(-3, 4))),
    "bool": (np.array([True, False]), [1.0, 0.0]),
}


@pytest.mark.parametrize("name", sorted(FIELDS))
@pytest.mark.parametrize("kind", sorted(OTHER_ARRAYS))
def test_other_arrays_keep_the_item_by_item_path(name, kind):
    array, items = OTHER_ARRAYS[kind]
    assert bits(stored(FIELDS[name], array)) == bits(stored(FIELDS[name], items))


def test_other_row_layouts_keep_the_item_by_item_path():
    rows = np.arange(12, dtype=np.float32).reshape(3, 4) / 7
    for layout in (np.asfortranarray(rows), rows[:, ::2], rows.view(Doubled)):
        assert stored(ROWS_FIELD, layout) == stored(ROWS_FIELD, [list(row) for row in layout])


def error_of(call):
    with pytest.raises(Exception) as error:
        call()
    return type(error.value), str(error.value)


@pytest.mark.parametrize("value", [np.zeros((2, 2)), np.array(["a"]),
                                   np.array([1.0, None], dtype=object)],
                         ids=["2-D", "str", "object"])
def test_arrays_of_other_items_raise_as_their_items_do(value):
    assert error_of(lambda: qv.SignalInput(value, [])) == error_of(
        lambda: qv.SignalInput(list(value), []))


def test_a_zero_dimensional_array_is_no_sequence():
    iteration = error_of(lambda: iter(np.zeros(())))
    assert error_of(lambda: qv.SignalInput(np.zeros(()), [])) == (
        TypeError, f"argument 'data': {iteration[1]}")
