// Tests of the UTF-8 validator: hand-picked cases for each rule, then agreement with a slow
// reference built from the textbook encoding of every code point.
#include "ffi/utf8.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <vector>

namespace quorvanta::ffi {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ascii(std::size_t count) {
    return Bytes(count, 'a');
}

Bytes operator+(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

Utf8Error invalid(std::size_t at, std::size_t length) {
    return {at, length};
}
Utf8Error incomplete(std::size_t at) {
    return {at, std::nullopt};
}

TEST(Utf8, FindsTheFirstErrorAndItsLength) {
    struct Case {
        const char* label;
        Bytes bytes;
        std::optional<Utf8Error> expected;
    };
    const Case cases[] = {
        {"empty", {}, std::nullopt},
        {"ascii beyond one word", ascii(19), std::nullopt},
        {"2-byte limits", {0xC2, 0x80, 0xDF, 0xBF}, std::nullopt},
        {"3-byte limits", {0xE0, 0xA0, 0x80, 0xED, 0x9F, 0xBF, 0xEE, 0x80, 0x80}, std::nullopt},
        {"4-byte limits", {0xF0, 0x90, 0x80, 0x80, 0xF4, 0x8F, 0xBF, 0xBF}, std::nullopt},
        {"overlong 2-byte", {0xC0, 0x80}, invalid(0, 1)},
        {"overlong 2-byte C1", {0xC1, 0xBF}, invalid(0, 1)},
        {"overlong 3-byte", {0xE0, 0x80, 0x80}, invalid(0, 1)},
        {"overlong 4-byte", {0xF0, 0x80, 0x80, 0x80}, invalid(0, 1)},
        {"surrogate", {0xED, 0xA0, 0x80}, invalid(0, 1)},
        {"beyond U+10FFFF", {0xF4, 0x90, 0x80, 0x80}, invalid(0, 1)},
        {"lead F5", {0xF5, 0x80, 0x80, 0x80}, invalid(0, 1)},
        {"lead FF", {0xFF}, invalid(0, 1)},
        {"stray continuation", ascii(1) + Bytes{0xBF}, invalid(1, 1)},
        {"bad second byte", {0xC3, 0x28}, invalid(0, 1)},
        {"bad constrained second byte before end", {0xE0, 0x9F}, invalid(0, 1)},
        {"bad third byte", {0xE2, 0x82, 0x28}, invalid(0, 2)},
        {"bad fourth byte", {0xF0, 0x9F, 0x98, 0x28}, invalid(0, 3)},
        {"truncated 2-byte", {0xC3}, incomplete(0)},
        {"truncated 3-byte", {0xE2, 0x82}, incomplete(0)},
        {"truncated 4-byte", ascii(2) + Bytes{0xF0, 0x9F, 0x98}, incomplete(2)},
        {"error after a word of ascii", ascii(20) + Bytes{0x80}, invalid(20, 1)},
        {"error after mixed text", ascii(16) + Bytes{0xC3, 0xA9} + ascii(9) + Bytes{0xFF},
         invalid(27, 1)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(find_utf8_error(c.bytes), c.expected);
    }
}

TEST(Utf8, MessagesNameLengthAndIndex) {
    EXPECT_EQ(invalid(5, 2).message(), "invalid utf-8 sequence of 2 bytes from index 5");
    EXPECT_EQ(incomplete(3).message(), "incomplete utf-8 byte sequence from index 3");
}

// Reference: a trie of the textbook encodings of every scalar value. The first error is where
// no whole encoding starts; its length is that of the longest prefix of an encoding found there
// (at least 1), and it is incomplete when that prefix runs to the end of the input.
class ReferenceDecoder {
public:
    ReferenceDecoder() : nodes_(1) {
        for (char32_t c = 0; c <= 0x10FFFF; ++c) {
            if (c < 0xD800 || c > 0xDFFF) insert(encode(c));
        }
    }

    std::optional<Utf8Error> first_error(std::span<const std::uint8_t> bytes) const {
        for (std::size_t i = 0; i < bytes.size();) {
            std::int32_t state = kRoot;
            std::size_t n = 0;
            while (state != kWhole && i + n < bytes.size()) {
                const std::int32_t next = nodes_[state][bytes[i + n]];
                if (next == kNone) break;
                state = next;
                ++n;
            }
            if (state == kWhole) {
                i += n;
            } else if (n > 0 && i + n == bytes.size()) {
                return incomplete(i);
            } else {
                return invalid(i, std::max<std::size_t>(n, 1));
            }
        }
        return std::nullopt;
    }

private:
    // Children are node indexes; the root is never a child, so its index doubles as "none".
    static constexpr std::int32_t kRoot = 0, kNone = 0, kWhole = -1;

    static Bytes encode(char32_t c) {
        const auto tail = [c](int shift) { return std::uint8_t(0x80 | ((c >> shift) & 0x3F)); };
        if (c < 0x80) return {std::uint8_t(c)};
        if (c < 0x800) return {std::uint8_t(0xC0 | c >> 6), tail(0)};
        if (c < 0x10000) return {std::uint8_t(0xE0 | c >> 12), tail(6), tail(0)};
        return {std::uint8_t(0xF0 | c >> 18), tail(12), tail(6), tail(0)};
    }

    void insert(const Bytes& encoding) {
        std::int32_t node = kRoot;
        for (std::size_t i = 0; i + 1 < encoding.size(); ++i) {
            if (nodes_[node][encoding[i]] == kNone) {
                nodes_[node][encoding[i]] = static_cast<std::int32_t>(nodes_.size());
                nodes_.emplace_back();
            }
            node = nodes_[node][encoding[i]];
        }
        nodes_[node][encoding.back()] = kWhole;
    }

    std::vector<std::array<std::int32_t, 256>> nodes_;
};

const ReferenceDecoder& reference() {
    static const ReferenceDecoder decoder;
    return decoder;
}

// Reports the first disagreement only: one fault would otherwise flood the log.
bool agrees(std::span<const std::uint8_t> bytes) {
    const auto expected = reference().first_error(bytes);
    const auto actual = find_utf8_error(bytes);
    if (actual == expected) return true;
    ADD_FAILURE() << "input " << testing::PrintToString(bytes) << ": got "
                  << (actual ? actual->message() : "valid") << ", expected "
                  << (expected ? expected->message() : "valid");
    return false;
}

TEST(Utf8, AgreesWithReferenceOnEveryShortSequence) {
    for (std::uint32_t n = 0; n < (1u << 24); ++n) {
        const std::uint8_t three[] = {std::uint8_t(n >> 16), std::uint8_t(n >> 8), std::uint8_t(n)};
        if (!agrees(three)) return;
        if (n < (1u << 16) && !agrees(std::span(three).last(2))) return;
    }
}

TEST(Utf8, AgreesWithReferenceOnBoundaryBytesInLongerInputs) {
    const Bytes boundaries = {0x00, 0x7F, 0x80, 0x8F, 0x90, 0x9F, 0xA0, 0xBF, 0xC0, 0xC1, 0xC2,
                              0xDF, 0xE0, 0xE1, 0xED, 0xEE, 0xEF, 0xF0, 0xF3, 0xF4, 0xF5, 0xFF};
    for (const std::uint8_t a : boundaries) {
        for (const std::uint8_t b : boundaries) {
            for (const std::uint8_t c : boundaries) {
                for (const std::uint8_t d : boundaries) {
                    if (!agrees(Bytes{a, b, c, d})) return;
                }
            }
        }
    }
    std::mt19937 random(7);
    for (int sample = 0; sample < 20000; ++sample) {
        Bytes text = ascii(random() % 20);
        for (std::size_t i = random() % 6; i > 0; --i) {
            const bool boundary = random() % 2 == 0;
            text.push_back(boundary ? boundaries[random() % boundaries.size()] : random() % 256);
        }
        if (!agrees(text + ascii(random() % 12))) return;
    }
}

}  // namespace
}  // namespace quorvanta::ffi
