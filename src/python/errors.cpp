// SPDX-License-Identifier: Apache-2.0
#include "python/errors.h"

#include <cstring>

namespace quorvanta::python {
namespace {

PyObject* g_fault_type = nullptr;

void set_fault(const char* message) {
    if (g_fault_type != nullptr) {
        PyErr_SetString(g_fault_type, message);
    } else {
        PyErr_SetString(PyExc_SystemError, message);
    }
}

}  // namespace

void raise(PyObject* type, const std::string& message) {
    PyErr_SetString(type, message.c_str());
    throw PythonError{};
}

void rethrow_python_error() {
    if (PyErr_Occurred() == nullptr) {
        PyErr_SetString(PyExc_SystemError, "error return without exception set");
    }
    throw PythonError{};
}

ObjectRef check(PyObject* new_reference) {
    if (new_reference == nullptr) rethrow_python_error();
    return ObjectRef::steal(new_reference);
}

std::string type_name(PyObject* object) {
    const char* name = Py_TYPE(object)->tp_name;
    const char* last_dot = std::strrchr(name, '.');
    return last_dot != nullptr ? last_dot + 1 : name;
}

void raise_cannot_convert(PyObject* object, std::string_view target) {
    std::string message(1, '\'');
    message.append(type_name(object)).append("' object cannot be converted to '");
    message.append(target).push_back('\'');
    raise(PyExc_TypeError, message);
}

PendingError PendingError::take() {
    PyObject* type = nullptr;
    PyObject* value = nullptr;
    PyObject* traceback = nullptr;
    PyErr_Fetch(&type, &value, &traceback);
    PyErr_NormalizeException(&type, &value, &traceback);
    return {ObjectRef::steal(type), ObjectRef::steal(value), ObjectRef::steal(traceback)};
}

ObjectRef PendingError::text() const {
    return ObjectRef::steal(value ? PyObject_Str(value.get()) : nullptr);
}

void prefix_type_error(std::string_view argument) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
    const ObjectRef text = PendingError::take().text();
    if (!text) return;  // the failure to describe the error is now the pending error
    const std::string prefix = "argument '" + std::string(argument) + "': ";
    PyErr_Format(PyExc_TypeError, "%s%U", prefix.c_str(), text.get());
}

bool create_fault_type() {
    if (g_fault_type == nullptr) {
        g_fault_type = PyErr_NewExceptionWithDoc(
            "quorvanta_core.InternalFault",
            "An internal fault of the library: a broken invariant, not a usage error.",
            PyExc_BaseException, nullptr);
    }
    return g_fault_type != nullptr;
}

void set_error_from_current_exception() noexcept {
    try {
        throw;
    } catch (const PythonError&) {
        if (PyErr_Occurred() == nullptr) set_fault("Unknown panic!");
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& fault) {
        set_fault(fault.what());
    } catch (...) {
        set_fault("Unknown panic!");
    }
}

}  // namespace quorvanta::python
