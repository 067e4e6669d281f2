// SPDX-License-Identifier: Apache-2.0
// Tests of the UTF-8 validator: agreement with a slow reference. Both messages are pinned by the
// lifting tests of the codec and of the exports.
#include "ffi/utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <optional>
#include <random>
#include <span>
#include <vector>

namespace quorvanta::ffi {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Reference from the bit layouts 0xxxxxxx, 110xxxxx 10xxxxxx, ... and the code points each width
// encodes: at each position, the bytes that begin the encoding of some scalar value.
std::optional<Utf8Error> reference(std::span<const std::uint8_t> s) {
    constexpr std::uint32_t kLow[] = {0, 0, 0x80, 0x800, 0x10000};
    constexpr std::uint32_t kHigh[] = {0, 0x7F, 0x7FF, 0xFFFF, 0x10FFFF};
    for (std::size_t i = 0; i < s.size();) {
        const auto ones = static_cast<std::size_t>(std::countl_one(s[i]));
        const std::size_t width = ones == 0 ? 1 : ones == 1 || ones > 4 ? 5 : ones;  // 5: no lead
        std::uint32_t bits = s[i] & (0xFF >> (ones + 1));
        std::size_t good = 0;
        for (std::size_t k = 1; k <= std::min(width, s.size() - i) && width < 5; ++k) {
            if (k > 1 && (s[i + k - 1] & 0xC0) != 0x80) break;
            if (k > 1) bits = bits << 6 | (s[i + k - 1] & 0x3F);
            const std::size_t rest = 6 * (width - k);
            const std::uint32_t low = std::max(bits << rest, kLow[width]);
            const std::uint32_t high = std::min((bits + 1) << rest, kHigh[width] + 1) - 1;
            if (low > high || (low >= 0xD800 && high <= 0xDFFF)) break;
            good = k;
        }
        if (good > 0 && good < width && i + good == s.size()) return Utf8Error{i, std::nullopt};
        if (good < width) return Utf8Error{i, std::max<std::size_t>(good, 1)};
        i += width;
    }
    return std::nullopt;
}

// Callers stop at the first disagreement: one fault would otherwise flood the log.
bool agrees(std::span<const std::uint8_t> bytes) {
    const auto actual = find_utf8_error(bytes), expected = reference(bytes);
    const auto text = [](const auto& error) { return error ? error->message() : "valid"; };
    EXPECT_TRUE(actual == expected)
        << testing::PrintToString(bytes) << ": " << text(actual) << ", expected " << text(expected);
    return actual == expected;
}

TEST(Utf8, AgreesWithReference) {
    const Bytes boundaries = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                              0xDF, 0xE0, 0xE1, 0xED, 0xEE, 0xEF, 0xF0, 0xF3, 0xF4, 0xF5, 0xFF};
    // Every pair of bytes, alone and followed by each boundary byte.
    for (std::uint32_t n = 0; n < boundaries.size() << 16; ++n) {
        const std::uint8_t three[] = {std::uint8_t(n >> 8), std::uint8_t(n), boundaries[n >> 16]};
        if (!agrees(three) || !agrees(std::span(three).first(2))) return;
    }
    // Four-byte sequences of boundary bytes, behind ASCII runs that end mid-word or on a word.
    std::mt19937 random(7);
    for (int sample = 0; sample < 30000; ++sample) {
        Bytes text(random() % 20, 'a');
        for (int i = 0; i < 4; ++i)
            text.push_back(boundaries[random() % boundaries.size()]);
        text.resize(text.size() + random() % 12, 'z');
        if (!agrees(text)) return;
    }
}

}  // namespace
}  // namespace quorvanta::ffi
