// SPDX-License-Identifier: Apache-2.0
// Argument parsing for every callable of the module, with CPython's own messages for a missing
// argument, an unexpected keyword, a second value for one argument and too many positionals.
#pragma once

#include "python/errors.h"
#include "python/object_ref.h"

#include <array>
#include <cstddef>
#include <span>
#include <string_view>

namespace quorvanta::python {

struct Signature {
    std::string_view callable;  // "estimate_heart_rate", "Rect.__new__", "Session.process"
    std::span<const std::string_view> parameters;
    std::size_t required;  // the leading parameters without a default
};

namespace detail {
// Fills `values` (one per parameter, null where an optional one was not passed) from a call's
// positional tuple and keyword dict; raises TypeError as CPython would.
void bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs,
                    std::span<ObjectRef> values);
}  // namespace detail

template <std::size_t N>
std::array<ObjectRef, N> bind_arguments(const Signature& signature, PyObject* args,
                                        PyObject* kwargs) {
    std::array<ObjectRef, N> values;
    detail::bind_arguments(signature, args, kwargs, values);
    return values;
}

// A callable of the module: binds the arguments to `signature` and runs `body` with the module or
// instance the call came through.
template <std::size_t N>
using Body = ObjectRef (*)(PyObject* self, std::array<ObjectRef, N>& arguments);

template <const Signature& signature, std::size_t N, Body<N> body>
PyObject* entry(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guarded<PyObject*>(nullptr, [&] {
        auto values = bind_arguments<N>(signature, args, kwargs);
        return body(self, values).release();
    });
}

// The method table entry of such a callable, named after its signature.
template <const Signature& signature, std::size_t N, Body<N> body>
PyMethodDef method(const char* doc) {
    return {signature.callable.substr(signature.callable.rfind('.') + 1).data(),
            reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&entry<signature, N, body>)),
            METH_VARARGS | METH_KEYWORDS, doc};
}

}  // namespace quorvanta::python
