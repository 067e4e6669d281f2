// SPDX-License-Identifier: Apache-2.0
// NumPy at the door: its array interface, loaded from NumPy's capsule at first use, and plain
// float arrays copied into the classes' sequence fields in one pass.
//
// A sequence field (SignalInput.data, FaceInput.coordinates, SessionInput.timestamp, ...) takes
// any sequence item by item, and an ndarray gives each item as a new NumPy scalar, which costs far
// more than the copy itself. An exact numpy.ndarray (a subclass may override iteration) of float32
// or float64 in native byte order, aligned and C-contiguous, with one dimension (two, one row per
// item, for a sequence of sequences) is read directly instead: each value is widened to double
// and then narrowed to the field's type, the conversion the item-by-item path makes. The check
// and the copy run no Python code, so nothing can change the array in between.
#pragma once

#include "python/object_ref.h"

#include <cstddef>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

namespace quorvanta::python {

// Loads NumPy's array interface once; throws when NumPy cannot be imported.
void load_numpy_api();

template <class T>
inline constexpr bool kReadFromArrays =
    std::is_same_v<T, float> || std::is_same_v<T, double> || std::is_same_v<T, std::vector<float>>;

// The items of `object` as T when it is an array that can be read directly; nothing otherwise.
template <class T>
requires kReadFromArrays<T> std::optional<std::vector<T>> items_from_array(PyObject* object);

// A new NumPy array (float32 for float, float64 for double) holding a copy of `values`: one
// dimension, or rows of `width` values when width is above 1.
template <class T>
requires(std::is_same_v<T, float> || std::is_same_v<T, double>) ObjectRef
    new_array(std::span<const T> values, std::size_t width = 1);

}  // namespace quorvanta::python
