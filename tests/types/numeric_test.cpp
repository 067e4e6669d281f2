// SPDX-License-Identifier: Apache-2.0
#include "types/numeric.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <tuple>

namespace quorvanta {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Bit patterns, so that signed zeros differ.
std::uint32_t bits(float v) {
    return std::bit_cast<std::uint32_t>(v);
}

// Each upper limit is probed with the largest float below it and with the limit itself.
TEST(SaturatingCast, TruncatesTowardZeroAndClampsAtTheLimits) {
    const std::tuple<float, std::int32_t, std::uint32_t, std::uint64_t> cases[] = {
        {-1.9f, -1, 0, 0},
        {kNaN, 0, 0, 0},
        {kInf, INT32_MAX, UINT32_MAX, UINT64_MAX},
        {-kInf, INT32_MIN, 0, 0},
        {0x1.fffffep30f, 0x7FFFFF80, 0x7FFFFF80u, 0x7FFFFF80u},
        {0x1p31f, INT32_MAX, 0x80000000u, 0x80000000u},
        {0x1.fffffep31f, INT32_MAX, 0xFFFFFF00u, 0xFFFFFF00u},
        {0x1p32f, INT32_MAX, UINT32_MAX, 0x100000000u},
        {0x1p64f, INT32_MAX, UINT32_MAX, UINT64_MAX}};
    for (const auto& [input, as_i32, as_u32, as_u64] : cases) {
        SCOPED_TRACE(input);
        EXPECT_EQ(saturating_cast<std::int32_t>(input), as_i32);
        EXPECT_EQ(saturating_cast<std::uint32_t>(input), as_u32);
        EXPECT_EQ(saturating_cast<std::uint64_t>(input), as_u64);
    }
    // Doubles resolve the limits more finely than floats do.
    EXPECT_EQ(saturating_cast<std::uint64_t>(0x1.fffffffffffffp63), 0xFFFFFFFFFFFFF800u);
}

TEST(RoundHalfAway, RoundsHalvesAwayFromZero) {
    // 0.49999997 + 0.5 and 8388609 + 0.5 round up in float, so floor(v + 0.5) fails both.
    const float cases[][2] = {{0.5f, 1.0f},        {2.5f, 3.0f},   {-2.5f, -3.0f},
                              {0.49999997f, 0.0f}, {-0.4f, -0.0f}, {8388609.0f, 8388609.0f}};
    for (const auto& [input, expected] : cases)
        EXPECT_EQ(bits(round_half_away(input)), bits(expected)) << input;
    EXPECT_TRUE(std::isnan(round_half_away(kNaN)));
}

// A NaN yields the other operand; ties return the first, which only signed zeros make visible.
TEST(MinMaxNum, NaNYieldsTheOtherOperandAndTiesYieldTheFirst) {
    // a, b, min, max
    const float cases[][4] = {
        {kNaN, 2, 2, 2}, {-3, kNaN, -3, -3}, {1, -kInf, -kInf, 1}, {-0.0f, 0.0f, -0.0f, -0.0f}};
    for (const auto& [a, b, min, max] : cases) {
        SCOPED_TRACE(testing::Message() << a << ", " << b);
        EXPECT_EQ(bits(min_num(a, b)), bits(min));
        EXPECT_EQ(bits(max_num(a, b)), bits(max));
    }
}

}  // namespace
}  // namespace quorvanta
