#include "signal/filters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <random>
#include <vector>

namespace quorvanta {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr std::uint64_t kAll = std::numeric_limits<std::uint64_t>::max();
using Samples = std::vector<float>;

Samples noise(std::size_t n, float offset) {
    std::mt19937 gen(7);
    std::uniform_real_distribution<float> dist(offset - 1, offset + 1);
    Samples x(n);
    for (float& v : x)
        v = dist(gen);
    return x;
}

TEST(Standardize, Cases) {
    const Samples cases[][2] = {{{}, {}},
                                {{1, kNaN, 3}, {-1, 0, 1}},
                                {{5, 5, 5}, {0, 0, 0}},
                                {{kInf, kNaN}, {0, 0}},
                                {{2, -kInf, 2, 4, 4}, {-1, 0, -1, 1, 1}}};
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(testing::PrintToString(input));
        EXPECT_EQ(standardize(input), expected);
    }
}

// Every window summed from scratch in index order, straight from the definition.
Samples naive_moving_average(const Samples& x, std::uint64_t window) {
    const auto n = std::int64_t(x.size()),
               half = std::int64_t(std::min<std::uint64_t>(window / 2, n));
    Samples out(x.size());
    for (std::int64_t i = 0; i < n; ++i) {
        const std::int64_t lo = std::max<std::int64_t>(0, i - half), hi = std::min(n, i + half + 1);
        out[i] = std::accumulate(x.begin() + lo + 1, x.begin() + hi, x[lo]) / float(hi - lo);
    }
    return out;
}

TEST(MovingAverage, MatchesNaiveWindowSumsBitForBit) {
    const Samples x = noise(100, 1000.0f);
    for (const std::uint64_t window : {0ul, 1ul, 2ul, 3ul, 4ul, 7ul, 99ul, 100ul, 250ul, kAll}) {
        SCOPED_TRACE(window);
        EXPECT_EQ(moving_average(x, window), naive_moving_average(x, window));
    }
    EXPECT_EQ(moving_average(Samples{1, 2, 3, 4, 5}, 3), (Samples{1.5f, 2, 3, 4, 4.5f}));
    EXPECT_TRUE(std::signbit(moving_average(Samples{-0.0f, -0.0f}, 3)[0]));
    EXPECT_TRUE(moving_average({}, 3).empty());
    // A window spanning two million samples must stay linear, not quadratic.
    const Samples long_signal = noise(1 << 21, 5.0f);
    const float mean = std::accumulate(long_signal.begin(), long_signal.end(), 0.0f) / (1 << 21);
    EXPECT_EQ(moving_average(long_signal, kAll), Samples(1 << 21, mean));
}

TEST(SmoothingWindowLength, Cases) {
    struct Case {
        float cutoff, fs;
        std::uint64_t expected;
    };
    const Case cases[] = {{3, 30, 3},        {220.0f / 60, 30, 3}, {2.4f, 30, 5}, {30, 30, 1},
                          {1e-5f, 1, 44293}, {1e-8f, 1, kAll},     {3, 0, 1},     {3, -30, 1},
                          {3, kNaN, 1},      {0, 30, 1},           {-3, 30, 1},   {kNaN, 30, 1},
                          {kInf, 30, 1},     {1e30f, 1e-30f, 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.cutoff << " Hz at " << c.fs << " Hz");
        EXPECT_EQ(smoothing_window_length(c.cutoff, c.fs), c.expected);
    }
}

// x - z with (I + lambda^2 D2' D2) z = x solved densely in double by Gaussian elimination.
std::vector<double> dense_detrend(const Samples& x, double lambda) {
    const std::size_t n = x.size();
    std::vector<std::vector<double>> a(n, std::vector<double>(n + 1, 0.0));
    for (std::size_t i = 0; i < n; ++i)
        a[i][i] = 1, a[i][n] = x[i];
    const double d2[3] = {1, -2, 1};
    for (std::size_t k = 0; k + 2 < n; ++k)
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 3; ++c)
                a[k + r][k + c] += lambda * lambda * d2[r] * d2[c];
    for (std::size_t p = 0; p < n; ++p)
        for (std::size_t r = p + 1; r < n; ++r)
            for (std::size_t c = n + 1; c-- > p;)
                a[r][c] -= a[r][p] / a[p][p] * a[p][c];
    std::vector<double> z(n), out(n);
    for (std::size_t i = n; i-- > 0;) {
        for (std::size_t c = i + 1; c < n; ++c)
            a[i][n] -= a[i][c] * z[c];
        z[i] = a[i][n] / a[i][i];
        out[i] = x[i] - z[i];
    }
    return out;
}

TEST(DetrendSignal, MatchesDenseSolve) {
    for (const std::size_t n : {3u, 4u, 5u, 6u, 9u, 16u}) {
        for (const float cutoff : {15.0f, 5.0f, 3.0f}) {
            SCOPED_TRACE(testing::Message() << n << " samples, cutoff " << cutoff);
            const Samples x = noise(n, 2.0f), out = detrend_signal(x, 30, cutoff);
            const std::vector<double> expected =
                dense_detrend(x, 0.075 * std::pow(30.0 / cutoff, 2));
            for (std::size_t i = 0; i < n; ++i)
                EXPECT_NEAR(out[i], expected[i], 2e-4) << i;
        }
    }
}

TEST(DetrendSignal, Cases) {
    Samples line(40), pattern(50);
    for (std::size_t i = 0; i < line.size(); ++i)
        line[i] = 3 - 0.5f * float(i);
    for (std::size_t i = 0; i < pattern.size(); ++i)
        pattern[i] = float(i % 7);
    // D2 annihilates a line; f32 rounding is amplified by a condition number near 16 lambda^2.
    for (const float v : detrend_signal(line, 30, 0.5f))
        EXPECT_NEAR(v, 0.0f, 0.05f);
    EXPECT_TRUE(detrend_signal({}, 30, 0.5f).empty());
    EXPECT_EQ(detrend_signal(Samples{1, kNaN}, 30, 0.5f), Samples(2));
    for (const float cutoff : {0.0f, 1e-5f, -1.0f, kNaN})
        EXPECT_EQ(detrend_signal(pattern, 30, cutoff), Samples(50)) << cutoff;
    // lambda^2 = 9e10: cancellation drives a pivot below zero, so the input comes back unchanged.
    EXPECT_EQ(detrend_signal(pattern, 1000, 0.5f), pattern);
    for (const float v : detrend_signal(pattern, kNaN, 0.5f))
        EXPECT_TRUE(std::isnan(v));
    // A dense matrix of a million samples could not be allocated.
    EXPECT_TRUE(std::isfinite(detrend_signal(noise(1 << 20, 0.0f), 30, 0.5f).back()));
}

}  // namespace
}  // namespace quorvanta
