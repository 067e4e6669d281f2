// SPDX-License-Identifier: Apache-2.0
#include "python/arguments.h"

#include <algorithm>
#include <string>
#include <vector>

#include "python/conversions.h"
#include "python/errors.h"

namespace quorvanta::python::detail {
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

std::string prefix(const Signature& signature) {
    return std::string(signature.callable) + "() ";
}

[[noreturn]] void raise_too_many_positional(const Signature& signature, std::size_t given) {
    const std::size_t accepted = signature.parameters.size();
    std::string takes;
    if (signature.required != accepted) {
        takes = "from " + std::to_string(signature.required) + " to " + std::to_string(accepted) +
                " positional arguments";
    } else {
        takes = std::to_string(accepted) +
                (accepted == 1 ? " positional argument" : " positional arguments");
    }
    raise(PyExc_TypeError, prefix(signature) + "takes " + takes + " but " + std::to_string(given) +
                               (given == 1 ? " was given" : " were given"));
}

// Formatted from the keyword itself, which may hold a lone surrogate that names no parameter.
[[noreturn]] void raise_unexpected_keyword(const Signature& signature, PyObject* keyword) {
    PyErr_Format(PyExc_TypeError, "%sgot an unexpected keyword argument '%U'",
                 prefix(signature).c_str(), keyword);
    throw PythonError{};
}

void bind_keyword(const Signature& signature, PyObject* keyword, PyObject* value,
                  std::span<ObjectRef> values) {
    if (!PyUnicode_Check(keyword))
        raise(PyExc_TypeError, prefix(signature) + "keywords must be strings");
    const auto name = name_of(keyword);
    const auto found = std::find(signature.parameters.begin(), signature.parameters.end(), name);
    if (found == signature.parameters.end()) raise_unexpected_keyword(signature, keyword);
    ObjectRef& slot = values[static_cast<std::size_t>(found - signature.parameters.begin())];
    if (slot)
        raise(PyExc_TypeError,
              prefix(signature) + "got multiple values for argument " + quoted(*name));
    slot = ObjectRef::borrow(value);
}

}  // namespace

void bind_arguments(const Signature& signature, PyObject* args, PyObject* kwargs,
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
            bind_keyword(signature, keyword, value, values);
        }
    }
    if (given > values.size()) raise_too_many_positional(signature, given);
    std::vector<std::string_view> missing;
    for (std::size_t i = 0; i < signature.required; ++i) {
        if (!values[i]) missing.push_back(signature.parameters[i]);
    }
    if (!missing.empty()) {
        raise(PyExc_TypeError, prefix(signature) + "missing " + std::to_string(missing.size()) +
                                   " required positional argument" +
                                   (missing.size() == 1 ? ": " : "s: ") + name_list(missing));
    }
}

}  // namespace quorvanta::python::detail
