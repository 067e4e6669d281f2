// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>

#include "signal/trig.h"
#include "signal/twiddles.h"

namespace quorvanta::detail {
namespace {

constexpr long double kTau = 2 * std::numbers::pi_v<long double>;
constexpr long double kEpsilon = std::numeric_limits<float>::epsilon() / 2;  // 2^-24

// Correctly rounded but where the exact value lies within a hair of a rounding boundary. The
// long double reference itself is off by up to about 1e-19 (its angle is rounded), which matters
// only where the exact value is 0.
void expect_rounded(float got, long double exact) {
    const float below = static_cast<float>(exact);
    const long double ulp =
        std::nextafter(std::fabs(below), std::numeric_limits<float>::infinity()) - std::fabs(below);
    EXPECT_LE(std::fabs(got - exact), ulp / 2 + 1e-15L * ulp / kEpsilon + 1e-18L) << exact;
}

TEST(Twiddles, RoundTheExactRootsOfUnity) {
    for (std::uint64_t n = 1; n <= 4096; n *= 2) {
        SCOPED_TRACE(n);
        for (std::uint64_t e = 0; e < n; ++e) {
            const UnitRoot w = unit_root(e, n);
            const long double angle = kTau * static_cast<long double>(e) / n;
            expect_rounded(w.re, std::cos(angle));
            expect_rounded(w.im, -std::sin(angle));
        }
    }
    const UnitRoot quarter = unit_root(256, 1024);
    const UnitRoot half = unit_root(512, 1024);
    EXPECT_TRUE(quarter.re == 0 && quarter.im == -1 && half.re == -1 && half.im == 0);
}

TEST(Trig, CosineIsRoundedFromTheExactValue) {
    for (float x = 0; x <= 8; x += 0.000377f) {
        SCOPED_TRACE(x);
        expect_rounded(cos_f32(x), std::cos(static_cast<long double>(x)));
        EXPECT_EQ(cos_f32(-x), cos_f32(x));
    }
    EXPECT_EQ(cos_f32(0), 1.0f);
    EXPECT_TRUE(std::isnan(cos_f32(NAN)));
}

}  // namespace
}  // namespace quorvanta::detail
