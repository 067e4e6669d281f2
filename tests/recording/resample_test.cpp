// SPDX-License-Identifier: Apache-2.0
// Tests of resampling a recording: against a reference that applies the documented rule to every
// frame by scanning every sample, on irregular timestamps with missing values and a gap.
#include "recording/resample.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <vector>

namespace quorvanta {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// About 125 Hz with jitter, one value in 20 missing, a 0.7 s gap from 2 s, and one frame without a
// finite timestamp.
Recording irregular_recording() {
    std::mt19937 random(7);
    std::uniform_real_distribution<double> jitter(-0.002, 0.002);
    std::uniform_real_distribution<float> value(-1.0F, 1.0F);
    Recording recording;
    RecordedSignal signal{"ppg_waveform", {}, {}};
    FaceTrack face;
    for (int i = 0; i < 600; ++i) {
        const double t = 10.0 + i / 125.0 + jitter(random);
        if (t > 12.0 && t < 12.7) continue;
        recording.timestamps.push_back(i == 300 ? std::nan("") : t);
        signal.data.push_back(i % 20 == 3 ? kNaN : value(random));
        signal.confidence.push_back((value(random) + 1.0F) / 2.0F);
        face.boxes.push_back({static_cast<float>(i), 0, 1, 1});
        face.confidence.push_back(static_cast<float>(i) / 600.0F);
    }
    recording.signals.push_back(std::move(signal));
    recording.face = std::move(face);
    return recording;
}

struct Expected {
    double value;
    double confidence;
};

// Frame time `t` at `rate`, by scanning every sample.
Expected reference_sample(const Recording& recording, double t, double rate) {
    const auto& times = recording.timestamps;
    const RecordedSignal& signal = recording.signals.front();
    const double half = 0.5 / rate;
    double sum = 0, confidence = 0;
    int in_window = 0, finite = 0;
    std::optional<std::size_t> before, after;
    for (std::size_t i = 0; i < times.size(); ++i) {
        if (!std::isfinite(times[i])) continue;
        if (times[i] >= t - half && times[i] < t + half) {
            ++in_window;
            if (std::isfinite(signal.data[i])) {
                sum += signal.data[i];
                confidence += signal.confidence[i];
                ++finite;
            }
        }
        if (times[i] < t - half && (!before || times[i] >= times[*before])) before = i;
        if (times[i] >= t + half && (!after || times[i] < times[*after])) after = i;
    }
    if (finite > 0) return {sum / finite, confidence / finite};
    if (in_window > 0 || !before || !after || times[*after] - times[*before] > 0.5 ||
        !std::isfinite(signal.data[*before]) || !std::isfinite(signal.data[*after]))
        return {std::nan(""), 0};
    const double w = (t - times[*before]) / (times[*after] - times[*before]);
    const auto between = [w](double a, double b) { return a + w * (b - a); };
    return {between(signal.data[*before], signal.data[*after]),
            between(signal.confidence[*before], signal.confidence[*after])};
}

float reference_face_index(const Recording& recording, double t) {
    std::optional<std::size_t> nearest;
    for (std::size_t i = 0; i < recording.frames(); ++i) {
        const double t_i = recording.timestamps[i];
        if (!std::isfinite(t_i)) continue;
        if (!nearest || std::abs(t_i - t) < std::abs(recording.timestamps[*nearest] - t))
            nearest = i;
    }
    return recording.face->boxes[*nearest][0];
}

TEST(Resample, EveryFrameIsWhatTheRuleMakesOfTheSamples) {
    const Recording recording = irregular_recording();
    for (const double rate : {30.0, 125.0, 400.0}) {
        SCOPED_TRACE(rate);
        const Recording result = resampled(recording, rate, "r");
        const double first = recording.timestamps.front();
        ASSERT_EQ(
            result.frames(),
            static_cast<std::size_t>(std::floor((recording.timestamps.back() - first) * rate)) + 1);
        std::size_t missing = 0;
        for (std::size_t k = 0; k < result.frames(); ++k) {
            const double t = first + static_cast<double>(k) / rate;
            ASSERT_DOUBLE_EQ(result.timestamps[k], t);
            const Expected expected = reference_sample(recording, t, rate);
            const float value = result.signals.front().data[k];
            if (std::isnan(expected.value)) {
                EXPECT_TRUE(std::isnan(value)) << k;
                ++missing;
            } else {
                EXPECT_NEAR(value, expected.value, 1e-5) << k;
            }
            EXPECT_NEAR(result.signals.front().confidence[k], expected.confidence, 1e-5) << k;
            EXPECT_EQ(result.face->boxes[k][0], reference_face_index(recording, t)) << k;
        }
        EXPECT_GE(static_cast<double>(missing), 0.45 * rate);  // the gap, less what borders it
    }
}

}  // namespace
}  // namespace quorvanta
