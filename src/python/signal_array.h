// SPDX-License-Identifier: Apache-2.0
// Signal arrays: one-dimensional float32 NumPy arrays read in place for the duration of a call.
//
// The array is checked when its argument is taken, so that errors come in argument order, and
// checked again when its samples are read: converting a later argument can run Python code
// (__float__, __index__, a finalizer) that retypes, reshapes or reallocates the same array.
// NumPy lets such code do so even while a buffer of the array is exported, so only a check at the
// read itself is sound.
#pragma once

#include "python/object_ref.h"

#include <span>
#include <string_view>
#include <vector>

namespace quorvanta::python {

class SignalArray {
public:
    // Accepts an ndarray (or subclass) of one dimension whose dtype is equivalent to float32;
    // raises TypeError "argument '{name}': '{type}' object cannot be converted to
    // 'PyArray<T, D>'" otherwise. NumPy's array interface is loaded at the first call.
    SignalArray(std::string_view name, PyObject* object);

    // Raises TypeError "The given array is not contiguous" for a strided array.
    void require_contiguous() const;

    // The samples as the array holds them now, after checking again that it is a contiguous
    // one-dimensional float32 array (with the same errors as above). Call it after every
    // conversion of the call: no Python code may run while the span is in use. An unaligned
    // array is copied, since reading floats through a misaligned pointer is undefined.
    std::span<const float> samples();

private:
    void require_float32_vector() const;

    std::string_view name_;
    ObjectRef array_;
    std::vector<float> aligned_copy_;
};

}  // namespace quorvanta::python
