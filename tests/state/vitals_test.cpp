// Vital estimation over a session's history: accuracy, windows, fallbacks, notes.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "state/session.h"
#include "state/synthetic_recording.h"

namespace quorvanta {
namespace {

const WaveformMode kIncremental = waveform_mode::Incremental{};
const WaveformMode kGlobal = waveform_mode::Global{};

SessionConfig config_for(std::vector<std::string> vitals) {
    return SessionConfig{"m1", std::move(vitals), std::nullopt, 30.0f, 40, 4, "face"};
}

std::vector<std::string> every_vital() {
    return {"heart_rate", "respiratory_rate", "spo2",         "hrv_sdnn", "hrv_rmssd", "hrv_lfhf",
            "hrv_pnn50",  "hrv_sd1sd2",       "stress_index", "ie_ratio", "sbp",       "dbp",
            "map",        "pulse_pressure"};
}

double stddev(const std::vector<double>& values) {
    const double mean = std::accumulate(values.begin(), values.end(), 0.0) / values.size();
    double squares = 0;
    for (double v : values)
        squares += (v - mean) * (v - mean);
    return std::sqrt(squares / (values.size() - 1));
}

double rmssd(const std::vector<double>& intervals) {
    double squares = 0;
    for (std::size_t i = 1; i < intervals.size(); ++i) {
        squares += std::pow(intervals[i] - intervals[i - 1], 2);
    }
    return std::sqrt(squares / (intervals.size() - 1));
}

// A constant per-frame signal, or a slow sine when `amplitude` is not 0.
SignalInput signal(std::size_t frames, float level, float amplitude = 0) {
    SignalInput s;
    for (std::size_t i = 0; i < frames; ++i) {
        s.data.push_back(level + amplitude * std::sin(static_cast<float>(i) * 0.25f));
        s.confidence.push_back(0.5f);
    }
    return s;
}

SessionInput frames(std::size_t count) {
    SessionInput input;
    for (std::size_t i = 0; i < count; ++i)
        input.timestamp.push_back(i / 30.0);
    return input;
}

TEST(Vitals, EstimatesSyntheticModelOutput) {
    const auto recording = testing::make_recording(70.0, 30.0, 7);
    Session session(config_for(every_vital()));
    SessionResult result;
    for (std::size_t first = 0; first < recording.timestamps.size(); first += 150 - 19) {
        result = session.process(recording.batch(first, 150), kIncremental);
    }
    const auto& vitals = result.vitals;
    ASSERT_EQ(vitals.size(), every_vital().size());
    EXPECT_NEAR(vitals.at("heart_rate").value, 72.0f, 1.0f);
    EXPECT_NEAR(vitals.at("heart_rate").confidence, 0.9f, 1e-5f);
    EXPECT_NEAR(vitals.at("respiratory_rate").value, 15.0f, 1.0f);
    const auto intervals = recording.clean_intervals(recording.timestamps.back() - 60.0);
    EXPECT_NEAR(vitals.at("hrv_sdnn").value, stddev(intervals), 0.1 * stddev(intervals));
    EXPECT_NEAR(vitals.at("hrv_rmssd").value, rmssd(intervals), 0.1 * rmssd(intervals));
    EXPECT_NEAR(vitals.at("spo2").value, 97.0f, 0.5f);
    EXPECT_NEAR(vitals.at("sbp").value, 120.0f, 3.0f);
    EXPECT_NEAR(vitals.at("dbp").value, 80.0f, 3.0f);
    EXPECT_NEAR(vitals.at("pulse_pressure").value, 40.0f, 4.0f);
    EXPECT_NEAR(vitals.at("ie_ratio").value, 1.0f, 0.15f);
    EXPECT_EQ(vitals.at("heart_rate").unit, "bpm");
    EXPECT_EQ(vitals.at("heart_rate").note,
              "Latest estimate of Heart Rate with confidence score using m1.");
}

TEST(Vitals, NeedMinSecondsOfHistory) {
    const auto recording = testing::make_recording(10.0, 30.0, 3);
    for (const std::size_t stored : {149u, 150u}) {
        Session session(config_for({"hr", "heart_rate", "unknown"}));
        const auto vitals = session.process(recording.batch(0, stored), kGlobal).vitals;
        EXPECT_EQ(vitals.size(), stored == 150 ? 1u : 0u);
        if (stored == 150) {
            EXPECT_EQ(vitals.at("heart_rate").note,
                      "Global estimate of Heart Rate with confidence score using m1.");
        }
    }
}

TEST(Vitals, FallBackToTheNextMethod) {
    // An ABP waveform far below the plausible pressures: sbp, dbp and pulse pressure fall back
    // to the per-frame sbp and dbp signals; map's first method (ABP mean) fails its range too.
    SessionInput input = frames(300);
    input.signals["abp_waveform"] = signal(300, 1.0f, 0.5f);
    input.signals["sbp"] = signal(300, 130.0f);
    input.signals["dbp"] = signal(300, 85.0f);
    Session session(config_for({"sbp", "dbp", "map", "pulse_pressure"}));
    const auto vitals = session.process(input, kIncremental).vitals;
    EXPECT_EQ(vitals.at("sbp").value, 130.0f);
    EXPECT_EQ(vitals.at("sbp").confidence, 0.5f);
    EXPECT_EQ(vitals.at("dbp").value, 85.0f);
    EXPECT_FLOAT_EQ(vitals.at("map").value, 100.0f);
    EXPECT_EQ(vitals.at("map").confidence, 1.0f);
    EXPECT_EQ(vitals.at("pulse_pressure").value, 45.0f);
}

}  // namespace
}  // namespace quorvanta
