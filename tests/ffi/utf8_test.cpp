// Tests of the UTF-8 validator: characteristic cases, then agreement with a slow reference.
#include "ffi/utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <random>
#include <span>
#include <tuple>
#include <vector>

namespace quorvanta::ffi {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(Utf8, FindsTheFirstErrorAndItsLength) {
    const std::tuple<const char*, Bytes, std::optional<Utf8Error>> cases[] = {
        {"limits of each width", {0x7F, 0xC2, 0x80, 0xEF, 0xBF, 0xBF, 0xF4, 0x8F, 0xBF, 0xBF}, {}},
        {"overlong 2-byte", {0xC1, 0xBF}, Utf8Error{0, 1}},
        {"overlong 3-byte", {0xE0, 0x9F, 0xBF}, Utf8Error{0, 1}},
        {"surrogate", {0xED, 0xA0, 0x80}, Utf8Error{0, 1}},
        {"beyond U+10FFFF", {0xF4, 0x90, 0x80, 0x80}, Utf8Error{0, 1}},
        {"bad third byte", {0xE2, 0x82, 0x28}, Utf8Error{0, 2}},
        {"bad fourth byte", {0xF0, 0x9F, 0x98, 0x28}, Utf8Error{0, 3}},
        {"truncated 4-byte", {0xF0, 0x9F, 0x98}, Utf8Error{0, std::nullopt}},
        {"bad byte before the end", {0xE0, 0x9F}, Utf8Error{0, 1}},
        {"after a valid prefix", {'a', 0xC3, 0xA9, 0xFF}, Utf8Error{3, 1}},
    };
    for (const auto& [label, bytes, expected] : cases) {
        SCOPED_TRACE(label);
        EXPECT_EQ(find_utf8_error(bytes), expected);
    }
    EXPECT_EQ((Utf8Error{5, 2}).message(), "invalid utf-8 sequence of 2 bytes from index 5");
    EXPECT_EQ((Utf8Error{3, {}}).message(), "incomplete utf-8 byte sequence from index 3");
}

// Reference from the bit layouts 0xxxxxxx, 110xxxxx 10xxxxxx, ... and the code points each width
// encodes: at each position, the bytes that begin the encoding of some scalar value.
std::optional<Utf8Error> reference(std::span<const std::uint8_t> s) {
    constexpr std::uint32_t kLow[] = {0, 0, 0x80, 0x800, 0x10000};
    constexpr std::uint32_t kHigh[] = {0, 0x7F, 0x7FF, 0xFFFF, 0x10FFFF};
    for (std::size_t i = 0; i < s.size();) {
        const int ones = std::countl_one(s[i]);
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
    // Every pair of bytes, followed by each boundary byte and then by nothing.
    for (std::uint32_t n = 0; n < (1u << 16); ++n) {
        std::uint8_t three[] = {std::uint8_t(n >> 8), std::uint8_t(n), 0};
        if (!agrees(std::span(three).first(2))) return;
        for (const std::uint8_t c : boundaries) {
            three[2] = c;
            if (!agrees(three)) return;
        }
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
