// SPDX-License-Identifier: Apache-2.0
#include "wasm/values.h"

#include <emscripten.h>
#include <emscripten/heap.h>

#include <cctype>
#include <cmath>
#include <type_traits>

// Type tests, and the calls into the conversions' JavaScript half (values.js) that read sequences
// of numbers. (The bodies are JavaScript, which clang-format would break apart.)
// clang-format off
EM_JS(bool, quorvanta_is_object, (emscripten::EM_VAL handle), {
    const value = Emval.toValue(handle);
    return typeof value === "object" && value !== null && !quorvantaBuiltins.isArray(value);
});

EM_JS(bool, quorvanta_is_array, (emscripten::EM_VAL handle), {
    return quorvantaBuiltins.isArray(Emval.toValue(handle));
});

EM_JS(bool, quorvanta_is_boolean, (emscripten::EM_VAL handle), {
    return typeof Emval.toValue(handle) === "boolean";
});

EM_JS(double, quorvanta_typed_array_length, (emscripten::EM_VAL handle, bool doubles), {
    return quorvantaTypedArrayLength(Emval.toValue(handle), doubles);
});

EM_JS(emscripten::EM_VAL, quorvanta_number_snapshot, (emscripten::EM_VAL handle, double count, bool doubles), {
    return Emval.toHandle(quorvantaNumberSnapshot(Emval.toValue(handle), count, doubles));
});

EM_JS(void, quorvanta_copy_numbers, (emscripten::EM_VAL handle, void* target, double count, bool doubles), {
    quorvantaCopyNumbers(Emval.toValue(handle), target, count, doubles);
});

EM_JS(emscripten::EM_VAL, quorvanta_new_typed_array, (const void* source, int count, bool doubles), {
    const first = source >> (doubles ? 3 : 2);
    return Emval.toHandle((doubles ? HEAPF64 : HEAPF32).slice(first, first + count));
});

EM_JS(emscripten::EM_VAL, quorvanta_describe, (emscripten::EM_VAL handle), {
    return Emval.toHandle(quorvantaDescribe(Emval.toValue(handle)));
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

// A sequence of T (float or double), which the caller gives as a typed array of T's class or an
// array of numbers: sized by the value itself, read once, copied in without a view of the
// module's memory being held while the caller's code can run.
template <class T>
std::vector<T> numbers(const val& value, const std::string& path) {
    constexpr bool doubles = std::is_same_v<T, double>;
    constexpr std::string_view expected =
        doubles ? "a Float64Array or an array of numbers" : "a Float32Array or an array of numbers";
    constexpr double kNotTyped = -1;
    constexpr double kDetached = -2;
    const double typed_length = quorvanta_typed_array_length(value.as_handle(), doubles);
    val source = value;
    std::size_t count = 0;
    if (typed_length == kDetached) {
        refuse(path, expected,
               std::string("a detached ") + (doubles ? "Float64Array" : "Float32Array"));
    } else if (typed_length != kNotTyped) {
        count = static_cast<std::size_t>(typed_length);
    } else {
        if (!is_array(value)) refuse(path, expected, value);
        count = array_length(value, path, sizeof(T));
        source = val::take_ownership(
            quorvanta_number_snapshot(value.as_handle(), static_cast<double>(count), doubles));
        if (source.isNull()) refuse(path, expected, value);
    }
    std::vector<T> numbers(count);
    quorvanta_copy_numbers(source.as_handle(), numbers.data(), static_cast<double>(count), doubles);
    return numbers;
}

template <class T>
val typed_array(const std::vector<T>& values) {
    return val::take_ownership(quorvanta_new_typed_array(
        values.data(), static_cast<int>(values.size()), std::is_same_v<T, double>));
}

}  // namespace

void refuse(const std::string& path, std::string_view expected, std::string_view what) {
    throw ArgumentError(ArgumentError::Kind::Type,
                        path + " must be " + std::string(expected) + ", not " + std::string(what));
}

void refuse(const std::string& path, std::string_view expected, const val& value) {
    refuse(path, expected,
           val::take_ownership(quorvanta_describe(value.as_handle())).as<std::string>());
}

std::size_t array_length(const val& array, const std::string& path, std::size_t item_bytes) {
    constexpr double kMaxArrayLength = 4294967295.0;
    const std::uint64_t length =
        unsigned_integer(array["length"], path + ".length", kMaxArrayLength);
    if (length > emscripten_get_heap_max() / item_bytes) {
        throw ArgumentError(ArgumentError::Kind::Range,
                            path + " has " + std::to_string(length) +
                                " items, more than the module's memory holds");
    }
    return static_cast<std::size_t>(length);
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

bool is_array(const val& value) {
    return quorvanta_is_array(value.as_handle());
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
