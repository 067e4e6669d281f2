# SPDX-License-Identifier: Apache-2.0
"""Sequence fields read plain float NumPy arrays in one pass; the values must be exactly those of
the item-by-item path, and every other array must keep that path."""

import math
import struct

import numpy as np
import pytest

import quorvanta_core as qv
from conftest import error_of

# A sequence field of each item type (float, double, row of floats): how to give it a value and
# read it back, and the values to give it.
# Values that single precision rounds, makes subnormal or overflows.
VALUES = np.array([0.1, -0.0, np.nan, np.inf, 1e-40, 3.4e38, 7.1e38, 1 / 3])
FIELDS = {
    "SignalInput.data": (lambda v: qv.SignalInput(v, []).data, VALUES),
    "SessionInput.timestamp": (lambda v: qv.SessionInput(None, {}, v).timestamp, VALUES),
    "FaceInput.coordinates": (lambda v: qv.FaceInput(v, []).coordinates, VALUES[:6].reshape(2, 3)),
}


class Doubled(np.ndarray):
    """A subclass whose iteration a copy of its memory would miss."""

    def __iter__(self):
        return (2 * item for item in np.asarray(self))


# Plain arrays, and arrays that fail one condition of the one-pass copy each.
LAYOUTS = {
    "float64": lambda a: a, "float32": lambda a: a.astype(np.float32), "empty": lambda a: a[:0],
    "subclass": lambda a: a.view(Doubled), "strided": lambda a: a[..., ::2],
    "Fortran order": np.asfortranarray, "big-endian": lambda a: a.astype(">f8"),
    "unaligned": lambda a: np.frombuffer(b"\0" + a.tobytes(), a.dtype, a.size, 1).reshape(a.shape),
    "int32": lambda a: np.arange(a.size, dtype=np.int32).reshape(a.shape),
}


def bits(values):
    """Each float's bit pattern, NaNs alike whatever their payload; rows row by row."""
    return [bits(value) if isinstance(value, list) else None if math.isnan(value)
            else struct.pack("<d", value) for value in values]


@pytest.mark.filterwarnings("ignore:overflow encountered in cast")
@pytest.mark.parametrize("field", FIELDS)
@pytest.mark.parametrize("layout", LAYOUTS)
def test_arrays_give_the_values_of_the_item_by_item_path(field, layout):
    stored, values = FIELDS[field]
    array = LAYOUTS[layout](values)
    items = [list(item) if np.ndim(item) else item for item in array]
    assert bits(stored(array)) == bits(stored(items))


def test_an_array_of_rows_gives_a_flat_field_the_errors_of_its_rows():
    rows = np.zeros((2, 2))
    assert error_of(lambda: qv.SignalInput(rows, [])) == error_of(
        lambda: qv.SignalInput(list(rows), []))
