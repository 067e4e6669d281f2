// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>
#include <random>
#include <span>
#include <tuple>
#include <vector>

#include "signal/band_pass.h"
#include "signal/beat_correction.h"
#include "signal/beat_detection.h"

namespace quorvanta {
namespace {

constexpr double kPi = 3.14159265358979323846;

// The gain of the filter for a sinusoid at `hz`, read from the middle of its output.
double gain_at(double hz, float fs) {
    std::vector<float> x(static_cast<std::size_t>(40 * fs));
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float>(std::sin(2 * kPi * hz * static_cast<double>(i) / fs));
    const std::vector<float> y = band_pass(x, fs, 0.5f, 8.0f);
    double in = 0, out = 0;
    for (std::size_t i = x.size() / 4; i < 3 * x.size() / 4; ++i) {
        in += static_cast<double>(x[i]) * x[i];
        out += static_cast<double>(y[i]) * y[i];
    }
    return std::sqrt(out / in);
}

// Squared magnitude of two second-order Butterworth sections at `hz`, run twice, with the
// bilinear transform's frequency warping: the analogue response at tan(pi f / fs).
double butterworth_gain(double hz, double low, double high, double fs) {
    const auto warped = [&](double f) { return std::tan(kPi * f / fs); };
    const double hp = std::pow(warped(hz) / warped(low), 4);
    const double lp = std::pow(warped(hz) / warped(std::min(high, 0.45 * fs)), 4);
    return (hp / (1 + hp)) * (1 / (1 + lp));
}

TEST(BandPass, FollowsTheButterworthResponseWithoutPhase) {
    for (const float fs : {30.0f, 125.0f}) {
        for (const double hz : {0.1, 0.5, 1.0, 2.0, 5.0, 8.0, 12.0}) {
            if (hz >= fs / 2) continue;
            SCOPED_TRACE(testing::Message() << hz << " Hz at " << fs);
            EXPECT_NEAR(gain_at(hz, fs), butterworth_gain(hz, 0.5, 8.0, fs), 0.01);
        }
    }
    // Zero phase: a sinusoid in the pass band keeps its peaks where they were.
    std::vector<float> x(600);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = static_cast<float>(std::cos(2 * kPi * 1.5 * static_cast<double>(i) / 30));
    const std::vector<float> y = band_pass(x, 30, 0.5f, 8.0f);
    EXPECT_GT(y[300], y[299]);
    EXPECT_GT(y[300], y[301]);
}

TEST(BandPass, DegenerateInputGivesZeros) {
    const std::vector<float> x{1, 2, 3, 4};
    for (const auto& [fs, low, high] : {std::tuple{NAN, 0.5f, 8.0f},
                                        {0.0f, 0.5f, 8.0f},
                                        {30.0f, 0.0f, 8.0f},
                                        {30.0f, 9.0f, 8.0f}}) {
        EXPECT_EQ(band_pass(x, fs, low, high), std::vector<float>(4, 0.0f));
    }
    EXPECT_EQ(band_pass(std::vector<float>{1, 2}, 30, 0.5f, 8.0f), std::vector<float>(2, 0.0f));
}

// A fingertip-like pulse: a sharp systolic upstroke, a slower decay and a dicrotic wave, whose
// second harmonic outweighs the fundamental; one per beat time.
std::vector<float> pulses(std::span<const double> beat_times, float fs, double seconds) {
    std::vector<float> x(static_cast<std::size_t>(seconds * fs), 0.0f);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double t = static_cast<double>(i) / fs;
        double v = 0;
        for (const double b : beat_times) {
            const double u = t - b;
            if (u < -0.3 || u > 0.8) continue;
            const double width = u < 0 ? 0.06 : 0.12;
            v += std::exp(-u * u / (2 * width * width)) +
                 0.5 * std::exp(-std::pow(u - 0.32, 2) / 0.004);
        }
        x[i] = static_cast<float>(v);
    }
    return x;
}

// Beat times with a sinusoidal variation of the interval (respiratory sinus arrhythmia).
std::vector<double> beat_times(double bpm, double seconds) {
    std::vector<double> times;
    for (double t = 0.4; t < seconds - 0.5;) {
        times.push_back(t);
        t += 60 / bpm * (1 + 0.05 * std::sin(2 * kPi * 0.25 * t));
    }
    return times;
}

std::vector<double> detect_beat_times(std::span<const float> x, float fs,
                                      std::span<const double> timestamps) {
    std::vector<double> times;
    for (const DetectedBeat& beat : detect_beats(x, fs, timestamps))
        times.push_back(beat.time);
    return times;
}

double rms_interval_error(std::span<const double> found, std::span<const double> truth) {
    double squares = 0;
    for (std::size_t i = 1; i < truth.size(); ++i) {
        const double error = (found[i] - found[i - 1]) - (truth[i] - truth[i - 1]);
        squares += error * error;
    }
    return std::sqrt(squares / static_cast<double>(truth.size() - 1)) * 1000;
}

TEST(DetectBeats, FindsEveryBeatOfHarmonicRichPulsesToAFewMilliseconds) {
    for (const double bpm : {45.0, 72.0, 120.0}) {
        for (const double noise : {0.0, 0.1}) {
            SCOPED_TRACE(testing::Message() << bpm << " bpm, noise " << noise);
            const std::vector<double> truth = beat_times(bpm, 60);
            std::vector<float> x = pulses(truth, 30, 60);
            std::mt19937 random(7);
            std::normal_distribution<float> gaussian(0, static_cast<float>(noise));
            for (float& v : x)
                v += gaussian(random);
            const std::vector<double> found = detect_beat_times(x, 30, {});
            ASSERT_EQ(found.size(), truth.size());
            EXPECT_LT(rms_interval_error(found, truth), noise > 0 ? 12 : 4);
        }
    }
}

TEST(DetectBeats, PlacesBeatsWithTimestampsAndWorksAtHighRates) {
    const std::vector<double> truth = beat_times(70, 30);
    const std::vector<float> x = pulses(truth, 30, 30);
    std::vector<double> timestamps(x.size());
    for (std::size_t i = 0; i < x.size(); ++i)
        timestamps[i] = 100 + static_cast<double>(i) / 30;
    const std::vector<double> placed = detect_beat_times(x, 30, timestamps);
    const std::vector<double> plain = detect_beat_times(x, 30, {});
    ASSERT_EQ(placed.size(), plain.size());
    for (std::size_t i = 0; i < placed.size(); ++i)
        EXPECT_NEAR(placed[i], plain[i] + 100, 1e-9);
    // 500 Hz works at a working rate below 128 Hz, with the same beats.
    const std::vector<double> fast = detect_beat_times(pulses(truth, 500, 30), 500, {});
    ASSERT_EQ(fast.size(), truth.size());
    EXPECT_LT(rms_interval_error(fast, truth), 2);
}

TEST(DetectBeats, DegenerateInputGivesNoBeats) {
    const std::vector<float> x = pulses(beat_times(70, 10), 30, 10);
    EXPECT_TRUE(detect_beat_times(x, NAN, {}).empty());
    EXPECT_TRUE(detect_beat_times(x, 9.9f, {}).empty());
    EXPECT_TRUE(detect_beat_times(std::span(x).first(59), 30, {}).empty());
    EXPECT_TRUE(detect_beat_times(std::vector<float>(300, 1.0f), 30, {}).empty());
    std::vector<float> with_nan = x;
    with_nan[100] = NAN;
    EXPECT_EQ(detect_beat_times(with_nan, 30, {}).size(), detect_beat_times(x, 30, {}).size());
}

std::vector<double> regular(std::size_t count, double interval) {
    std::vector<double> times(count);
    for (std::size_t i = 0; i < count; ++i)
        times[i] = static_cast<double>(i) * interval + 0.003 * std::sin(static_cast<double>(i));
    return times;
}

std::vector<BeatStatus> statuses(std::span<const Beat> beats) {
    std::vector<BeatStatus> s;
    for (const Beat& b : beats)
        s.push_back(b.status);
    return s;
}

// Each artefact is classified and corrected: the beats that are not rejected end where the clean
// rhythm has them, and the artefact's beat carries the status.
TEST(CorrectBeats, ClassifiesMissedExtraAndEctopicBeats) {
    using enum BeatStatus;
    const std::vector<double> clean = regular(40, 0.8);
    std::vector<double> missed = clean;
    missed.erase(missed.begin() + 20);
    std::vector<double> extra = clean;
    extra.insert(extra.begin() + 21, clean[20] + 0.35);
    std::vector<double> ectopic = clean;
    ectopic[20] -= 0.25;
    const std::tuple<const char*, std::vector<double>, double, BeatStatus> cases[] = {
        {"missed: inserted", missed, clean[20], Corrected},
        {"extra: rejected", extra, clean[20] + 0.35, Rejected},
        {"ectopic: moved", ectopic, clean[20], Corrected},
    };
    for (const auto& [name, times, time, status] : cases) {
        SCOPED_TRACE(name);
        std::vector<double> kept;
        bool found = false;
        for (const Beat& beat : correct_beats(times)) {
            found |= beat.status == status && std::fabs(beat.time - time) < 0.01;
            if (beat.status != Rejected) kept.push_back(beat.time);
        }
        EXPECT_TRUE(found);
        ASSERT_EQ(kept.size(), clean.size());
        for (std::size_t i = 0; i < kept.size(); ++i)
            EXPECT_NEAR(kept[i], clean[i], 0.01) << i;
    }
}

TEST(CorrectBeats, LeavesRegularSeriesGapsAndShortSeriesAlone) {
    using enum BeatStatus;
    EXPECT_EQ(statuses(correct_beats(regular(100, 0.7))), std::vector<BeatStatus>(100, Normal));
    std::vector<double> gap = regular(40, 0.8);
    for (std::size_t i = 20; i < gap.size(); ++i)
        gap[i] += 5;  // five seconds without beats: two runs, no inserted beat
    EXPECT_EQ(statuses(correct_beats(gap)), std::vector<BeatStatus>(40, Normal));
    EXPECT_EQ(correct_beats(std::vector<double>{0, 0.1, 0.9}).size(), 3u);
    EXPECT_TRUE(correct_beats({}).empty());
}

TEST(NnIntervals, LeaveOutRejectedBeatsAndImplausibleIntervalsInRuns) {
    using enum BeatStatus;
    std::vector<Beat> beats;
    for (const double t : regular(20, 0.8))
        beats.push_back({t, Normal});
    beats[5].status = Corrected;
    beats.insert(beats.begin() + 10, Beat{beats[9].time + 0.3, Rejected});  // skipped
    for (std::size_t i = 15; i < beats.size(); ++i)
        beats[i].time += 2.5;                            // an interval beyond 2000 ms
    beats.push_back({beats.back().time + 1.0, Normal});  // plausible, but 25% off the median
    const NnIntervals nn = nn_intervals(beats);
    ASSERT_EQ(nn.ms.size(), 18u);
    for (const float ms : nn.ms)
        EXPECT_NEAR(ms, 800, 10);
    // A run ends where an interval is left out; a rejected beat is not one.
    EXPECT_EQ(nn.run_ends, (std::vector<std::size_t>{13, 18}));
}

}  // namespace
}  // namespace quorvanta
