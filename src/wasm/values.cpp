// SPDX-License-Identifier: Apache-2.0
#include "wasm/values.h"

#include <emscripten.h>

#include <cctype>
#include <cmath>
#include <type_traits>

// Type tests and copies in one call into JavaScript each. (The bodies are JavaScript, which
// clang-format would break apart.)
// clang-format off
EM_JS(bool, quorvanta_is_object, (emscripten::EM_VAL handle), {
    const value = Emval.toValue(handle);
    return typeof value === "object" && value !== null && !Array.isArray(value);
});

EM_JS(bool, quorvanta_is_boolean, (emscripten::EM_VAL handle), {
    return typeof Emval.toValue(handle) === "boolean";
});

// Sequences of numbers cross in one call each way: the length of a typed array of the given
// class (Float32Array when `doubles` is false, Float64Array when true) or of an array of numbers,
// -1 for anything else; a copy of it into the module's memory; a new typed array from the memory.
EM_JS(int, quorvanta_number_count, (emscripten::EM_VAL handle, bool doubles), {
    const value = Emval.toValue(handle);
    if (value instanceof (doubles ? Float64Array : Float32Array)) return value.length;
    const numbers = Array.isArray(value) && value.every((item) => typeof item === "number");
    return numbers ? value.length : -1;
});

EM_JS(void, quorvanta_copy_numbers, (emscripten::EM_VAL handle, void* target, bool doubles), {
    (doubles ? HEAPF64 : HEAPF32).set(Emval.toValue(handle), target >> (doubles ? 3 : 2));
});

EM_JS(emscripten::EM_VAL, quorvanta_new_typed_array, (const void* source, int count, bool doubles), {
    const first = source >> (doubles ? 3 : 2);
    return Emval.toHandle((doubles ? HEAPF64 : HEAPF32).slice(first, first + count));
});
// clang-format on

namespace quorvanta::wasm {

std::string camel_case(std::string_view snake_case) {
    std::string name;
    bool upper = false;
    for (const char c : snake_case) {
        if (c == '_') {
            upper = true;
            continue;
        }
        name.push_back(upper ? static_cast<char>(std::toupper(static_cast<unsigned char>(c))) : c);
        upper = false;
    }
    return name;
}

namespace detail {
namespace {

// "a string", "null", "an array", "Float64Array", "undefined" ...
std::string described(const val& value) {
    const auto type = value.typeOf().as<std::string>();
    if (type == "string") return "a string";
    if (type == "number") return "a number";
    if (type != "object") return type;
    if (value.isNull()) return "null";
    if (value.isArray()) return "an array";
    const val constructor = value["constructor"];
    return constructor.isUndefined() ? "an object" : constructor["name"].as<std::string>();
}

template <class T>
std::vector<T> numbers(const val& value, const std::string& path) {
    constexpr bool doubles = std::is_same_v<T, double>;
    const int count = quorvanta_number_count(value.as_handle(), doubles);
    if (count < 0) {
        refuse(path,
               doubles ? "a Float64Array or an array of numbers"
                       : "a Float32Array or an array of numbers",
               value);
    }
    std::vector<T> numbers(static_cast<std::size_t>(count));
    quorvanta_copy_numbers(value.as_handle(), numbers.data(), doubles);
    return numbers;
}

template <class T>
val typed_array(const std::vector<T>& values) {
    return val::take_ownership(quorvanta_new_typed_array(
        values.data(), static_cast<int>(values.size()), std::is_same_v<T, double>));
}

}  // namespace

void refuse(const std::string& path, std::string_view expected, const val& value) {
    throw ArgumentError(ArgumentError::Kind::Type,
                        path + " must be " + std::string(expected) + ", not " + described(value));
}

bool is_absent(const val& value) {
    return value.isNull() || value.isUndefined();
}

bool is_boolean(const val& value) {
    return quorvanta_is_boolean(value.as_handle());
}

bool is_object(const val& value) {
    return quorvanta_is_object(value.as_handle());
}

std::string quoted_alternatives(std::span<const std::string_view> names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) text += i + 1 == names.size() ? " or " : ", ";
        text.append("\"").append(names[i]).append("\"");
    }
    return text;
}

std::string field_path(const std::string& path, std::string_view field) {
    return path + "." + std::string(field);
}

std::vector<float> float32s(const val& value, const std::string& path) {
    return numbers<float>(value, path);
}

std::vector<double> float64s(const val& value, const std::string& path) {
    return numbers<double>(value, path);
}

val float32_array(const std::vector<float>& values) {
    return typed_array(values);
}

val float64_array(const std::vector<double>& values) {
    return typed_array(values);
}

std::uint64_t unsigned_integer(const val& value, const std::string& path, double max) {
    if (!value.isNumber()) refuse(path, "a number", value);
    const double number = value.as<double>();
    if (!(number >= 0 && number <= max && std::floor(number) == number)) {
        throw ArgumentError(ArgumentError::Kind::Range,
                            path + " must be an integer from 0 to " +
                                std::to_string(static_cast<std::uint64_t>(max)) + ", not " +
                                value.call<std::string>("toString"));
    }
    return static_cast<std::uint64_t>(number);
}

}  // namespace detail
}  // namespace quorvanta::wasm
