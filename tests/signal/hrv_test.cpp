// SPDX-License-Identifier: Apache-2.0
#include "signal/hrv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <numeric>
#include <random>
#include <utility>
#include <vector>

#include "signal/hrv_detail.h"

namespace quorvanta {
namespace {

using detail::metric_value;
using enum HrvMetric;
using Series = std::vector<float>;

// (value, confidence), to compare estimates whole.
std::pair<float, float> pair(const HrvEstimate& e) {
    return {e.value, e.confidence};
}

// n intervals around 850 ms oscillating at about 0.11 Hz (amplitude lf) and 0.34 Hz (hf).
Series intervals(std::size_t n, float lf, float hf) {
    Series r(n);
    for (std::size_t i = 0; i < n; ++i)
        r[i] = 850 + lf * std::sin(0.6f * float(i)) + hf * std::sin(1.8f * float(i));
    return r;
}

// Double-precision SDNN, RMSSD, pNN50 and SD1/SD2, straight from their definitions; p pairs.
std::map<HrvMetric, double> reference(const Series& r) {
    const double p = static_cast<double>(r.size()) - 1.0,
                 mean = std::accumulate(r.begin(), r.end(), 0.0) / (p + 1);
    double dev = 0, large = 0, u = 0, u2 = 0, v = 0, v2 = 0;
    for (std::size_t i = 0; i < r.size(); ++i) {
        const double d = i ? double(r[i]) - r[i - 1] : 0, s = i ? double(r[i]) + r[i - 1] : 0;
        dev += (r[i] - mean) * (r[i] - mean), large += std::fabs(d) > 50;
        u += d, u2 += d * d, v += s, v2 += s * s;
    }
    const double sdnn = std::sqrt(dev / p), rmssd = std::sqrt(u2 / p), pnn50 = large / p * 100;
    const double var1 = u2 / p - u * u / p / p, var2 = v2 / p - v * v / p / p;
    return {{Sdnn, sdnn}, {Rmssd, rmssd}, {Pnn50, pnn50}, {Sd1Sd2, std::sqrt(var1 / var2)}};
}

TEST(Hrv, TimeDomainMetricsMatchReference) {
    for (const std::size_t n : {3u, 8u, 60u, 500u}) {
        const Series r = intervals(n, 60, 45);
        // SD1/SD2 loses about three digits to cancellation in its f32 variances.
        for (const auto& [m, expected] : reference(r))
            EXPECT_NEAR(metric_value(r, m), expected, (m == Sd1Sd2 ? 1e-3 : 2e-6) * expected + 1e-6)
                << n << " intervals, metric " << int(m);
    }
}

TEST(Hrv, WorkedMetricValues) {
    for (const HrvMetric m : {Sdnn, Rmssd, StressIndex, Pnn50, Sd1Sd2})
        EXPECT_EQ(metric_value(Series(5, 1000.0f), m), 0.0f) << int(m);
    // Bins 16 and 17 tie and 17 wins: Mo 0.875 s, AMo 40 %, MxDMn 0.1 s.
    EXPECT_NEAR(metric_value(Series{800, 800, 850, 850, 900}, StressIndex), 40 / 0.175f, 1e-3f);
    // A difference of exactly 50 ms is not counted.
    EXPECT_EQ(metric_value(Series{800, 850, 900}, Pnn50), 0.0f);
    // Every u is 1 / sqrt 2: its f32 variance rounds below 0 and is clamped, giving SD1 = 0.
    EXPECT_EQ(metric_value(Series{800, 801, 802, 803, 804, 805}, Sd1Sd2), 0.0f);
}

// The reference starts at the upper median: for 650, 1000, 1000, 650 it is 1000, not the lower
// median or the mean.
TEST(Hrv, CleansIntervals) {
    const Series cases[][2] = {
        {{800, 810, 1200, 820}, {800, 810, 820}},
        {{650, 1000, 1000, 650}, {1000, 1000}},
        {{600, 700, 800, 900, 1000, 1100, 1200}, {700, 800, 900, 1000, 1100, 1200}},
        {{2000, 2000.5f, 2000}, {2000, 2000}},
        {{300, 250, 300}, {300, 300}}};
    for (const auto& [raw, clean] : cases)
        EXPECT_EQ(detail::clean_intervals(raw), clean) << testing::PrintToString(raw);
}

TEST(Hrv, PairsConfidentBeatsWithinSegments) {
    const PeakSegments beats{
        {{0, 0.0f, 1}, {10, 10.5f, 1}, {11, 11.0f, 1}, {20, 20.0f, 1}, {30, 29.75f, 1}},
        {{40, 40.0f, 1}, {45, 45.0f, 1}, {50, 44.0f, 1}, {60, 60.0f, 1}}};
    Series confidence(51, 0.9f);
    confidence[20] = 0.49f, confidence[40] = 0.5f;
    const std::vector<double> ts{0, 0.25, 0.5, 0.75, 1, 1.25, 1.5, 1.75, 2, 2.25, 2.5, 2.75};
    // Beat 10 interpolated at 10.5, beat 11 at the last timestamp, 40 and 45 at position / fs;
    // 20 is not confident, 50 comes before 45 and 60 has no confidence.
    const detail::RawIntervals raw = detail::raw_intervals(beats, ts, confidence, 20.0f);
    EXPECT_EQ(raw.intervals_ms, (Series{2625, 125, 250}));
    EXPECT_EQ(raw.beat_confidences, (Series{0.9f, 0.9f, 0.9f, 0.9f, 0.5f, 0.9f}));
}

// The confidence is the lower of the mean confidence (0.8 here) and that of the beats used; a
// single interval is kept as it is, though no metric can use it, and no plausible one gives (0, 0).
TEST(Hrv, ConfidenceAndNeutralResults) {
    const Series c{0.6f, 1.0f, 0.8f};
    for (const HrvMetric m : {Sdnn, Rmssd, LfHf, StressIndex, Pnn50, Sd1Sd2})
        EXPECT_EQ(pair(evaluate_hrv({{250}, {0.9f, 0.7f}}, m, c)), std::pair(0.0f, 0.7f)) << int(m);
    EXPECT_FLOAT_EQ(evaluate_hrv({{800, 810}, {0.9f, 0.9f, 0.9f, 0.9f}}, Sdnn, c).confidence, 0.8f);
    EXPECT_EQ(pair(evaluate_hrv({{250, 2500}, {1, 1, 1, 1}}, Sdnn, c)), std::pair(0.0f, 0.0f));
    EXPECT_EQ(pair(evaluate_hrv({}, Sdnn, c)), std::pair(0.0f, 0.0f));
}

// Gaussian pulses at the beats of `r` (the first at 0.5 s), sampled at 30 Hz until 0.5 s after.
Series pulse_wave(const Series& r) {
    std::vector<double> beats{0.5};
    for (float x : r)
        beats.push_back(beats.back() + x / 1000.0);
    Series wave(std::size_t((beats.back() + 0.5) * 30));
    for (std::size_t i = 0; i < wave.size(); ++i) {
        for (const double b : beats) {
            const double t = static_cast<double>(i) / 30.0 - b;
            wave[i] += float(std::exp(-t * t / 0.02));
        }
    }
    return wave;
}

// From a pulse wave: the right SDNN and, under noise, the beats of the HRV detector settings.
TEST(Hrv, EstimatesFromPulseWaves) {
    EXPECT_GT(metric_value(intervals(120, 40, 10), LfHf), 2.0f);
    EXPECT_LT(metric_value(intervals(120, 10, 40), LfHf), 0.5f);
    const Series r = intervals(70, 40, 25);
    Series wave = pulse_wave(r), c(wave.size(), 1.0f);
    EXPECT_NEAR(estimate_hrv(wave, Sdnn, {}, c, {}, 30, 40, 220).value, reference(r)[Sdnn], 0.5);
    // Under heavy noise, candidates are marginal: the detector settings decide the beats.
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 0.8f);
    std::ranges::transform(wave, wave.begin(), [&](float x) { return x + noise(rng); });
    const PeakDetectorConfig config{70, 30, 40, 220, 0.45f, 2.5f, 1.0f, 0.25f, true, true};
    const auto raw = detail::raw_intervals(detect_peaks(wave, config), {}, c, 30);
    EXPECT_EQ(detect_hrv_intervals(wave, {}, c, 70, 30, 40, 220).intervals_ms, raw.intervals_ms);
}

}  // namespace
}  // namespace quorvanta
