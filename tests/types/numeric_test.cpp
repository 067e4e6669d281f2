#include "types/numeric.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>

namespace quorvanta {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(SaturatingCast, TruncatesTowardZeroAndClampsAtTheLimits) {
    struct Case {
        float input;
        std::int32_t as_i32;
        std::uint32_t as_u32;
        std::uint64_t as_u64;
    };
    const Case cases[] = {
        {0.0f, 0, 0, 0},
        {-0.0f, 0, 0, 0},
        {1.9f, 1, 1, 1},
        {-1.9f, -1, 0, 0},
        {-0.5f, 0, 0, 0},
        {kNaN, 0, 0, 0},
        {-kNaN, 0, 0, 0},
        {kInf, INT32_MAX, UINT32_MAX, UINT64_MAX},
        {-kInf, INT32_MIN, 0, 0},
        {2147483520.0f, 2147483520, 2147483520u, 2147483520u},  // largest float below 2^31
        {2147483648.0f, INT32_MAX, 2147483648u, 2147483648u},   // 2^31
        {-2147483648.0f, INT32_MIN, 0, 0},
        {-3e9f, INT32_MIN, 0, 0},
        {4294967040.0f, INT32_MAX, 4294967040u, 4294967040u},  // largest float below 2^32
        {4294967296.0f, INT32_MAX, UINT32_MAX, 4294967296u},
        {1e30f, INT32_MAX, UINT32_MAX, UINT64_MAX},
        {18446744073709551616.0f, INT32_MAX, UINT32_MAX, UINT64_MAX},  // 2^64
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(saturating_cast<std::int32_t>(c.input), c.as_i32);
        EXPECT_EQ(saturating_cast<std::uint32_t>(c.input), c.as_u32);
        EXPECT_EQ(saturating_cast<std::uint64_t>(c.input), c.as_u64);
    }
}

TEST(SaturatingCast, HandlesDoubleInputsNearTheLimits) {
    EXPECT_EQ(saturating_cast<std::int32_t>(2147483647.9), INT32_MAX);
    EXPECT_EQ(saturating_cast<std::int32_t>(-2147483648.9), INT32_MIN);
    EXPECT_EQ(saturating_cast<std::uint64_t>(18446744073709549568.0), 18446744073709549568u);
}

TEST(RoundHalfAway, RoundsHalvesAwayFromZero) {
    struct Case {
        float input, expected;
    };
    const Case cases[] = {
        {0.5f, 1.0f},       {1.5f, 2.0f},     {2.5f, 3.0f},   {-2.5f, -3.0f},
        {2.4999998f, 2.0f}, {121.5f, 122.0f}, {-0.4f, -0.0f}, {8388609.0f, 8388609.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        EXPECT_EQ(std::bit_cast<std::uint32_t>(round_half_away(c.input)),
                  std::bit_cast<std::uint32_t>(c.expected));
    }
    EXPECT_TRUE(std::isnan(round_half_away(kNaN)));
}

TEST(MinMaxNum, NaNYieldsTheOtherOperandAndTiesYieldTheFirst) {
    EXPECT_EQ(min_num(kNaN, 2.0f), 2.0f);
    EXPECT_EQ(min_num(2.0f, kNaN), 2.0f);
    EXPECT_EQ(max_num(kNaN, -3.0f), -3.0f);
    EXPECT_EQ(max_num(-3.0f, kNaN), -3.0f);
    EXPECT_TRUE(std::isnan(max_num(kNaN, kNaN)));
    EXPECT_EQ(min_num(1.0f, -kInf), -kInf);
    EXPECT_EQ(max_num(1.0f, 4.0f), 4.0f);
    EXPECT_TRUE(std::signbit(max_num(-0.0f, 0.0f)));
    EXPECT_FALSE(std::signbit(max_num(0.0f, -0.0f)));
    EXPECT_TRUE(std::signbit(min_num(-0.0f, 0.0f)));
}

}  // namespace
}  // namespace quorvanta
