// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "golden_outputs.h"

namespace quorvanta::golden {
namespace {

#ifndef QUORVANTA_GOLDEN_AGAINST_FFTW
// Distance in units in the last place between two floats of the same sign.
std::int64_t ulps_apart(float a, float b) {
    const auto ordered = [](float x) {
        const auto bits = static_cast<std::int64_t>(std::bit_cast<std::uint32_t>(x));
        return bits < 0x80000000 ? bits : 0x80000000 - bits;
    };
    return std::llabs(ordered(a) - ordered(b));
}

// Every output of this build, bit for bit as checked in.
constexpr const char* kTestName = "every output bit for bit";

void expect_same(const std::string&, float got, float want, float, std::size_t index) {
    EXPECT_EQ(std::bit_cast<std::uint32_t>(got), std::bit_cast<std::uint32_t>(want))
        << "value " << index << ": " << got << " instead of " << want << ", "
        << ulps_apart(got, want) << " ulps apart";
}
#else
// The same computations with FFTW's transform, against the library's own outputs. The transforms
// round differently, by about one rounding of the running sums per stage: relative differences
// of about 1e-6 of an output's largest values (at most 2.7e-6 measured on the sample, in a
// spectrum bin), which the estimators pass on no larger. Each value may differ by 1e-5 of itself,
// or of a thousandth of the output's largest value where it is smaller. A rate from a
// periodogram whose two highest bins are within that noise of each other may pick the other bin
// with one transform than with the other; the sample has no such tie (the largest rate
// difference is 1.3e-6 relative), and a rate may also differ by one bin width: 60 fs / N per
// minute, at most 60 * 30 / 4096 per minute with the registry's resolutions.
constexpr const char* kTestName = "every output within rounding of FFTW's";

void expect_same(const std::string& name, float got, float want, float largest, std::size_t index) {
    const bool rate = name.ends_with("heart_rate") || name.ends_with("respiratory_rate") ||
                      name.starts_with("estimate_heart_rate");
    const float tolerance = std::max(1e-5f * std::max(std::fabs(want), 1e-3f * largest),
                                     rate ? 60.0f * 30.0f / 4096.0f : 0.0f);
    EXPECT_LE(std::fabs(got - want), tolerance)
        << "value " << index << ": " << got << " instead of " << want;
}
#endif

// With QUORVANTA_REWRITE_GOLDEN_VECTORS set (the rewrite_golden_vectors target), the build's
// outputs become the checked-in ones instead.
TEST(GoldenVectors, MatchTheCheckedInOutputs) {
    const std::vector<Output> actual = compute_outputs(QUORVANTA_SAMPLE);
    if (std::getenv("QUORVANTA_REWRITE_GOLDEN_VECTORS") != nullptr) {
        write_outputs(actual, QUORVANTA_GOLDEN_VECTORS);
        GTEST_SKIP() << "rewrote " << QUORVANTA_GOLDEN_VECTORS;
    }
    SCOPED_TRACE(kTestName);
    const std::vector<Output> expected = read_outputs(QUORVANTA_GOLDEN_VECTORS);
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i < actual.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        ASSERT_EQ(actual[i].name, expected[i].name);
        ASSERT_EQ(actual[i].values.size(), expected[i].values.size());
        float largest = 0;
        for (const float want : expected[i].values)
            largest = std::max(largest, std::fabs(want));
        for (std::size_t j = 0; j < actual[i].values.size(); ++j)
            expect_same(actual[i].name, actual[i].values[j], expected[i].values[j], largest, j);
    }
}

}  // namespace
}  // namespace quorvanta::golden
