// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <numbers>
#include <numeric>
#include <random>
#include <tuple>
#include <utility>
#include <vector>

#include "signal/rate.h"

namespace quorvanta {
namespace {

// `hz` sampled at 30 Hz.
std::vector<float> sine(std::size_t n, double hz, float amplitude = 1) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = amplitude * float(std::sin(2 * std::numbers::pi * hz * double(i) / 30));
    return x;
}

RateEstimate periodogram(const std::vector<float>& x, SpectrumWorkspace* ws = nullptr,
                         float resolution = 0.005f, float lo = 40, float hi = 220, float fs = 30) {
    return estimate_rate(x, {MethodKind::Periodogram, 0, resolution}, {}, ws, fs, lo, hi);
}

// 40 to 220 per minute at 30 Hz, refractory fraction 0.25.
RateEstimate by_peaks(const std::vector<float>& x, std::uint8_t selector = 0, float fs = 30) {
    return estimate_rate(x, {MethodKind::PeakDetection, selector, 0.25f}, {}, nullptr, fs,
                         fs * 4 / 3, fs * 22 / 3);
}

// 8192 points, bins of 30 / 8192 Hz: peak bin 328, w = 23, band 182 to 1002.
TEST(RateEstimation, SineOfSeventyTwoPerMinute) {
    SpectrumWorkspace ws;
    const RateEstimate estimate = periodogram(sine(300, 1.2), &ws);
    EXPECT_EQ(estimate.method, "Periodogram");
    EXPECT_NEAR(estimate.rate, 72.0f, 0.01f);
    ASSERT_EQ(ws.power.size(), 4096u);
    const float* p = ws.power.data();
    EXPECT_EQ(estimate.confidence,
              std::accumulate(p + 305, p + 352, 0.0f) / std::accumulate(p + 182, p + 1003, 0.0f));
    EXPECT_NEAR(estimate.confidence, 0.86f, 0.005f);
    // A band starting two bins above the peak, where the vertex lies beyond -0.5, clamps it.
    EXPECT_EQ(periodogram(sine(300, 1.2), nullptr, 0.005f, 72.6f).rate, 30.0f / 8192 * 329.5f * 60);
    // One non-zero windowed sample gives a flat spectrum: its amplitudes differ by far less than
    // 1e-9, so the first maximum is taken as it is.
    const RateEstimate flat = periodogram({0.0f, 1e-4f, 0.0f}, &ws);
    const auto peak = std::max_element(ws.power.begin() + 182, ws.power.begin() + 1003);
    EXPECT_EQ(flat.rate, 30.0f / 8192 * float(peak - ws.power.begin()) * 60);
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

TEST(RateEstimation, HostileInputNeverGivesNaN) {
    std::mt19937 rng(11);
    const float odd[] = {0, -2.5f, NAN, INFINITY, -INFINITY, 3e38f, 1e-45f, 1e-30f, 30, 1e30f};
    const auto pick = [&] { return odd[rng() % std::size(odd)]; };
    for (int trial = 0; trial < 300; ++trial) {
        std::vector<float> x(rng() % 40);
        std::ranges::generate(x, [&] { return rng() % 3 ? std::sin(float(rng() % 100)) : pick(); });
        const RateMethod m{MethodKind(trial % 2), std::uint8_t(rng() % 2), pick()};
        const auto h = trial % 3 ? std::optional(pick() * 70) : std::nullopt;     // a rate hint
        const auto [fs, lo, hi] = std::array{pick(), pick() * 40, pick() * 220};  // in this order
        const RateEstimate e = estimate_rate(x, m, h, nullptr, fs, lo, hi);
        EXPECT_TRUE(!std::isnan(e.rate) && e.confidence >= 0 && e.confidence <= 1) << trial;
    }
    // Powers near the peak overflow; the band's lower edge b sweeps across the infinite bins.
    for (float b = 40; b < 100; b += 0.2f)
        EXPECT_FALSE(std::isnan(periodogram(sine(300, 1.2, 1e18f), nullptr, 0.005f, b).rate)) << b;
}

// Hostile sampling rates against a fresh workspace: one without a usable bin width computes no
// spectrum at all; any other keeps the spectrum within its 2^20-point cap. No rate is NaN.
TEST(RateEstimation, HostileNumbers) {
    const std::tuple<float, std::size_t> cases[] = {
        {NAN, 0}, {INFINITY, 0}, {0, 0}, {-30, 0}, {1e-45f, 256}, {30, 4096}, {3.4e38f, 1u << 19}};
    const std::vector<float> x = sine(300, 1.2);
    for (const auto& [fs, bins] : cases) {
        SCOPED_TRACE(testing::Message() << "fs " << fs);
        SpectrumWorkspace ws;
        const RateEstimate e = periodogram(x, &ws, 0.005f, 40, 220, fs);
        EXPECT_EQ(ws.power.size(), bins);
        EXPECT_TRUE(!std::isnan(e.rate) && e.confidence >= 0 && e.confidence <= 1);
        if (bins == 0) {
            EXPECT_EQ(std::pair(e.rate, e.confidence), std::pair(0.0f, 0.0f));
        }
    }
}

TEST(RateEstimation, PeakDetectionAveragesIntervalsWithinSegments) {
    // Peaks 25.5 samples apart fall alternately 26 and 25 samples apart unless refined, which
    // gives a confidence of 1 - (0.5 / 25.5) / 0.3.
    for (std::uint8_t s = 0; s < 4; ++s)
        EXPECT_NEAR(by_peaks(sine(600, 30 / 25.5), s).confidence, s & 1 ? 1 : 0.9346, 2e-3)
            << int(s);
    EXPECT_EQ(by_peaks(sine(600, 1.2)).method, "PeakDetection");
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
