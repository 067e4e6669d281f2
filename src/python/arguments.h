// SPDX-License-Identifier: Apache-2.0
// Argument parsing for every callable of the module, with CPython's own messages for a missing
// argument, an unexpected keyword, a second value for one argument and too many positionals. A
// callable's signature is written once: its parameters with their defaults, from which its arity,
// its text signature (what inspect.signature shows) and its binding follow.
#pragma once

#include "python/errors.h"
#include "python/object_ref.h"

#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>

namespace quorvanta::python {

struct Parameter {
    std::string_view name;
    std::string default_text;  // as Python shows the default; empty for a required parameter
};

inline Parameter required(std::string_view name) {
    return {name, {}};
}
// A parameter whose default is None, or the value that Python writes as `text`.
Parameter defaults_to_none(std::string_view name);
Parameter defaults_to_text(std::string_view name, std::string_view text);
// A float default as Python's repr writes the value (40.0, 0.45), a bool default as False or True.
Parameter defaults_to(std::string_view name, float value);
Parameter defaults_to(std::string_view name, bool value);

template <std::size_t N>
struct Signature {
    template <class... Parameters>
    explicit Signature(std::string_view name, Parameters... given)
        : callable(name), parameters{std::move(given)...} {}

    static constexpr std::size_t kArity = N;

    std::string_view
        callable;  // as messages name it: "find_peaks", "Rect.__new__", "Session.reset"
    std::array<Parameter, N> parameters;

    // The leading parameters without a default.
    std::size_t required() const {
        std::size_t count = 0;
        while (count < N && parameters[count].default_text.empty())
            ++count;
        return count;
    }
};
template <class... Parameters>
Signature(std::string_view, Parameters...) -> Signature<sizeof...(Parameters)>;

namespace detail {
// Fills `values` (one per parameter, null where an optional one was not passed) from a call's
// positional tuple and keyword dict; raises TypeError as CPython would.
void bind_arguments(std::string_view callable, std::span<const Parameter> parameters,
                    std::size_t required, PyObject* args, PyObject* kwargs,
                    std::span<ObjectRef> values);

// "(a, b=None)", or "($self, a, b=None)" for a method.
std::string parameter_list(std::span<const Parameter> parameters, bool method);
}  // namespace detail

template <std::size_t N>
std::array<ObjectRef, N> bind_arguments(const Signature<N>& signature, PyObject* args,
                                        PyObject* kwargs) {
    std::array<ObjectRef, N> values{};
    detail::bind_arguments(signature.callable, signature.parameters, signature.required(), args,
                           kwargs, values);
    return values;
}

// The documentation CPython reads the text signature from: "name(parameters)\n--\n\n", then the
// callable's own documentation, if any.
template <std::size_t N>
std::string text_signature(const Signature<N>& signature, std::string_view doc = {}) {
    const std::string_view callable = signature.callable;
    const bool method =
        callable.find('.') != std::string_view::npos && !callable.ends_with(".__new__");
    const std::string_view shown = callable.ends_with(".__new__")
                                       ? callable.substr(0, callable.find('.'))
                                       : callable.substr(callable.rfind('.') + 1);
    std::string text(shown);
    text.append(detail::parameter_list(signature.parameters, method)).append("\n--\n\n");
    return text.append(doc);
}

// A callable of the module: binds the arguments to `signature` and runs `body` with the module or
// instance the call came through.
template <auto& signature>
using Body = ObjectRef (*)(
    PyObject* self, std::array<ObjectRef, std::remove_cvref_t<decltype(signature)>::kArity>&);

template <auto& signature, Body<signature> body>
PyObject* entry(PyObject* self, PyObject* args, PyObject* kwargs) {
    return guarded<PyObject*>(nullptr, [&] {
        auto values = bind_arguments(signature, args, kwargs);
        return body(self, values).release();
    });
}

// The method table entry of such a callable, named after its signature and documented with its
// signature and `doc`.
template <auto& signature, Body<signature> body>
PyMethodDef method(std::string_view doc) {
    static const std::string text = text_signature(signature, doc);
    const std::string_view callable = signature.callable;
    return {callable.substr(callable.rfind('.') + 1).data(),
            reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&entry<signature, body>)),
            METH_VARARGS | METH_KEYWORDS, text.c_str()};
}

}  // namespace quorvanta::python
