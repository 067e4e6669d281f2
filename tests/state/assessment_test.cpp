// SPDX-License-Identifier: Apache-2.0
#include "state/assessment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "state/session.h"
#include "synthetic_recording.h"

namespace quorvanta {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kFps = 30;

// Fingertip-like pulses whose second harmonic outweighs the fundamental: a sharp systolic upstroke,
// a slower fall, and a strong dicrotic wave 0.4 of a period after the peak.
struct PulseRecording {
    std::vector<double> timestamps;
    std::vector<float> pulse;
    std::vector<double> beats;
};

PulseRecording harmonic_pulses(double bpm, double seconds, double noise, double wander,
                               unsigned seed) {
    PulseRecording r;
    for (double t = 0.3; t < seconds;) {
        r.beats.push_back(t);
        t += 60 / bpm * (1 + 0.04 * std::sin(2 * kPi * 0.2 * t));
    }
    std::mt19937 random(seed);
    std::normal_distribution<double> gaussian(0, noise);
    for (std::size_t i = 0; i < static_cast<std::size_t>(seconds * kFps); ++i) {
        const double t = static_cast<double>(i) / kFps;
        double v = wander * std::sin(2 * kPi * 0.07 * t) + gaussian(random);
        for (const double b : r.beats) {
            const double u = t - b;
            const double width = u < 0 ? 0.04 : 0.08;
            if (u > -0.3 && u < 1.0)
                v += std::exp(-u * u / (2 * width * width)) +
                     0.7 * std::exp(-std::pow(u - 0.4 * 60 / bpm, 2) / (2 * 0.06 * 0.06));
        }
        r.timestamps.push_back(t);
        r.pulse.push_back(static_cast<float>(v));
    }
    return r;
}

SessionInput batch(const PulseRecording& r, std::size_t first, std::size_t count,
                   const std::vector<float>* resp = nullptr) {
    SessionInput input;
    const auto slice = [&](const std::vector<float>& v) {
        return std::vector<float>(v.begin() + static_cast<std::ptrdiff_t>(first),
                                  v.begin() + static_cast<std::ptrdiff_t>(first + count));
    };
    input.timestamp = {r.timestamps.begin() + static_cast<std::ptrdiff_t>(first),
                       r.timestamps.begin() + static_cast<std::ptrdiff_t>(first + count)};
    input.signals["ppg_waveform"] = {slice(r.pulse), std::vector<float>(count, 1.0f)};
    if (resp)
        input.signals["respiratory_waveform"] = {slice(*resp), std::vector<float>(count, 1.0f)};
    return input;
}

// 60 / the mean interval of the true beats in (end - seconds, end].
double true_rate(const PulseRecording& r, double end, double seconds) {
    std::vector<double> in;
    for (const double b : r.beats) {
        if (b > end - seconds && b <= end) in.push_back(b);
    }
    return 60 * static_cast<double>(in.size() - 1) / (in.back() - in.front());
}

// The session reads these pulses' second harmonic at 45 to 72 per minute; the checks give the
// fundamental, within 2 per minute, in at least 95% of the 10 s windows at every rate, and leave
// the session's own values as a session that is never assessed gives them.
TEST(Assessment, GivesTheFundamentalOfHarmonicRichPulses) {
    for (const double bpm : {45.0, 60.0, 72.0, 90.0, 120.0}) {
        for (const auto& [noise, wander] : {std::pair{0.0, 0.0}, std::pair{0.08, 0.5}}) {
            SCOPED_TRACE(::testing::Message() << bpm << " bpm, noise " << noise);
            const PulseRecording r = harmonic_pulses(bpm, 60, noise, wander, 1);
            Session assessed(testing::session_config({"heart_rate"}));
            Session plain(testing::session_config({"heart_rate"}));
            int windows = 0, within = 0, harmonics = 0;
            for (std::size_t first = 0; first + 30 <= r.pulse.size(); first += 30) {
                const SessionResult result =
                    assessed.process(batch(r, first, 30), waveform_mode::Incremental{});
                EXPECT_EQ(plain.process(batch(r, first, 30), waveform_mode::Incremental{}).vitals,
                          result.vitals);
                if (!result.vitals.contains("heart_rate") || first < 300) continue;
                const VitalAssessment heart = assessed.assess().vitals.at("heart_rate");
                EXPECT_EQ(heart.value, result.vitals.at("heart_rate").value);
                const double truth = true_rate(r, r.timestamps[first + 29], 10);
                ++windows;
                within += std::fabs(heart.checked_value - truth) <= 2;
                harmonics += std::fabs(heart.value - 2 * truth) < 0.15 * truth;
            }
            EXPECT_GE(within, 0.95 * windows) << within << " of " << windows;
            if (bpm <= 72) {
                EXPECT_GT(harmonics, windows / 2);
            }
        }
    }
}

// A 15 per minute breathing trace under a slow drift that outweighs it: the session reads the
// drift for some windows; every reading below 6 per minute carries drift, and the checked rate is
// the breathing's, within 1.5 per minute, in every window of the full 30 s.
TEST(Assessment, GivesTheBreathingUnderDrift) {
    PulseRecording r = harmonic_pulses(70, 120, 0, 0, 2);
    std::vector<float> resp;
    for (const double t : r.timestamps)
        resp.push_back(static_cast<float>(std::sin(2 * kPi * 0.25 * t) +
                                          2 * std::sin(2 * kPi * 0.06 * t + 1)));
    Session session(testing::session_config({"respiratory_rate"}));
    int low = 0, windows = 0;
    for (std::size_t first = 0; first + 30 <= resp.size(); first += 30) {
        const SessionResult result =
            session.process(batch(r, first, 30, &resp), waveform_mode::Incremental{});
        if (!result.vitals.contains("respiratory_rate")) continue;
        const VitalAssessment breathing = session.assess().vitals.at("respiratory_rate");
        ++windows;
        if (r.timestamps[first] > 30) {
            EXPECT_NEAR(breathing.checked_value, 15, 1.5) << r.timestamps[first];
        }
        if (breathing.value < 6) {
            ++low;
            EXPECT_NE(std::find(breathing.reasons.begin(), breathing.reasons.end(), "drift"),
                      breathing.reasons.end());
        }
    }
    EXPECT_GT(low, 0);
    EXPECT_GT(windows, 90);
}

// Heart-rate variability of beats with a known rhythm, under noise: the corrected beats' metrics
// come close to the rhythm's, where the session's own are inflated by the beats' timing noise.
TEST(Assessment, ChecksHeartRateVariabilityOnCorrectedBeats) {
    const PulseRecording r = harmonic_pulses(65, 60, 0.08, 0, 3);
    Session session(testing::session_config({"hrv_sdnn", "hrv_rmssd", "heart_rate"}));
    for (std::size_t first = 0; first + 30 <= r.pulse.size(); first += 30)
        session.process(batch(r, first, 30), waveform_mode::Incremental{});
    const Assessment assessment = session.assess();
    std::vector<double> intervals;
    for (std::size_t i = 1; i < r.beats.size(); ++i)
        intervals.push_back((r.beats[i] - r.beats[i - 1]) * 1000);
    const double mean = std::accumulate(intervals.begin(), intervals.end(), 0.0) /
                        static_cast<double>(intervals.size());
    double squares = 0, successive = 0;
    for (std::size_t i = 0; i < intervals.size(); ++i) {
        squares += (intervals[i] - mean) * (intervals[i] - mean);
        if (i > 0) successive += std::pow(intervals[i] - intervals[i - 1], 2);
    }
    const double sdnn = std::sqrt(squares / static_cast<double>(intervals.size() - 1));
    const double rmssd = std::sqrt(successive / static_cast<double>(intervals.size() - 1));
    const VitalAssessment checked_sdnn = assessment.vitals.at("hrv_sdnn");
    const VitalAssessment checked_rmssd = assessment.vitals.at("hrv_rmssd");
    EXPECT_NEAR(checked_sdnn.checked_value, sdnn, 3);
    EXPECT_NEAR(checked_rmssd.checked_value, rmssd, 3);
    EXPECT_GT(std::fabs(checked_rmssd.value - rmssd),
              2 * std::fabs(checked_rmssd.checked_value - rmssd));
    EXPECT_EQ(assessment.beats.times.size(), assessment.beats.status.size());
}

// The beats are kept between calls block by block, which must not show: a session assessed after
// every overlapping batch, past the history's cap and across a reset, answers as one assessed
// only now and then.
TEST(Assessment, DependsOnTheHistoryAloneHoweverOftenAsked) {
    const PulseRecording r = harmonic_pulses(80, 100, 0.08, 0.5, 5);
    const SessionConfig config = testing::session_config({"heart_rate", "hrv_rmssd"});
    Session every_batch(config), now_and_then(config);
    // 66 batches: the history reaches its 60 s cap at batch 40 and is reset before batch 56.
    const std::set<std::size_t> compared{16, 45, 55, 65};
    for (std::size_t first = 0, n = 0; first + 60 <= r.pulse.size(); first += 45, ++n) {
        if (n == 56) {
            every_batch.reset();
            now_and_then.reset();
        }
        const SessionInput input = batch(r, first, 60);
        every_batch.process(input, waveform_mode::Incremental{});
        now_and_then.process(input, waveform_mode::Incremental{});
        const Assessment each = every_batch.assess();
        if (!compared.contains(n)) continue;
        SCOPED_TRACE(::testing::Message() << "batch " << n);
        EXPECT_EQ(each, now_and_then.assess());
        EXPECT_FALSE(each.beats.times.empty());
    }
}

// Stretches held at one value lower the quality, with the reason; a session with nothing processed,
// or reset, has nothing to assess.
TEST(Assessment, NamesFlatStretchesAndHasNothingBeforeABatch) {
    PulseRecording r = harmonic_pulses(70, 30, 0, 0, 4);
    std::fill(r.pulse.begin() + 650, r.pulse.begin() + 850, 1.0f);
    Session session(testing::session_config({"heart_rate"}));
    EXPECT_TRUE(session.assess().vitals.empty());
    session.process(batch(r, 0, r.pulse.size()), waveform_mode::Incremental{});
    const VitalAssessment heart = session.assess().vitals.at("heart_rate");
    EXPECT_LT(heart.quality, 0.5f);
    EXPECT_NE(std::find(heart.reasons.begin(), heart.reasons.end(), "flat"), heart.reasons.end());
    session.reset();
    EXPECT_EQ(session.assess(), Assessment{});
}

}  // namespace
}  // namespace quorvanta
