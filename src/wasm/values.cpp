// SPDX-License-Identifier: Apache-2.0
#include "wasm/values.h"

#include <emscripten.h>

#include <cctype>
#include <cmath>
#include <type_traits>

// Type tests in one call into JavaScript each. (The bodies are JavaScript, which clang-format
// would break apart.)
// clang-format off
EM_JS(bool, quorvanta_is_number_array, (emscripten::EM_VAL handle), {
    const value = Emval.toValue(handle);
    return Array.isArray(value) && value.every((item) => typeof item === "number");
});

EM_JS(bool, quorvanta_is_object, (emscripten::EM_VAL handle), {
    const value = Emval.toValue(handle);
    return typeof value === "object" && value !== null && !Array.isArray(value);
});

EM_JS(bool, quorvanta_is_boolean, (emscripten::EM_VAL handle), {
    return typeof Emval.toValue(handle) === "boolean";
});

EM_JS(bool, quorvanta_is_instance, (emscripten::EM_VAL handle, emscripten::EM_VAL type), {
    return Emval.toValue(handle) instanceof Emval.toValue(type);
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

// The typed array class of T's values, looked up once.
template <class T>
const val& typed_array_class() {
    static const val type = val::global(std::is_same_v<T, float> ? "Float32Array" : "Float64Array");
    return type;
}

template <class T>
std::vector<T> numbers(const val& value, const std::string& path) {
    const val& type = typed_array_class<T>();
    if (!quorvanta_is_instance(value.as_handle(), type.as_handle()) &&
        !quorvanta_is_number_array(value.as_handle())) {
        refuse(path, "a " + type["name"].as<std::string>() + " or an array of numbers", value);
    }
    return emscripten::convertJSArrayToNumberVector<T>(value);
}

template <class T>
val typed_array(const std::vector<T>& values) {
    return typed_array_class<T>().new_(emscripten::typed_memory_view(values.size(), values.data()));
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
