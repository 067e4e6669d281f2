// SPDX-License-Identifier: Apache-2.0
// Vital estimation over a session's history: accuracy, windows, fallbacks, notes.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <numeric>
#include <optional>
#include <tuple>

#include "state/session.h"
#include "state/synthetic_recording.h"
#include "state/vitals.h"

namespace {

using namespace quorvanta;
using quorvanta::testing::kEveryVital;
using quorvanta::testing::make_recording;
using quorvanta::testing::session_config;

// The sample standard deviation of `v`, and the root mean square of its successive differences.
double stddev(const std::vector<double>& v) {
    const double mean = std::accumulate(v.begin(), v.end(), 0.0) / v.size();
    const double squares = std::inner_product(v.begin(), v.end(), v.begin(), 0.0);
    return std::sqrt((squares - v.size() * mean * mean) / (v.size() - 1));
}
double rmssd(std::vector<double> v) {
    std::adjacent_difference(v.begin(), v.end(), v.begin());
    v.erase(v.begin());
    return std::sqrt(std::inner_product(v.begin(), v.end(), v.begin(), 0.0) / v.size());
}

TEST(Vitals, EstimatesSyntheticModelOutput) {
    const auto recording = make_recording(70.0, 30.0, 7);
    Session session(session_config(kEveryVital));
    decltype(SessionResult::vitals) vitals;
    for (std::size_t first = 0; first < recording.timestamps.size(); first += 150 - 19)
        vitals = session.process(recording.batch(first, 150), waveform_mode::Incremental{}).vitals;
    ASSERT_EQ(vitals.size(), kEveryVital.size());
    const auto intervals = recording.clean_intervals(recording.timestamps.back() - 60.0);
    EXPECT_NEAR(vitals.at("hrv_sdnn").value, stddev(intervals), 0.1 * stddev(intervals));
    EXPECT_NEAR(vitals.at("hrv_rmssd").value, rmssd(intervals), 0.1 * rmssd(intervals));
    const std::tuple<const char*, float, float> truths[] = {
        // id, truth, tolerance
        {"heart_rate", 72, 1}, {"respiratory_rate", 15, 1}, {"spo2", 97, 0.5f},    {"sbp", 120, 3},
        {"dbp", 80, 3},        {"pulse_pressure", 40, 4},   {"ie_ratio", 1, 0.15f}};
    for (const auto& [id, truth, tolerance] : truths)
        EXPECT_NEAR(vitals.at(id).value, truth, tolerance) << id;
    EXPECT_NEAR(vitals.at("heart_rate").confidence, 0.9f, 1e-5f);
    EXPECT_EQ(vitals.at("heart_rate").unit, "bpm");
    EXPECT_EQ(vitals.at("heart_rate").note,
              "Latest estimate of Heart Rate with confidence score using m1.");
}

TEST(Vitals, NeedMinSecondsOfHistory) {
    const auto recording = make_recording(10.0, 30.0, 3);
    for (const std::size_t stored : {149u, 150u}) {
        SCOPED_TRACE(stored);
        Session session(session_config({"hr", "heart_rate", "unknown"}));
        const auto vitals =
            session.process(recording.batch(0, stored), waveform_mode::Global{}).vitals;
        EXPECT_EQ(vitals.size(), stored == 150 ? 1u : 0u);
        for (const auto& [id, vital] : vitals)  // the duplicate "hr" is estimated once
            EXPECT_EQ(id + ": " + vital.note,
                      "heart_rate: Global estimate of Heart Rate with confidence score using m1.");
    }
}

TEST(Vitals, FallBackToTheNextMethod) {
    // An ABP waveform far below the plausible pressures: sbp, dbp and pulse pressure fall back
    // to the per-frame sbp and dbp signals; map's first method (ABP mean) fails its range too.
    SessionInput input;
    for (int i = 0; i < 300; ++i) {
        input.timestamp.push_back(i / 30.0);
        const float abp = 1.0f + 0.5f * std::sin(static_cast<float>(i) * 0.25f);
        for (const auto& [id, value] :
             {std::pair{"abp_waveform", abp}, {"sbp", 130.0f}, {"dbp", 85.0f}}) {
            input.signals[id].data.push_back(value);
            input.signals[id].confidence.push_back(0.5f);
        }
    }
    Session session(session_config({"sbp", "dbp", "map", "pulse_pressure"}));
    const auto vitals = session.process(input, waveform_mode::Incremental{}).vitals;
    EXPECT_EQ(vitals.at("sbp").value, 130.0f);
    EXPECT_EQ(vitals.at("sbp").confidence, 0.5f);
    EXPECT_EQ(vitals.at("dbp").value, 85.0f);
    EXPECT_FLOAT_EQ(vitals.at("map").value, 100.0f);
    EXPECT_EQ(vitals.at("map").confidence, 1.0f);
    EXPECT_EQ(vitals.at("pulse_pressure").value, 45.0f);
}

}  // namespace
