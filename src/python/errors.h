// SPDX-License-Identifier: Apache-2.0
// Errors of the Python door. Inside the module, a raised Python exception travels as a C++
// PythonError (the exception itself stays in the interpreter's error indicator); every entry point
// runs inside `guarded`, which turns PythonError into a failed return and any C++ exception into
// the module's fault exception, so no C++ exception ever reaches the interpreter.
#pragma once

#include "python/object_ref.h"

#include <new>
#include <stdexcept>
#include <string>
#include <string_view>

namespace quorvanta::python {

// A Python exception is set in the error indicator.
struct PythonError {};

// Sets `type` with `message` and throws PythonError.
[[noreturn]] void raise(PyObject* type, const std::string& message);
// Throws PythonError when a Python call failed (an exception is already set).
ObjectRef check(PyObject* new_reference);
[[noreturn]] void rethrow_python_error();

// The name of the object's type without its module, as in Python's error messages.
std::string type_name(PyObject* object);

// TypeError "'{type}' object cannot be converted to '{target}'".
[[noreturn]] void raise_cannot_convert(PyObject* object, std::string_view target);

// Re-raises a pending TypeError as TypeError "argument '{argument}': {message}"; other exceptions
// are left as they are.
void prefix_type_error(std::string_view argument);

// Runs `convert()` and prefixes the argument's name to a TypeError it raises.
template <class Convert>
auto for_argument(std::string_view argument, Convert&& convert) -> decltype(convert()) {
    try {
        return convert();
    } catch (const PythonError&) {
        prefix_type_error(argument);
        throw;
    }
}

// The exception class of internal faults, derived directly from BaseException, created during
// module initialisation.
bool create_fault_type();

// The pending exception, taken out of the error indicator (which it leaves clear), normalised.
struct PendingError {
    ObjectRef type;
    ObjectRef value;
    ObjectRef traceback;

    static PendingError take();
    // str() of the exception, or an empty reference with the failure to make it pending.
    ObjectRef text() const;
};

// Sets the error indicator for a C++ exception caught at an entry point.
void set_error_from_current_exception() noexcept;

// Runs an entry point's body; on failure the Python error is set and `failure` returned.
template <class Result, class Body>
Result guarded(Result failure, Body&& body) noexcept {
    try {
        return body();
    } catch (...) {
        set_error_from_current_exception();
        return failure;
    }
}

}  // namespace quorvanta::python
