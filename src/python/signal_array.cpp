// SPDX-License-Identifier: Apache-2.0
#include "python/signal_array.h"

#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL quorvanta_numpy_api
#define NO_IMPORT_ARRAY
#include <numpy/arrayobject.h>

#include <cstring>
#include <string>

#include "python/errors.h"
#include "python/numpy_arrays.h"

namespace quorvanta::python {
namespace {

// Reads only the array's and its descriptor's fields, allocating nothing, so that no Python code
// (a garbage collection, a finalizer) can run between the check and the read that relies on it.
// The descriptor fields used keep their offsets from NumPy 1.x to 2.x.
bool is_float32_vector(PyObject* object) {
    if (!PyArray_Check(object)) return false;
    auto* array = reinterpret_cast<PyArrayObject*>(object);
    return PyArray_NDIM(array) == 1 && PyArray_DESCR(array)->type_num == NPY_FLOAT &&
           PyArray_ISNOTSWAPPED(array);
}

PyArrayObject* as_array(const ObjectRef& object) {
    return reinterpret_cast<PyArrayObject*>(object.get());
}

}  // namespace

SignalArray::SignalArray(std::string_view name, PyObject* object)
    : name_(name), array_(ObjectRef::borrow(object)) {
    load_numpy_api();
    require_float32_vector();
}

void SignalArray::require_float32_vector() const {
    if (!is_float32_vector(array_.get())) {
        raise(PyExc_TypeError, "argument '" + std::string(name_) + "': '" +
                                   type_name(array_.get()) +
                                   "' object cannot be converted to 'PyArray<T, D>'");
    }
}

void SignalArray::require_contiguous() const {
    constexpr int kContiguous = NPY_ARRAY_C_CONTIGUOUS | NPY_ARRAY_F_CONTIGUOUS;
    if ((PyArray_FLAGS(as_array(array_)) & kContiguous) == 0) {
        raise(PyExc_TypeError, "The given array is not contiguous");
    }
}

std::span<const float> SignalArray::samples() {
    require_float32_vector();
    require_contiguous();
    PyArrayObject* array = as_array(array_);
    const auto count = static_cast<std::size_t>(PyArray_DIM(array, 0));
    const void* data = PyArray_DATA(array);
    if (count == 0) return {};
    if ((PyArray_FLAGS(array) & NPY_ARRAY_ALIGNED) != 0) {
        return {static_cast<const float*>(data), count};
    }
    aligned_copy_.resize(count);
    std::memcpy(aligned_copy_.data(), data, count * sizeof(float));
    return aligned_copy_;
}

}  // namespace quorvanta::python
