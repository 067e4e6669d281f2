// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include "signal/rate.h"

namespace quorvanta {
namespace {

// `hz` sampled at 30 Hz.
std::vector<float> sine(std::size_t n, double hz) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = float(std::sin(2 * std::numbers::pi * hz * double(i) / 30));
    return x;
}

RateEstimate periodogram(const std::vector<float>& x, SpectrumWorkspace* ws = nullptr,
                         float resolution = 0.005f, float lo = 40, float hi = 220) {
    return estimate_rate(x, {MethodKind::Periodogram, 0, resolution}, {}, ws, 30, lo, hi);
}

// 40 to 220 per minute at 30 Hz, refractory fraction 0.25.
RateEstimate by_peaks(const std::vector<float>& x, std::uint8_t selector = 0, float fs = 30) {
    return estimate_rate(x, {MethodKind::PeakDetection, selector, 0.25f}, {}, nullptr, fs,
                         fs * 4 / 3, fs * 22 / 3);
}

// One sample, silence, and a strongest bin at the band's lower edge (bin 0, no vertex).
TEST(RateEstimation, DegenerateInputGivesNoRate) {
    const RateEstimate estimates[] = {periodogram({1}), periodogram(std::vector<float>(300)),
                                      periodogram({0, 3, 0}, nullptr, 7.5f, 0, 900)};
    for (const RateEstimate& e : estimates)
        EXPECT_EQ(std::pair(e.rate, e.confidence), std::pair(0.0f, 0.0f)) << &e - estimates;
}

TEST(RateEstimation, RecoversSinesInTheBand) {
    SpectrumWorkspace ws;
    for (int trial = 0; trial < 16; ++trial) {
        const double rate = 45 + std::fmod(trial * 101.9, 165);  // spread over 45 to 210
        const float res = trial % 2 ? 1e-30f : 0.005f;           // capped at 2^20 points
        SCOPED_TRACE(testing::Message() << rate << " per minute, resolution " << res);
        EXPECT_NEAR(periodogram(sine(std::size_t(300 + 150 * trial), rate / 60), &ws, res).rate,
                    rate, 0.1);
        EXPECT_EQ(ws.power.size(), trial % 2 ? 1u << 19 : 4096u);
    }
}

TEST(RateEstimation, PeakDetectionAveragesIntervalsWithinSegments) {
    // Peaks 25.5 samples apart fall alternately 26 and 25 samples apart unless refined, which
    // gives a confidence of 1 - (0.5 / 25.5) / 0.3.
    for (std::uint8_t s = 0; s < 4; ++s)
        EXPECT_NEAR(by_peaks(sine(600, 30 / 25.5), s).confidence, s & 1 ? 1 : 0.9346, 2e-3)
            << int(s);
    EXPECT_EQ(by_peaks(sine(600, 1.2)).confidence, 1.0f);  // evenly spaced, 25 samples apart
    // 11 intervals of 25 samples, a dropout beyond the 112-sample gap, 10 intervals of 20.
    std::vector<float> x = sine(300, 1.2), after = sine(220, 1.5);
    x.resize(500, 0.0f);
    x.insert(x.end(), after.begin(), after.end());
    const double mean = 475.0 / 21, sd = 5 * std::sqrt(110.0) / 21;
    EXPECT_NEAR(by_peaks(x).rate, 60 * 30 / mean, 1e-3);
    EXPECT_NEAR(by_peaks(x).confidence, 1 - sd / mean / 0.3, 1e-4);
    // A negative fs and band still form segments, but every interval is negative.
    EXPECT_EQ(by_peaks(sine(600, 1.2), 0, -30).rate, 0.0f);
}

}  // namespace
}  // namespace quorvanta
