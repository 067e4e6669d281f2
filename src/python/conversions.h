// SPDX-License-Identifier: Apache-2.0
// Conversions between Python values and the native field types, both ways.
//
// From Python: f32/f64 take whatever PyFloat_AsDouble takes (f32 then rounds to single
// precision); u32 takes an integer in 0..4294967295, u64 any non-negative integer below 2^64;
// strings take str; sequences take any non-str sequence, item by item (plain float NumPy arrays
// in one pass, numpy_arrays.h); maps take a dict of str
// to instances of the value's class; optionals take None; records take an instance of their
// class, copied. Failures raise the exceptions Python users know (TypeError, OverflowError).
// To Python: float, int, str, new lists and dicts, None, and new instances holding copies.
#pragma once

#include "python/errors.h"
#include "python/instances.h"
#include "python/numpy_arrays.h"
#include "python/object_ref.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "types/fields.h"

namespace quorvanta::python {

template <class T>
struct Convert;

template <>
struct Convert<double> {
    static double from(PyObject* object);
    static ObjectRef to(double value) { return check(PyFloat_FromDouble(value)); }
};

template <>
struct Convert<float> {
    static float from(PyObject* object) {
        return static_cast<float>(Convert<double>::from(object));
    }
    static ObjectRef to(float value) { return Convert<double>::to(value); }
};

template <>
struct Convert<std::uint32_t> {
    static std::uint32_t from(PyObject* object);
    static ObjectRef to(std::uint32_t value) { return check(PyLong_FromUnsignedLong(value)); }
};

template <>
struct Convert<std::uint64_t> {
    static std::uint64_t from(PyObject* object);
    static ObjectRef to(std::uint64_t value) { return check(PyLong_FromUnsignedLongLong(value)); }
};

template <>
struct Convert<std::string> {
    static std::string from(PyObject* object);
    static ObjectRef to(const std::string& value);
};

namespace detail {

// Raises unless `object` is a sequence other than str; returns its size, or 0 when unknown.
std::size_t check_sequence(PyObject* object);
// Iterates `object`; fetches the next item, or returns an empty reference at the end.
ObjectRef next_item(PyObject* iterator);

}  // namespace detail

template <class T>
struct Convert<std::vector<T>> {
    static std::vector<T> from(PyObject* object) {
        if constexpr (kReadFromArrays<T>) {
            if (auto items = items_from_array<T>(object)) return std::move(*items);
        }
        std::vector<T> values;
        values.reserve(detail::check_sequence(object));
        const ObjectRef iterator = check(PyObject_GetIter(object));
        while (const ObjectRef item = detail::next_item(iterator.get())) {
            values.push_back(Convert<T>::from(item.get()));
        }
        return values;
    }

    static ObjectRef to(const std::vector<T>& values) {
        ObjectRef list = check(PyList_New(static_cast<Py_ssize_t>(values.size())));
        for (std::size_t i = 0; i < values.size(); ++i) {
            PyList_SET_ITEM(list.get(), static_cast<Py_ssize_t>(i),
                            Convert<T>::to(values[i]).release());
        }
        return list;
    }
};

template <class T>
struct Convert<std::optional<T>> {
    static std::optional<T> from(PyObject* object) {
        if (object == Py_None) return std::nullopt;
        return Convert<T>::from(object);
    }

    static ObjectRef to(const std::optional<T>& value) {
        if (!value) return ObjectRef::borrow(Py_None);
        return Convert<T>::to(*value);
    }
};

// Records and enum classes: an instance of the class (or a subclass), copied.
template <class T>
requires(NamedRecord<T> || PlainEnum<T>) struct Convert<T> {
    static T from(PyObject* object) {
        if (!PyObject_TypeCheck(object, g_class<T>)) {
            raise_cannot_convert(object, class_name<T>());
        }
        return value_of<T>(object);
    }

    static ObjectRef to(const T& value) { return new_instance(value); }
};

template <class V>
struct Convert<std::unordered_map<std::string, V>> {
    using Map = std::unordered_map<std::string, V>;

    static Map from(PyObject* object) {
        if (!PyDict_Check(object)) raise_cannot_convert(object, "PyDict");
        Map entries;
        entries.reserve(static_cast<std::size_t>(PyDict_GET_SIZE(object)));
        Py_ssize_t position = 0;
        PyObject* key = nullptr;
        PyObject* value = nullptr;
        // Converting keys and copying values runs no Python code, so the dict cannot change.
        while (PyDict_Next(object, &position, &key, &value)) {
            entries.insert_or_assign(Convert<std::string>::from(key), Convert<V>::from(value));
        }
        return entries;
    }

    static ObjectRef to(const Map& entries) {
        ObjectRef dict = check(PyDict_New());
        for (const auto& [key, value] : entries) {
            const ObjectRef python_key = Convert<std::string>::to(key);
            const ObjectRef python_value = Convert<V>::to(value);
            if (PyDict_SetItem(dict.get(), python_key.get(), python_value.get()) != 0) {
                rethrow_python_error();
            }
        }
        return dict;
    }
};

// bool from a Python bool or a NumPy boolean scalar; anything else raises TypeError.
bool bool_from(PyObject* object);

// The UTF-8 text of a str that names something (a vital, a metric, a mode, a keyword), or nothing
// when it is not a str or holds a lone surrogate, which UTF-8 cannot encode and so names nothing.
// Stored strings (fields, dict keys) raise UnicodeEncodeError instead, since they cannot be kept.
std::optional<std::string_view> name_of(PyObject* object);

// Raises TypeError "argument '{argument}': '{type}' object cannot be converted to 'PyString'"
// unless `object` is a str.
void require_str(std::string_view argument, PyObject* object);

// Values given to a named argument or attribute: TypeErrors get the name as a prefix.
template <class T>
T argument(std::string_view name, PyObject* object) {
    return for_argument(name, [&] { return Convert<T>::from(object); });
}

// A flag argument, `fallback` when it was left out.
bool bool_argument(std::string_view name, const ObjectRef& value, bool fallback);

}  // namespace quorvanta::python
