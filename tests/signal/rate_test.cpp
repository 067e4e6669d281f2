#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>
#include <numeric>
#include <random>
#include <vector>

#include "signal/fft.h"

namespace quorvanta {
namespace {

constexpr float kBinWidth = 30.0f / 8192.0f;  // 30 Hz at 0.005 Hz resolution

std::vector<float> sine(std::size_t n, double hz, double phase = 0, float amplitude = 1) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = amplitude * float(std::sin(2 * std::numbers::pi * hz * double(i) / 30 + phase));
    return x;
}

// Unit spikes every `spacing` samples; `shoulders` puts a half-height sample alternately before
// and after them.
std::vector<float> spikes(std::size_t n, std::size_t spacing, bool shoulders = false) {
    std::vector<float> x(n, 0.0f);
    for (std::size_t i = 5; i + 1 < n; i += spacing)
        x[i] = 1.0f;
    for (std::size_t i = 5; shoulders && i + spacing + 1 < n; i += 2 * spacing)
        x[i - 1] = x[i + spacing + 1] = 0.5f;
    return x;
}

RateEstimate periodogram(const std::vector<float>& x, float fs = 30, float resolution = 0.005f,
                         float min_rate = 40, float max_rate = 220,
                         SpectrumWorkspace* ws = nullptr) {
    return estimate_rate(x, {RateMethodKind::Periodogram, 0, resolution}, std::nullopt, ws, fs,
                         min_rate, max_rate);
}

RateEstimate by_peaks(const std::vector<float>& x, std::uint8_t selector = 0, float fs = 30,
                      float min_rate = 40, float max_rate = 220) {
    return estimate_rate(x, {RateMethodKind::PeakDetection, selector, 0.25f}, std::nullopt, nullptr,
                         fs, min_rate, max_rate);
}

TEST(RateEstimation, SineOfSeventyTwoPerMinute) {
    SpectrumWorkspace ws;
    const RateEstimate estimate = periodogram(sine(300, 1.2), 30, 0.005f, 40, 220, &ws);
    EXPECT_EQ(estimate.method, "Periodogram");
    ASSERT_EQ(ws.power.size(), 4096u);
    const auto sum = [&](int first, int last) {  // peak bin 328, w = 23, band 182 to 1002
        return std::accumulate(ws.power.begin() + first, ws.power.begin() + last + 1, 0.0f);
    };
    EXPECT_NEAR(estimate.rate / 60.0f / kBinWidth - 328.0f, -0.32f, 0.01f);  // delta
    EXPECT_NEAR(estimate.rate, 72.0f, 0.01f);
    EXPECT_EQ(estimate.confidence, sum(328 - 23, 328 + 23) / sum(182, 1002));
    EXPECT_NEAR(estimate.confidence, 0.86f, 0.005f);
}

TEST(RateEstimation, DegenerateInputGivesNoRate) {
    struct Case {
        const char* name;
        std::vector<float> x;
        float fs, resolution, min_rate, max_rate;
    };
    std::vector<float> with_nan = sine(300, 1.2);
    with_nan[150] = NAN;
    const Case cases[] = {
        {"empty", {}, 30, 0.005f, 40, 220},
        {"one sample", {1.0f}, 30, 0.005f, 40, 220},
        {"all zero", std::vector<float>(300, 0.0f), 30, 0.005f, 40, 220},
        {"NaN sample", with_nan, 30, 0.005f, 40, 220},
        {"fs 0, band from 0", sine(300, 1.2), 0, 0.005f, 0, 220},
        {"negative fs and band", sine(300, 1.2), -30, 0.005f, -40, -220},
        {"infinite fs", sine(300, 1.2), INFINITY, 0.005f, 40, 220},
        {"inverted band", sine(300, 1.2), 30, 0.005f, 220, 40},
        {"band above Nyquist", sine(300, 1.2), 30, 0.005f, 1000, 2000},
        {"one bin", {0.0f, 1.0f}, 1, 1, 0, 60},
        {"strongest at bin 0 = lo", {0.0f, 3.0f, 0.0f}, 30, 7.5f, 0, 900},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const RateEstimate estimate = periodogram(c.x, c.fs, c.resolution, c.min_rate, c.max_rate);
        EXPECT_EQ(estimate.method, "Periodogram");
        EXPECT_EQ(estimate.rate, 0.0f);
        EXPECT_EQ(estimate.confidence, 0.0f);
    }
}

TEST(RateEstimation, InterpolationClampsAndSkipsUndefinedVertices) {
    // The band starts two bins above the true peak, where the vertex lies beyond -0.5.
    EXPECT_EQ(periodogram(sine(300, 1.2), 30, 0.005f, 72.6f).rate, kBinWidth * 329.5f * 60.0f);
    // One non-zero windowed sample: a flat spectrum, amplitudes within far less than 1e-9.
    SpectrumWorkspace ws;
    const RateEstimate flat = periodogram({0.0f, 1e-4f, 0.0f}, 30, 0.005f, 40, 220, &ws);
    const auto peak = std::max_element(ws.power.begin() + 182, ws.power.begin() + 1003);
    EXPECT_EQ(flat.rate, kBinWidth * float(peak - ws.power.begin()) * 60.0f);
    // A peak overflowing to infinity just below the band: the edge bin has an infinite outer
    // neighbour, so the vertex is undefined and the edge bin itself is reported.
    const std::vector<float> loud = sine(300, 1.2, 0, 1e18f);
    compute_spectrum(loud, ws, true, 30, 0.005f);
    const float edge = float(std::find_if(ws.power.begin() + 328, ws.power.end(),
                                          [](float p) { return std::isfinite(p); }) -
                             ws.power.begin());
    EXPECT_EQ(periodogram(loud, 30, 0.005f, (edge + 0.5f) * kBinWidth * 60).rate,
              kBinWidth * edge * 60);
}

TEST(RateEstimation, RecoversSinesInTheBand) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> rate(45.0, 210.0), phase(0.0, 6.28);
    SpectrumWorkspace ws;
    for (const float resolution : {0.005f, 1e-30f}) {  // the second is capped at 2^20 points
        for (std::size_t n = 300; n <= 2400; n += 300) {
            const double expected = rate(rng);
            SCOPED_TRACE(testing::Message() << n << " samples at " << expected << " per minute");
            const std::vector<float> x = sine(n, expected / 60, phase(rng));
            EXPECT_NEAR(periodogram(x, 30, resolution, 40, 220, &ws).rate, expected, 0.1);
            EXPECT_EQ(ws.power.size(), resolution > 1e-3f ? 4096u : 1u << 19);
        }
    }
}

