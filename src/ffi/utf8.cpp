// SPDX-License-Identifier: Apache-2.0
// Strict UTF-8 validation with an eight-bytes-at-a-time fast path over ASCII runs.
#include "ffi/utf8.h"

#include <cstring>

namespace quorvanta::ffi {
namespace {

struct ByteRange {
    std::uint8_t low;
    std::uint8_t high;
    constexpr bool contains(std::uint8_t byte) const { return low <= byte && byte <= high; }
};

constexpr ByteRange kContinuation{0x80, 0xBF};

// Bytes in the sequence that `lead` starts, or 0 when it cannot start one (continuation bytes,
// the overlong leads C0 and C1, and F5 to FF, which would encode beyond U+10FFFF).
constexpr std::size_t sequence_width(std::uint8_t lead) {
    if (lead < 0x80) return 1;
    if (lead < 0xC2) return 0;
    if (lead < 0xE0) return 2;
    if (lead < 0xF0) return 3;
    if (lead < 0xF5) return 4;
    return 0;
}

// The second byte is narrowed after four leads: to exclude overlong forms (E0, F0), the
// surrogates (ED) and code points beyond U+10FFFF (F4).
constexpr ByteRange second_byte_range(std::uint8_t lead) {
    switch (lead) {
        case 0xE0:
            return {0xA0, 0xBF};
        case 0xED:
            return {0x80, 0x9F};
        case 0xF0:
            return {0x90, 0xBF};
        case 0xF4:
            return {0x80, 0x8F};
        default:
            return kContinuation;
    }
}

struct SequenceCheck {
    bool valid = false;
    // Valid: the sequence's width. Invalid: the error length, absent when the input ended first.
    std::optional<std::size_t> length;
};

// Checks the sequence at the start of the non-empty `rest`.
SequenceCheck check_sequence(std::span<const std::uint8_t> rest) noexcept {
    const std::uint8_t lead = rest[0];
    const std::size_t width = sequence_width(lead);
    if (width == 0) return {false, 1};
    for (std::size_t i = 1; i < width; ++i) {
        if (i == rest.size()) return {false, std::nullopt};
        const ByteRange allowed = i == 1 ? second_byte_range(lead) : kContinuation;
        if (!allowed.contains(rest[i])) return {false, i};
    }
    return {true, width};
}

// Index of the first non-ASCII byte at or after `index`, or the size when there is none.
std::size_t skip_ascii(std::span<const std::uint8_t> bytes, std::size_t index) noexcept {
    constexpr std::uint64_t kHighBits = 0x8080808080808080;
    while (bytes.size() - index >= sizeof(std::uint64_t)) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + index, sizeof word);
        if ((word & kHighBits) != 0) break;
        index += sizeof word;
    }
    while (index < bytes.size() && bytes[index] < 0x80)
        ++index;
    return index;
}

}  // namespace

std::string Utf8Error::message() const {
    const std::string from = " from index " + std::to_string(valid_up_to);
    if (!error_len) return "incomplete utf-8 byte sequence" + from;
    return "invalid utf-8 sequence of " + std::to_string(*error_len) + " bytes" + from;
}

std::optional<Utf8Error> find_utf8_error(std::span<const std::uint8_t> bytes) noexcept {
    std::size_t index = skip_ascii(bytes, 0);
    while (index < bytes.size()) {
        const SequenceCheck check = check_sequence(bytes.subspan(index));
        if (!check.valid) return Utf8Error{index, check.length};
        index = skip_ascii(bytes, index + *check.length);
    }
    return std::nullopt;
}

}  // namespace quorvanta::ffi
