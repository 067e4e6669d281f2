// SPDX-License-Identifier: Apache-2.0
#include "python/numpy_arrays.h"

#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#define PY_ARRAY_UNIQUE_SYMBOL quorvanta_numpy_api
#define NO_IMPORT_ARRAY
#include <numpy/arrayobject.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>
#include <string>

#include "python/errors.h"

// NumPy's function table, taken from its array API capsule at first use. The module reads only
// entries and object layouts that NumPy 1.x and 2.x share, so it loads under either.
extern "C" {
void** quorvanta_numpy_api = nullptr;
}

namespace quorvanta::python {
namespace {

// The pending Python exception's text, clearing it.
std::string take_error_text() {
    const ObjectRef text = PendingError::take().text();
    const char* utf8 = text ? PyUnicode_AsUTF8(text.get()) : nullptr;
    if (utf8 == nullptr) {
        PyErr_Clear();
        return "unknown error";
    }
    return utf8;
}

// NumPy 2 keeps the multiarray module under numpy._core; NumPy 1 under numpy.core.
ObjectRef import_multiarray() {
    ObjectRef module = ObjectRef::steal(PyImport_ImportModule("numpy._core.multiarray"));
    if (!module && PyErr_ExceptionMatches(PyExc_ImportError)) {
        PyErr_Clear();
        module = ObjectRef::steal(PyImport_ImportModule("numpy.core.multiarray"));
    }
    return module;
}

// An exact ndarray of `dimensions` that can be read directly, or null.
PyArrayObject* plain_float_array(PyObject* object, int dimensions) {
    // Until NumPy's interface is loaded, the type's name tells an exact ndarray from anything
    // else without importing NumPy for objects that are not arrays.
    if (quorvanta_numpy_api == nullptr) {
        if (std::strcmp(Py_TYPE(object)->tp_name, "numpy.ndarray") != 0) return nullptr;
        load_numpy_api();
    }
    if (!PyArray_CheckExact(object)) return nullptr;
    auto* array = reinterpret_cast<PyArrayObject*>(object);
    const int type = PyArray_DESCR(array)->type_num;
    const bool plain = PyArray_NDIM(array) == dimensions &&
                       (type == NPY_FLOAT || type == NPY_DOUBLE) && PyArray_ISNOTSWAPPED(array) &&
                       PyArray_ISALIGNED(array) && PyArray_IS_C_CONTIGUOUS(array);
    return plain ? array : nullptr;
}

template <class T, class Stored>
std::vector<T> converted(const Stored* values, std::size_t count) {
    std::vector<T> items(count);
    for (std::size_t i = 0; i < count; ++i)
        items[i] = static_cast<T>(static_cast<double>(values[i]));
    return items;
}

// `count` values of the array from index `first` on, as T.
template <class T>
std::vector<T> values_of(PyArrayObject* array, std::size_t first, std::size_t count) {
    if (PyArray_DESCR(array)->type_num == NPY_FLOAT)
        return converted<T>(static_cast<const float*>(PyArray_DATA(array)) + first, count);
    return converted<T>(static_cast<const double*>(PyArray_DATA(array)) + first, count);
}

}  // namespace

void load_numpy_api() {
    if (quorvanta_numpy_api != nullptr) return;
    const ObjectRef module = import_multiarray();
    const ObjectRef capsule =
        module ? ObjectRef::steal(PyObject_GetAttrString(module.get(), "_ARRAY_API")) : ObjectRef();
    void* table = capsule ? PyCapsule_GetPointer(capsule.get(), nullptr) : nullptr;
    if (table == nullptr) {
        throw std::runtime_error("Failed to access NumPy array API capsule: " + take_error_text());
    }
    quorvanta_numpy_api = static_cast<void**>(table);
}

template <class T>
requires kReadFromArrays<T> std::optional<std::vector<T>> items_from_array(PyObject* object) {
    constexpr bool rows = std::is_same_v<T, std::vector<float>>;
    PyArrayObject* array = plain_float_array(object, rows ? 2 : 1);
    if (array == nullptr) return std::nullopt;
    const auto count = static_cast<std::size_t>(PyArray_DIM(array, 0));
    if constexpr (rows) {
        const auto width = static_cast<std::size_t>(PyArray_DIM(array, 1));
        std::vector<T> items;
        items.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            items.push_back(values_of<float>(array, i * width, width));
        return items;
    } else {
        return values_of<T>(array, 0, count);
    }
}

template std::optional<std::vector<float>> items_from_array<float>(PyObject*);

template <class T>
requires(std::is_same_v<T, float> || std::is_same_v<T, double>) ObjectRef
    new_array(std::span<const T> values, std::size_t width) {
    load_numpy_api();
    const int dimensions = width > 1 ? 2 : 1;
    const std::array<npy_intp, 2> sizes{static_cast<npy_intp>(values.size() / width),
                                        static_cast<npy_intp>(width)};
    constexpr int type = std::is_same_v<T, float> ? NPY_FLOAT : NPY_DOUBLE;
    ObjectRef array =
        check(PyArray_SimpleNew(dimensions, const_cast<npy_intp*>(sizes.data()), type));
    std::copy(values.begin(), values.end(),
              static_cast<T*>(PyArray_DATA(reinterpret_cast<PyArrayObject*>(array.get()))));
    return array;
}

template ObjectRef new_array<float>(std::span<const float>, std::size_t);
template ObjectRef new_array<double>(std::span<const double>, std::size_t);
template std::optional<std::vector<double>> items_from_array<double>(PyObject*);
template std::optional<std::vector<std::vector<float>>> items_from_array<std::vector<float>>(
    PyObject*);

}  // namespace quorvanta::python