TEST(RateEstimation, HostileInputNeverGivesNaN) {
    std::mt19937 rng(11);
    const float values[] = {0.0f, 1.0f, -2.5f, NAN, INFINITY, -INFINITY, 3e38f, 1e-45f};
    const float settings[] = {30.0f, 0.005f, 0.0f, -1.0f, NAN, INFINITY, 1e-30f, 1e30f};
    const auto pick = [&](const auto& from) { return from[rng() % std::size(from)]; };
    SpectrumWorkspace ws;
    for (int trial = 0; trial < 200; ++trial) {
        std::vector<float> x(rng() % 40);
        for (float& v : x)
            v = rng() % 3 ? std::sin(float(rng() % 100)) : pick(values);
        const RateMethod method{RateMethodKind(trial % 2), std::uint8_t(rng() % 2), pick(settings)};
        const float fs = pick(settings), lo = pick(settings) * 40, hi = pick(settings) * 220;
        const RateEstimate e = estimate_rate(x, method, std::nullopt, &ws, fs, lo, hi);
        EXPECT_FALSE(std::isnan(e.rate)) << trial;
        EXPECT_TRUE(e.confidence >= 0.0f && e.confidence <= 1.0f) << trial;
        EXPECT_LE(ws.power.size(), 1u << 19) << trial;  // fs / resolution is capped at 2^20
    }
}

TEST(RateEstimation, PeakDetectionAveragesIntervalsWithinSegments) {
    // Evenly spaced spikes whose refined positions alternate 1/6 sample early and late: intervals
    // of 25 -+ 1/3 samples when refined, a coefficient of variation of 1/75.
    for (const std::uint8_t selector : {0, 1, 2, 3}) {
        SCOPED_TRACE(int(selector));
        const bool refined = selector & 1;
        const RateEstimate e = by_peaks(spikes(600, 25, true), selector, 25);
        EXPECT_EQ(e.method, "PeakDetection");
        EXPECT_NEAR(e.rate, 60.0f, refined ? 0.05f : 1e-4f);
        EXPECT_NEAR(e.confidence, refined ? 1.0f - (1.0f / 75.0f) / 0.3f : 1.0f,
                    refined ? 2e-3f : 1e-5f);
    }
    // 11 intervals of 25 samples, a 225-sample dropout (beyond the 112-sample gap), 10 of 20.
    std::vector<float> x = spikes(300, 25), after = spikes(220, 20);
    x.resize(500, 0.0f);
    x.insert(x.end(), after.begin(), after.end());
    const double mean = (11 * 25.0 + 10 * 20.0) / 21;
    const double sd = std::sqrt((11 * std::pow(25 - mean, 2) + 10 * std::pow(20 - mean, 2)) / 21);
    EXPECT_NEAR(by_peaks(x).rate, 60 * 30 / mean, 1e-3);
    EXPECT_NEAR(by_peaks(x).confidence, 1 - sd / mean / 0.3, 1e-4);
    EXPECT_EQ(by_peaks(std::vector<float>(300, 1.0f)).confidence, 0.0f);
    // A negative fs and band still form segments, but every interval is negative.
    EXPECT_EQ(by_peaks(spikes(600, 25), 0, -30, -40, -220).rate, 0.0f);
}

}  // namespace
}  // namespace quorvanta
