// Signal arrays: one-dimensional float32 NumPy arrays read in place for the duration of a call.
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

    // The samples, read in place; an unaligned array is first copied, since reading floats
    // through a misaligned pointer is undefined.
    std::span<const float> samples();

private:
    ObjectRef array_;
    std::vector<float> aligned_copy_;
};

}  // namespace quorvanta::python
