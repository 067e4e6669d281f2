// SPDX-License-Identifier: Apache-2.0
#include "signal/filters.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <tuple>
#include <vector>

namespace quorvanta {
namespace {

constexpr std::uint64_t kAll = std::numeric_limits<std::uint64_t>::max();
using Samples = std::vector<float>;

// Pseudo-random samples from lo to lo + 2.15.
Samples noise(std::size_t n, float lo) {
    Samples x(n);
    std::ranges::generate(
        x, [&, r = std::minstd_rand()]() mutable { return lo + static_cast<float>(r()) * 1e-9f; });
    return x;
}

TEST(Standardize, Cases) {
    const Samples cases[][2] = {
        {{}, {}}, {{1, NAN, 3}, {-1, 0, 1}}, {{5, 5, 5}, {0, 0, 0}}, {{INFINITY, NAN}, {0, 0}}};
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(input));
        EXPECT_EQ(standardize(input), expected);
    }
}

TEST(MovingAverage, MatchesNaiveWindowSumsBitForBit) {
    const Samples x = noise(100, 1000.0f);
    for (const std::uint64_t window : {0ul, 1ul, 2ul, 3ul, 4ul, 7ul, 99ul, 100ul, 250ul, kAll}) {
        SCOPED_TRACE(window);
        const std::size_t half = std::min<std::uint64_t>(window / 2, x.size());
        Samples naive(x.size());  // every window summed from scratch in index order
        for (std::size_t i = 0; i < x.size(); ++i) {
            const std::size_t lo = i - std::min(i, half), hi = std::min(x.size(), i + half + 1);
            naive[i] = std::accumulate(x.data() + lo + 1, x.data() + hi, x[lo]) / float(hi - lo);
        }
        EXPECT_EQ(moving_average(x, window), naive);
    }
    // A window spanning two million samples must stay linear, not quadratic.
    const Samples y = noise(1 << 21, 5.0f);
    const float mean = std::accumulate(y.begin(), y.end(), 0.0f) / float(y.size());
    EXPECT_EQ(moving_average(y, kAll), Samples(y.size(), mean));
}

TEST(SmoothingWindowLength, Cases) {
    const std::tuple<float, float, std::uint64_t> cases[] = {
        {3, 30, 3}, {220.0f / 60, 30, 3}, {2.4f, 30, 5},    {1e-5f, 1, 44293}, {1e-8f, 1, kAll},
        {3, 0, 1},  {0, 30, 1},           {INFINITY, 30, 1}};
    for (const auto& [cutoff, fs, expected] : cases) {
        SCOPED_TRACE(testing::Message() << cutoff << " Hz at " << fs << " Hz");
        EXPECT_EQ(smoothing_window_length(cutoff, fs), expected);
    }
}

TEST(DetrendSignal, MatchesDenseSolve) {
    for (std::size_t n = 3; n <= 16; ++n) {
        const float cutoff = float(3 + n % 3 * 6);
        SCOPED_TRACE(testing::Message() << n << " samples, cutoff " << cutoff);
        const Samples x = noise(n, 2.0f), out = detrend_signal(x, 30, cutoff);
        // x - z with (I + lambda^2 D2' D2) z = x, solved densely in double by Gauss-Jordan.
        const double q = std::pow(0.075 * (30.0 / cutoff) * (30.0 / cutoff), 2);
        std::vector<std::vector<double>> a(n, std::vector<double>(n + 1));
        for (std::size_t i = 0; i < n; ++i)
            a[i][i] = 1, a[i][n] = x[i];
        for (std::size_t k = 0; k + 2 < n; ++k)
            for (std::size_t r = 0; r < 3; ++r)
                for (std::size_t c = 0; c < 3; ++c)
                    a[k + r][k + c] += q * (r == 1 ? -2 : 1) * (c == 1 ? -2 : 1);
        for (std::size_t p = 0; p < n; ++p)
            for (std::size_t r = 0; r < n; ++r)
                for (std::size_t c = n + 1; r != p && c-- > p;)
                    a[r][c] -= a[r][p] / a[p][p] * a[p][c];
        for (std::size_t i = 0; i < n; ++i)
            EXPECT_NEAR(out[i], x[i] - a[i][n] / a[i][i], 2e-4) << i;
    }
}

TEST(DetrendSignal, Cases) {
    Samples line(40);
    std::iota(line.begin(), line.end(), -20.0f);
    // D2 annihilates a line; f32 rounding is amplified by a condition number near 16 lambda^2.
    for (const float v : detrend_signal(line, 30, 0.5f))
        EXPECT_NEAR(v, 0.0f, 0.05f);
    EXPECT_TRUE(detrend_signal({}, 30, 0.5f).empty());
    EXPECT_EQ(detrend_signal(Samples{1, NAN}, 30, 0.5f), Samples(2));
    const Samples x = noise(50, 3.0f);
    // lambda^2 = 9e10: cancellation drives a pivot below zero, so the input comes back unchanged.
    EXPECT_EQ(detrend_signal(x, 1000, 0.5f), x);
    EXPECT_TRUE(std::isnan(detrend_signal(x, NAN, 0.5f)[0]));  // a NaN pivot propagates
    // A dense matrix of a million samples could not be allocated.
    EXPECT_TRUE(std::isfinite(detrend_signal(noise(1 << 20, 0.0f), 30, 0.5f).back()));
}

}  // namespace
}  // namespace quorvanta
