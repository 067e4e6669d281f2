// SPDX-License-Identifier: Apache-2.0
// A move-only owner of one reference to a Python object.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <utility>

namespace quorvanta::python {

class ObjectRef {
public:
    ObjectRef() = default;
    // Takes over a new reference (which may be null).
    static ObjectRef steal(PyObject* object) { return ObjectRef(object); }
    // Adds a reference to a borrowed object.
    static ObjectRef borrow(PyObject* object) {
        Py_XINCREF(object);
        return ObjectRef(object);
    }

    ObjectRef(ObjectRef&& other) noexcept : object_(std::exchange(other.object_, nullptr)) {}
    ObjectRef& operator=(ObjectRef&& other) noexcept {
        std::swap(object_, other.object_);
        return *this;
    }
    ObjectRef(const ObjectRef&) = delete;
    ObjectRef& operator=(const ObjectRef&) = delete;
    ~ObjectRef() { Py_XDECREF(object_); }

    PyObject* get() const { return object_; }
    // Gives the reference to the caller, who then owns it.
    PyObject* release() { return std::exchange(object_, nullptr); }
    explicit operator bool() const { return object_ != nullptr; }

private:
    explicit ObjectRef(PyObject* object) : object_(object) {}

    PyObject* object_ = nullptr;
};

}  // namespace quorvanta::python
