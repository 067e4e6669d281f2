// SPDX-License-Identifier: Apache-2.0
#include "python/arguments.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <string>
#include <vector>

#include "python/conversions.h"
#include "python/errors.h"

namespace quorvanta::python {
namespace {

std::string quoted(std::string_view name) {
    std::string text(1, '\'');
    text.append(name).push_back('\'');
    return text;
}

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'
std::string name_list(const std::vector<std::string_view>& names) {
    if (names.size() == 1) return quoted(names[0]);
    if (names.size() == 2) return quoted(names[0]) + " and " + quoted(names[1]);
    std::string list;
    for (std::size_t i = 0; i + 1 < names.size(); ++i)
        list += quoted(names[i]) + ", ";
    return list + "and " + quoted(names.back());
}

std::string prefix(std::string_view callable) {
    return std::string(callable) + "() ";
}

[[noreturn]] void raise_too_many_positional(std::string_view callable, std::size_t accepted,
                                            std::size_t required, std::size_t given) {
    std::string takes;
    if (required != accepted) {
        takes = "from " + std::to_string(required) + " to " + std::to_string(accepted) +
                " positional arguments";
    } else {
        takes = std::to_string(accepted) +
                (accepted == 1 ? " positional argument" : " positional arguments");
    }
    raise(PyExc_TypeError, prefix(callable) + "takes " + takes + " but " + std::to_string(given) +
                               (given == 1 ? " was given" : " were given"));
}

// Formatted from the keyword itself, which may hold a lone surrogate that names no parameter.
[[noreturn]] void raise_unexpected_keyword(std::string_view callable, PyObject* keyword) {
    PyErr_Format(PyExc_TypeError, "%sgot an unexpected keyword argument '%U'",
                 prefix(callable).c_str(), keyword);
    throw PythonError{};
}

void bind_keyword(std::string_view callable, std::span<const Parameter> parameters,
                  PyObject* keyword, PyObject* value, std::span<ObjectRef> values) {
    if (!PyUnicode_Check(keyword))
        raise(PyExc_TypeError, prefix(callable) + "keywords must be strings");
    const auto name = name_of(keyword);
    const auto found = std::find_if(parameters.begin(), parameters.end(),
                                    [&](const Parameter& p) { return p.name == name; });
    if (found == parameters.end()) raise_unexpected_keyword(callable, keyword);
    ObjectRef& slot = values[static_cast<std::size_t>(found - parameters.begin())];
    if (slot)
        raise(PyExc_TypeError,
              prefix(callable) + "got multiple values for argument " + quoted(*name));
    slot = ObjectRef::borrow(value);
}

// How Python writes a float: the shortest decimal that reads back as the value, with ".0" when
// it has no point or exponent.
std::string python_float(float value) {
    std::array<char, 32> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value);
    std::string text(buffer.data(), result.ptr);
    if (text.find_first_of(".en") == std::string::npos) text += ".0";
    return text;
}

}  // namespace

Parameter defaults_to_none(std::string_view name) {
    return {name, "None"};
}

Parameter defaults_to_text(std::string_view name, std::string_view text) {
    return {name, std::string(text)};
}

Parameter defaults_to(std::string_view name, float value) {
    return {name, python_float(value)};
}

Parameter defaults_to(std::string_view name, bool value) {
    return {name, value ? "True" : "False"};
}

namespace detail {

void bind_arguments(std::string_view callable, std::span<const Parameter> parameters,
                    std::size_t required, PyObject* args, PyObject* kwargs,
                    std::span<ObjectRef> values) {
    const auto given = static_cast<std::size_t>(PyTuple_GET_SIZE(args));
    const std::size_t positional = std::min(given, values.size());
    for (std::size_t i = 0; i < positional; ++i) {
        values[i] = ObjectRef::borrow(PyTuple_GET_ITEM(args, static_cast<Py_ssize_t>(i)));
    }
    if (kwargs != nullptr) {
        Py_ssize_t position = 0;
        PyObject* keyword = nullptr;
        PyObject* value = nullptr;
        while (PyDict_Next(kwargs, &position, &keyword, &value)) {
            bind_keyword(callable, parameters, keyword, value, values);
        }
    }
    if (given > values.size()) {
        raise_too_many_positional(callable, parameters.size(), required, given);
    }
    std::vector<std::string_view> missing;
    for (std::size_t i = 0; i < required; ++i) {
        if (!values[i]) missing.push_back(parameters[i].name);
    }
    if (!missing.empty()) {
        raise(PyExc_TypeError, prefix(callable) + "missing " + std::to_string(missing.size()) +
                                   " required positional argument" +
                                   (missing.size() == 1 ? ": " : "s: ") + name_list(missing));
    }
}

std::string parameter_list(std::span<const Parameter> parameters, bool method) {
    std::string text = method ? "($self" : "(";
    for (const Parameter& parameter : parameters) {
        if (text.size() > 1) text += ", ";
        text.append(parameter.name);
        if (!parameter.default_text.empty()) text.append("=").append(parameter.default_text);
    }
    return text + ")";
}

}  // namespace detail
}  // namespace quorvanta::python
