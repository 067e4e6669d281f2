#include "signal/hrv.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <numeric>
#include <random>
#include <vector>

#include "signal/hrv_detail.h"

namespace quorvanta {
namespace {

using detail::metric_value;
using Series = std::vector<float>;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// Double-precision SDNN, RMSSD, pNN50 and SD1/SD2, straight from their definitions.
std::map<HrvMetric, double> reference(const Series& r) {
    const double n = double(r.size()), pairs = n - 1;
    const double mean = std::accumulate(r.begin(), r.end(), 0.0) / n;
    double dev = 0, large = 0, u = 0, u2 = 0, v = 0, v2 = 0;
    for (float x : r)
        dev += (x - mean) * (x - mean);
    for (std::size_t i = 1; i < r.size(); ++i) {
        const double d = double(r[i]) - r[i - 1], s = double(r[i]) + r[i - 1];
        large += std::fabs(d) > 50, u += d, u2 += d * d, v += s, v2 += s * s;
    }
    const double sd1 = u2 / pairs - (u / pairs) * (u / pairs),
                 sd2 = v2 / pairs - (v / pairs) * (v / pairs);
    return {{HrvMetric::Sdnn, std::sqrt(dev / pairs)},
            {HrvMetric::Rmssd, std::sqrt(u2 / pairs)},
            {HrvMetric::Pnn50, large / pairs * 100},
            {HrvMetric::Sd1Sd2, std::sqrt(sd1 / sd2)}};
}

TEST(Hrv, TimeDomainMetricsMatchReference) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> jitter(-90.0f, 90.0f);
    for (std::size_t n : {3, 8, 60, 500}) {
        Series r(n);
        std::generate(r.begin(), r.end(), [&] { return 850.0f + jitter(rng); });
        for (const auto& [m, expected] : reference(r)) {
            SCOPED_TRACE(testing::Message() << "n " << n << " metric " << int(m));
            // SD1/SD2 loses about three digits to cancellation in its f32 variances.
            const double tolerance = m == HrvMetric::Sd1Sd2 ? 1e-3 : 2e-6;
            EXPECT_NEAR(metric_value(r, m), expected, tolerance * expected + 1e-6);
        }
    }
}

TEST(Hrv, WorkedMetricValues) {
    for (HrvMetric m : {HrvMetric::Sdnn, HrvMetric::Rmssd, HrvMetric::Pnn50, HrvMetric::Sd1Sd2,
                        HrvMetric::StressIndex})
        EXPECT_EQ(metric_value(Series(5, 1000.0f), m), 0.0f) << int(m);
    const Series tied_bins{800, 800, 850, 850, 900};  // bins 16 and 17 tie, 17 wins
    EXPECT_NEAR(metric_value(tied_bins, HrvMetric::StressIndex), 40 / (1.75f * 0.1f), 1e-3f);
    EXPECT_EQ(metric_value(Series{800, 850, 900, 950}, HrvMetric::StressIndex), 0.0f);  // too few
    EXPECT_EQ(metric_value(Series{800}, HrvMetric::Sdnn), 0.0f);
    // A difference of exactly 50 ms is not counted.
    EXPECT_EQ(metric_value(Series{800, 850, 900}, HrvMetric::Pnn50), 0.0f);
    // Every u is 1 / sqrt 2: its f32 variance rounds below 0 and is clamped, giving SD1 = 0.
    float u = 0, u2 = 0;
    for (int i = 0; i < 5; ++i)
        u += 1 / 1.4142135f, u2 += (1 / 1.4142135f) * (1 / 1.4142135f);
    ASSERT_LT(u2 / 5 - (u / 5) * (u / 5), 0.0f);
    EXPECT_EQ(metric_value(Series{800, 801, 802, 803, 804, 805}, HrvMetric::Sd1Sd2), 0.0f);
}

TEST(Hrv, CleansIntervals) {
    const struct {
        Series raw, clean;
    } cases[] = {
        {{800, 810, 1200, 820}, {800, 810, 820}},
        {{650, 1000, 1000, 650}, {1000, 1000}},  // the upper median, not the lower or the mean
        {{600, 700, 800, 900, 1000, 1100, 1200}, {700, 800, 900, 1000, 1100, 1200}},
        {{2000, 2000.5f, 2000}, {2000, 2000}},
        {{300, 250, 300}, {300, 300}},
        {{250}, {250}},
        {{250, 2500}, {}},
        {{}, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "first of " << c.raw.size());
        EXPECT_EQ(detail::clean_intervals(c.raw), c.clean);
    }
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

TEST(Hrv, ConfidenceAndNeutralResults) {
    const Series confidence{0.6f, 1.0f, 0.8f};
    const detail::RawIntervals single{{250}, {0.9f, 0.7f}}, implausible{{250, 2500}, {1, 1, 1, 1}};
    for (std::uint8_t m = 0; m < 6; ++m) {
        const HrvEstimate e = evaluate_hrv(single, HrvMetric(m), confidence);
        EXPECT_EQ(e.value, 0.0f);
        EXPECT_FLOAT_EQ(e.confidence, 0.7f);
    }
    const HrvEstimate low_mean =
        evaluate_hrv({{800, 810}, {0.9f, 0.9f, 0.9f, 0.9f}}, HrvMetric::Sdnn, confidence);
    EXPECT_FLOAT_EQ(low_mean.confidence, 2.4f / 3);
    EXPECT_EQ(evaluate_hrv(implausible, HrvMetric::Sdnn, confidence).confidence, 0.0f);
    EXPECT_EQ(evaluate_hrv({}, HrvMetric::Sdnn, confidence).confidence, 0.0f);
    EXPECT_EQ(hrv_metric_from_selector(4), HrvMetric::Pnn50);
    EXPECT_EQ(hrv_metric_from_selector(200), HrvMetric::Sd1Sd2);
}

TEST(Hrv, ResamplesTachogramAndSplitsBands) {
    EXPECT_EQ(detail::resample_tachogram(Series(100, 1000.0f)), Series(400, 1000.0f));
    const Series two = detail::resample_tachogram(Series{1000, 2000});  // beats at 1 s and 3 s
    ASSERT_EQ(two.size(), 12u);
    EXPECT_EQ(two[0], 500.0f);  // extrapolated before the first beat
    EXPECT_EQ(two[4], 1000.0f);
    EXPECT_EQ(two[11], 1875.0f);
    EXPECT_LE(detail::resample_tachogram(Series{3e38f, 3e38f}).size(), 32u);
    Series frequencies(2048), power(2048, 1.0f);
    for (std::size_t k = 0; k < frequencies.size(); ++k)
        frequencies[k] = float(k) / 1024;
    // LF bins 41..153, HF bins 154..409.
    EXPECT_FLOAT_EQ(detail::band_power_ratio(frequencies, power), 113.0f / 256);
}

// Intervals around 850 ms with a slow and a fast oscillation.
Series chosen_intervals(double seconds, double slow_hz, double fast_hz) {
    Series r;
    for (double t = 0; t < seconds; t += r.back() / 1000)
        r.push_back(float(850 + 40 * std::sin(2 * M_PI * slow_hz * t) +
                          25 * std::sin(2 * M_PI * fast_hz * t)));
    return r;
}

// Gaussian pulses at the beats of `r`, sampled at 30 Hz.
Series pulse_wave(const Series& r, std::vector<double>& ts) {
    std::vector<double> beats{0.5};
    for (float x : r)
        beats.push_back(beats.back() + x / 1000.0);
    Series wave;
    for (double t = 0; t < beats.back() + 0.5; t += 1.0 / 30) {
        double x = 0;
        for (double b : beats)
            x += std::exp(-(t - b) * (t - b) / 0.02);
        ts.push_back(t), wave.push_back(float(x));
    }
    return wave;
}

// estimate_hrv, for every metric, evaluates `raw`: the intervals its beats should give.
void expect_estimates(const Series& wave, std::span<const double> ts, const Series& confidence,
                      float fs, const detail::RawIntervals& raw) {
    for (std::uint8_t m = 0; m < 6; ++m) {
        SCOPED_TRACE(testing::Message() << "metric " << int(m));
        const HrvEstimate e = estimate_hrv(wave, HrvMetric(m), ts, confidence, 70.0f, fs, 40, 220);
        const HrvEstimate expected = evaluate_hrv(raw, HrvMetric(m), confidence);
        EXPECT_EQ(e.value, expected.value);
        EXPECT_EQ(e.confidence, expected.confidence);
    }
}

TEST(Hrv, EndToEndRecoversChosenIntervals) {
    const Series r = chosen_intervals(60, 0.1, 0.3);
    std::vector<double> ts;
    Series wave = pulse_wave(r, ts), confidence(wave.size(), 1.0f);
    for (HrvMetric m : {HrvMetric::Sdnn, HrvMetric::Rmssd}) {
        const HrvEstimate e = estimate_hrv(wave, m, ts, confidence, std::nullopt, 30, 40, 220);
        EXPECT_NEAR(e.value, reference(r)[m], 0.02 * reference(r)[m]);
        EXPECT_EQ(e.confidence, 1.0f);
    }
    const auto lf_hf = [](const Series& rr) { return metric_value(rr, HrvMetric::LfHf); };
    EXPECT_GT(lf_hf(chosen_intervals(100, 0.1, 0.3)), 1.5f);
    EXPECT_LT(lf_hf(chosen_intervals(100, 0.3, 0.1)), 0.67f);
    // Under heavy noise, candidates are marginal: the detector settings decide the beats.
    std::mt19937 rng(3);
    std::normal_distribution<float> noise(0.0f, 0.8f);
    for (float& x : wave)
        x += noise(rng);
    const PeakDetectorConfig config{70.0f, 30, 40, 220, 0.45f, 2.5f, 1.0f, 0.25f, true, true};
    expect_estimates(wave, ts, confidence, 30,
                     detail::raw_intervals(detect_peaks(wave, config), ts, confidence, 30));
}

TEST(Hrv, HostileInputIsNeutral) {
    std::vector<double> ts;
    const Series wave = pulse_wave(chosen_intervals(20, 0.1, 0.3), ts), ones(wave.size(), 1.0f);
    const struct {
        const char* name;
        Series signal, confidence;
        float fs;
    } cases[] = {{"empty signal", {}, ones, 30},
                 {"NaN signal", Series(600, kNaN), ones, 30},
                 {"inf signal", Series(600, INFINITY), ones, 30},
                 {"empty confidence", wave, {}, 30},
                 {"fs 0", wave, ones, 0},
                 {"fs negative", wave, ones, -30},
                 {"fs NaN", wave, ones, kNaN}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        expect_estimates(c.signal, {}, c.confidence, c.fs, {});
    }
}

}  // namespace
}  // namespace quorvanta
