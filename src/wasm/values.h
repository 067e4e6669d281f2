// SPDX-License-Identifier: Apache-2.0
// Conversions between JavaScript values and the native field types, both ways, driven by the
// records' field lists: a record is a plain object whose keys are its fields' names in camelCase.
//
// From JavaScript: numbers take a `number` (unsigned fields an integer in their range); strings a
// `string`; sequences of f32 a Float32Array or an array of numbers, of f64 a Float64Array or an
// array of numbers; lists of strings an array of strings; maps a plain object; optionals also
// `null` or `undefined`; the two enums their variant's name. Anything else throws ArgumentError
// naming the path of the value ("config.fpsTarget", "input.signals.ppg_waveform.data").
// To JavaScript: numbers, strings, Float32Array and Float64Array copies, arrays, plain objects,
// `null` for an absent optional.
#pragma once

#include <emscripten/val.h>

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <utility>
#include <vector>

#include "types/fields.h"

namespace quorvanta::wasm {

using emscripten::val;

// A value that does not fit what its parameter takes: a TypeError (the wrong kind of value) or a
// RangeError (the right kind, out of range or not one of the names allowed) in JavaScript.
class ArgumentError : public std::runtime_error {
public:
    enum class Kind { Type, Range };
    ArgumentError(Kind kind, const std::string& message)
        : std::runtime_error(message), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// "fps_target" -> "fpsTarget".
std::string camel_case(std::string_view snake_case);

namespace detail {

// Throws TypeError "{path} must be {expected}, not {what value is}".
[[noreturn]] void refuse(const std::string& path, std::string_view expected, const val& value);
[[noreturn]] void refuse(const std::string& path, std::string_view expected, std::string_view what);
// The `length` of an array, read once: an integer that an array may have, and no more items of
// `item_bytes` each than the module's memory could ever hold.
std::size_t array_length(const val& array, const std::string& path, std::size_t item_bytes);
bool is_absent(const val& value);
bool is_boolean(const val& value);
// An object that is neither null nor an array.
bool is_object(const val& value);
// An array (Array.isArray, which no prototype fakes and which knows arrays of other realms).
bool is_array(const val& value);
std::string field_path(const std::string& path, std::string_view field);
std::vector<float> float32s(const val& value, const std::string& path);
std::vector<double> float64s(const val& value, const std::string& path);
val float32_array(const std::vector<float>& values);
val float64_array(const std::vector<double>& values);
std::uint64_t unsigned_integer(const val& value, const std::string& path, double max);

}  // namespace detail

template <class T>
struct Js;

template <>
struct Js<float> {
    static float from(const val& value, const std::string& path) {
        if (!value.isNumber()) detail::refuse(path, "a number", value);
        return static_cast<float>(value.as<double>());
    }
    static val to(float value) { return val(static_cast<double>(value)); }
};

template <>
struct Js<double> {
    static double from(const val& value, const std::string& path) {
        if (!value.isNumber()) detail::refuse(path, "a number", value);
        return value.as<double>();
    }
    static val to(double value) { return val(value); }
};

template <>
struct Js<std::uint32_t> {
    static std::uint32_t from(const val& value, const std::string& path) {
        return static_cast<std::uint32_t>(detail::unsigned_integer(value, path, 4294967295.0));
    }
    static val to(std::uint32_t value) { return val(static_cast<double>(value)); }
};

// Above 2^53 - 1 a JavaScript number no longer holds every integer.
template <>
struct Js<std::uint64_t> {
    static std::uint64_t from(const val& value, const std::string& path) {
        return detail::unsigned_integer(value, path, 9007199254740991.0);
    }
    static val to(std::uint64_t value) { return val(static_cast<double>(value)); }
};

template <>
struct Js<bool> {
    static bool from(const val& value, const std::string& path) {
        if (!detail::is_boolean(value)) detail::refuse(path, "a boolean", value);
        return value.as<bool>();
    }
    static val to(bool value) { return val(value); }
};

template <>
struct Js<std::string> {
    static std::string from(const val& value, const std::string& path) {
        if (!value.isString()) detail::refuse(path, "a string", value);
        return value.as<std::string>();
    }
    static val to(const std::string& value) { return val(value); }
};

template <>
struct Js<std::vector<float>> {
    static std::vector<float> from(const val& value, const std::string& path) {
        return detail::float32s(value, path);
    }
    static val to(const std::vector<float>& values) { return detail::float32_array(values); }
};

template <>
struct Js<std::vector<double>> {
    static std::vector<double> from(const val& value, const std::string& path) {
        return detail::float64s(value, path);
    }
    static val to(const std::vector<double>& values) { return detail::float64_array(values); }
};

// Arrays of anything else: arrays in both directions, item by item.
template <class T>
struct Js<std::vector<T>> {
    static std::vector<T> from(const val& value, const std::string& path) {
        if (!detail::is_array(value)) detail::refuse(path, "an array", value);
        const std::size_t length = detail::array_length(value, path, sizeof(T));
        // The items are read one by one, so the vector grows as they come rather than taking
        // memory for a `length` that a Proxy or an array of holes may not live up to.
        std::vector<T> items;
        for (std::size_t i = 0; i < length; ++i)
            items.push_back(Js<T>::from(value[i], path + "[" + std::to_string(i) + "]"));
        return items;
    }
    static val to(const std::vector<T>& items) {
        val array = val::array();
        for (const T& item : items)
            array.call<void>("push", Js<T>::to(item));
        return array;
    }
};

template <class T>
struct Js<std::optional<T>> {
    static std::optional<T> from(const val& value, const std::string& path) {
        if (detail::is_absent(value)) return std::nullopt;
        return Js<T>::from(value, path);
    }
    static val to(const std::optional<T>& value) { return value ? Js<T>::to(*value) : val::null(); }
};

template <class V>
struct Js<std::unordered_map<std::string, V>> {
    using Map = std::unordered_map<std::string, V>;
    static Map from(const val& value, const std::string& path) {
        if (!detail::is_object(value)) detail::refuse(path, "an object", value);
        static const val object_class = val::global("Object");
        const val keys = object_class.call<val>("keys", value);
        const auto length = keys["length"].as<std::size_t>();
        Map entries;
        for (std::size_t i = 0; i < length; ++i) {
            const auto key = keys[i].as<std::string>();
            entries.insert_or_assign(key, Js<V>::from(value[key], detail::field_path(path, key)));
        }
        return entries;
    }
    static val to(const Map& entries) {
        val object = val::object();
        for (const auto& [key, value] : entries)
            object.set(key, Js<V>::to(value));
        return object;
    }
};

namespace detail {
// "\"Create\", \"KeepAlive\" or \"Ignore\"": the names an enum's value may be.
std::string quoted_alternatives(std::span<const std::string_view> names);
}  // namespace detail

// The enums without data, as the names of their variants.
template <PlainEnum E>
struct Js<E> {
    static E from(const val& value, const std::string& path) {
        const std::string name = Js<std::string>::from(value, path);
        const auto& names = Variants<E>::kVariants;
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == name) return static_cast<E>(i);
        }
        throw ArgumentError(
            ArgumentError::Kind::Range,
            path + " must be " + detail::quoted_alternatives(names) + ", not \"" + name + "\"");
    }
    static val to(E value) {
        return val(std::string(Variants<E>::kVariants[static_cast<std::size_t>(value)]));
    }
};

