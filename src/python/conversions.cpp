// SPDX-License-Identifier: Apache-2.0
#include "python/conversions.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace quorvanta::python {
namespace {

// Sizes taken from __len__ only size the first allocation; a lying __len__ must not make it huge.
constexpr std::size_t kMaxReservedItems = std::size_t{1} << 20;

}  // namespace

double Convert<double>::from(PyObject* object) {
    const double value = PyFloat_AsDouble(object);
    if (value == -1.0 && PyErr_Occurred() != nullptr) throw PythonError{};
    return value;
}

std::uint32_t Convert<std::uint32_t>::from(PyObject* object) {
    const long long value = PyLong_AsLongLong(object);
    if (value == -1 && PyErr_Occurred() != nullptr) throw PythonError{};
    if (value < 0 || value > std::numeric_limits<std::uint32_t>::max()) {
        raise(PyExc_OverflowError, "out of range integral type conversion attempted");
    }
    return static_cast<std::uint32_t>(value);
}

std::uint64_t Convert<std::uint64_t>::from(PyObject* object) {
    const ObjectRef integer = check(PyNumber_Index(object));
    const unsigned long long value = PyLong_AsUnsignedLongLong(integer.get());
    if (value == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) {
        throw PythonError{};
    }
    return value;
}

std::string Convert<std::string>::from(PyObject* object) {
    if (!PyUnicode_Check(object)) raise_cannot_convert(object, "PyString");
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
    if (utf8 == nullptr) throw PythonError{};
    return {utf8, static_cast<std::size_t>(size)};
}

ObjectRef Convert<std::string>::to(const std::string& value) {
    return check(PyUnicode_FromStringAndSize(value.data(), static_cast<Py_ssize_t>(value.size())));
}

namespace detail {

std::size_t check_sequence(PyObject* object) {
    if (PyUnicode_Check(object)) raise(PyExc_TypeError, "Can't extract `str` to `Vec`");
    if (PySequence_Check(object) == 0) raise_cannot_convert(object, "Sequence");
    const Py_ssize_t size = PySequence_Size(object);
    if (size < 0) {
        PyErr_Clear();
        return 0;
    }
    return std::min(static_cast<std::size_t>(size), kMaxReservedItems);
}

ObjectRef next_item(PyObject* iterator) {
    ObjectRef item = ObjectRef::steal(PyIter_Next(iterator));
    if (!item && PyErr_Occurred() != nullptr) throw PythonError{};
    return item;
}

}  // namespace detail

bool bool_from(PyObject* object) {
    if (PyBool_Check(object)) return object == Py_True;
    // NumPy's boolean scalar is numpy.bool_ (numpy.bool from NumPy 2 on); it cannot be subclassed.
    const char* name = Py_TYPE(object)->tp_name;
    if (std::strcmp(name, "numpy.bool_") == 0 || std::strcmp(name, "numpy.bool") == 0) {
        const int truth = PyObject_IsTrue(object);
        if (truth < 0) throw PythonError{};
        return truth != 0;
    }
    raise_cannot_convert(object, "PyBool");
}

bool bool_argument(std::string_view name, const ObjectRef& value, bool fallback) {
    return value ? for_argument(name, [&] { return bool_from(value.get()); }) : fallback;
}

std::optional<std::string_view> name_of(PyObject* object) {
    if (!PyUnicode_Check(object)) return std::nullopt;
    Py_ssize_t size = 0;
    const char* utf8 = PyUnicode_AsUTF8AndSize(object, &size);
    if (utf8 == nullptr) {
        PyErr_Clear();
        return std::nullopt;
    }
    return std::string_view(utf8, static_cast<std::size_t>(size));
}

void require_str(std::string_view argument, PyObject* object) {
    if (!PyUnicode_Check(object)) {
        for_argument(argument, [&] { raise_cannot_convert(object, "PyString"); });
    }
}

}  // namespace quorvanta::python
