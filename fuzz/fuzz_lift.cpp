// SPDX-License-Identifier: Apache-2.0
// Lifts one top-level argument type of the C interface from arbitrary bytes; the first byte picks
// the type (LiftedType). Lifting may refuse the bytes, but only with a DecodeError. What lifts
// must lower to a canonical encoding that is a fixed point: lifting and lowering it again gives
// the same bytes. Values without a map have exactly one encoding, so for them the input itself is
// that fixed point. ASan's leak checker covers every path.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ffi/codec.h"
#include "ffi/rust_buffer.h"
#include "hostile_values.h"
#include "lift_types.h"

namespace {

using namespace quorvanta;
using namespace quorvanta::ffi;
using Bytes = std::vector<std::uint8_t>;

Bytes take(RustBuffer buffer) {
    const std::span<const std::uint8_t> bytes = bytes_of(buffer);
    Bytes copy(bytes.begin(), bytes.end());
    release(buffer);
    return copy;
}

template <class T>
Bytes lower(const T& value) {
    return take(encode(value));
}

template <class T>
Bytes canonical(const T& value) {
    return lower(value);
}

// Map entries are lowered in the map's own iteration order, so the canonical form lists them by
// key. The fields are those of SessionInput, in wire order.
template <>
Bytes canonical(const SessionInput& value) {
    std::vector<const std::string*> keys;
    for (const auto& entry : value.signals)
        keys.push_back(&entry.first);
    std::sort(keys.begin(), keys.end(), [](auto a, auto b) { return *a < *b; });
    Writer writer;
    Codec<std::optional<FaceInput>>::write(writer, value.face);
    writer.write_length(keys.size());
    for (const std::string* key : keys) {
        Codec<std::string>::write(writer, *key);
        Codec<SignalInput>::write(writer, value.signals.at(*key));
    }
    Codec<std::vector<double>>::write(writer, value.timestamp);
    return take(std::move(writer).finish());
}

template <class T>
constexpr bool kHasMap = std::is_same_v<T, SessionInput>;

template <class T>
std::optional<T> try_lift(std::span<const std::uint8_t> bytes) {
    try {
        return decode<T>(bytes);
    } catch (const DecodeError&) {
        return std::nullopt;
    }
}

template <class T>
void check_fixed_point(std::span<const std::uint8_t> bytes) {
    const std::optional<T> value = try_lift<T>(bytes);
    if (!value) return;
    const Bytes lowered = lower(*value);
    const std::optional<T> again = try_lift<T>(lowered);
    fuzz::require(again.has_value(), "a lowered value lifts again");
    fuzz::require(canonical(*again) == canonical(*value), "lifting a lowered value keeps it");
    if constexpr (kHasMap<T>) {
        // A repeated key keeps only its later value, so the encoding can only shrink.
        fuzz::require(lowered.size() <= bytes.size(), "lowering never grows the input");
    } else {
        fuzz::require(std::equal(lowered.begin(), lowered.end(), bytes.begin(), bytes.end()),
                      "lowering gives back the lifted bytes");
    }
}

// A top-level string argument: the whole buffer as UTF-8 text, without a length prefix.
void check_text(std::span<const std::uint8_t> bytes) {
    try {
        const std::string text = decode_text(bytes);
        fuzz::require(std::equal(text.begin(), text.end(), bytes.begin(), bytes.end(),
                                 [](char c, std::uint8_t b) { return std::uint8_t(c) == b; }),
                      "text keeps its bytes");
    } catch (const DecodeError&) {
    }
}

void check(fuzz::LiftedType type, std::span<const std::uint8_t> bytes) {
    using enum fuzz::LiftedType;
    switch (type) {
        case SessionConfig:
            return check_fixed_point<quorvanta::SessionConfig>(bytes);
        case SessionInput:
            return check_fixed_point<quorvanta::SessionInput>(bytes);
        case WaveformMode:
            return check_fixed_point<quorvanta::WaveformMode>(bytes);
        case RoiMethod:
            return check_fixed_point<quorvanta::RoiMethod>(bytes);
        case FaceDetector:
            return check_fixed_point<quorvanta::FaceDetector>(bytes);
        case InferenceMode:
            return check_fixed_point<quorvanta::InferenceMode>(bytes);
        case Rect:
            return check_fixed_point<quorvanta::Rect>(bytes);
        case BufferConfig:
            return check_fixed_point<quorvanta::BufferConfig>(bytes);
        case BufferMetadataList:
            return check_fixed_point<std::vector<BufferMetadata>>(bytes);
        case String:
            return check_fixed_point<std::string>(bytes);
        case OptionalF32:
            return check_fixed_point<std::optional<float>>(bytes);
        case PulseMethod:
            return check_fixed_point<quorvanta::PulseMethod>(bytes);
        case F32List:
            return check_fixed_point<std::vector<float>>(bytes);
        case Text:
            return check_text(bytes);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const auto type = static_cast<fuzz::LiftedType>(data[0] % fuzz::kLiftedTypeCount);
    check(type, {data + 1, size - 1});
    return 0;
}