namespace detail {

// Each field's name in camelCase, made once per record, as text and as a JavaScript string.
template <Record T>
const std::string& js_field_name(std::size_t index) {
    static const auto names = [] {
        std::array<std::string, Fields<T>::kFieldCount> result;
        for (std::size_t i = 0; i < result.size(); ++i)
            result[i] = camel_case(Fields<T>::kNames[i]);
        return result;
    }();
    return names[index];
}

template <Record T>
const val& js_field_key(std::size_t index) {
    static const auto keys = [] {
        std::vector<val> result;
        for (std::size_t i = 0; i < Fields<T>::kFieldCount; ++i)
            result.emplace_back(js_field_name<T>(i));
        return result;
    }();
    return keys[index];
}

}  // namespace detail

// Records: plain objects with one key per field.
template <Record T>
struct Js<T> {
    static T from(const val& value, const std::string& path) {
        if (!detail::is_object(value)) detail::refuse(path, "an object", value);
        T record{};
        read_fields(value, path, record, std::make_index_sequence<Fields<T>::kFieldCount>{});
        return record;
    }

    static val to(const T& record) {
        val object = val::object();
        write_fields(record, object, std::make_index_sequence<Fields<T>::kFieldCount>{});
        return object;
    }

private:
    template <std::size_t... I>
    static void read_fields(const val& value, const std::string& path, T& record,
                            std::index_sequence<I...>) {
        (read_field<I>(value, path, record), ...);
    }

    template <std::size_t I>
    static void read_field(const val& value, const std::string& path, T& record) {
        using Field = FieldTypeAt<T, I>;
        record.*kMember<T, I> =
            Js<Field>::from(value[detail::js_field_key<T>(I)],
                            detail::field_path(path, detail::js_field_name<T>(I)));
    }

    template <std::size_t... I>
    static void write_fields(const T& record, val& object, std::index_sequence<I...>) {
        (object.set(detail::js_field_key<T>(I), Js<FieldTypeAt<T, I>>::to(record.*kMember<T, I>)),
         ...);
    }
};

// The value of a named argument or of a path within one.
template <class T>
T argument(const val& value, const std::string& path) {
    return Js<T>::from(value, path);
}

}  // namespace quorvanta::wasm
