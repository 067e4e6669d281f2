// SPDX-License-Identifier: Apache-2.0
// Tests of the pulse extractors: worked examples of the projection and its windows, and synthetic
// skin-colour traces whose pulse is known, under changing light, noise and a bad frame.
#include "signal/skin_pulse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "signal/rate.h"

namespace quorvanta {
namespace {

std::vector<double> seconds(std::size_t frames, double fs) {
    std::vector<double> t(frames);
    for (std::size_t i = 0; i < frames; ++i)
        t[i] = static_cast<double>(i) / fs;
    return t;
}

// At 1 fps a window is the shortest, 3 frames. Worked by hand: in the first case the channels over
// their window means are c_R = (1, 0.5, 1.5), c_G = (0.5, 1, 1.5), c_B = 1, so s1 = (-0.5, 0, 0.5),
// s2 = (-0.5, 1, -0.5), sd(s1) / sd(s2) = sqrt(1/6) / sqrt(1/2) = 1 / sqrt 3.
TEST(SkinPulse, WorkedExamplesOfThePlaneOrthogonalToSkin) {
    const double third = 1 / std::sqrt(3.0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* name;
        std::vector<float> red, green, blue;
        std::vector<double> timestamps;
        std::vector<double> pulse, confidence;
    } cases[] = {
        {"one window",
         {2, 1, 3},
         {1, 2, 3},
         {1, 1, 1},
         {0, 1, 2},
         {0.5 + 0.5 * third, -third, -0.5 + 0.5 * third},
         {1, 1, 1}},
        {"two windows add up",  // h = (1, 0, -1), then (2/3, 0, -2/3) one frame on
         {1, 1, 1, 1},
         {1, 2, 3, 4},
         {1, 1, 1, 1},
         {0, 1, 2, 3},
         {1, 2 / 3.0, -1, -2 / 3.0},
         {1, 1, 1, 1}},
        {"a flat chrominance carries no weight",  // sd(s2) = 0: h = -s1
         {1, 1, 1},
         {1, 2, 3},
         {3, 2, 1},
         {0, 1, 2},
         {1, 0, -1},
         {1, 1, 1}},
        {"a bad frame silences its windows",
         {1, 1, 1, 1},
         {1, 2, nan, 4},
         {1, 1, 1, 1},
         {0, 1, 2, 3},
         {0, 0, 0, 0},
         {0, 0, 0, 0}},
        {"fewer frames than a window", {1, 1}, {1, 2}, {1, 1}, {0, 1}, {0, 0}, {0, 0}},
        {"no frame interval", {1, 1, 1}, {1, 2, 3}, {1, 1, 1}, {5, 5, 5}, {0, 0, 0}, {0, 0, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const SignalInput result =
            extract_pulse(c.red, c.green, c.blue, c.timestamps, PulseMethod::Pos);
        ASSERT_EQ(result.data.size(), c.pulse.size());
        for (std::size_t i = 0; i < c.pulse.size(); ++i) {
            EXPECT_NEAR(result.data[i], c.pulse[i], 1e-6) << i;
            EXPECT_NEAR(result.confidence[i], c.confidence[i], 1e-6) << i;
        }
    }
}

// Skin of tone (0.75, 0.55, 0.45) that reflects less light as its blood volume pulses at 72 per
// minute, along the normalised pulse signature (0.33, 0.77, 0.53), under light that drifts by
// 10 %, steps by 20 % at 10 s and flickers, with the sensor noise left after averaging a region:
// each method recovers the blood volume pulse, rising with it.
struct SyntheticSkin {
    std::vector<float> red, green, blue;
    std::vector<double> timestamps;
    std::vector<double> pulse;
};

SyntheticSkin synthetic_skin(double fs, double seconds_long, double pulse_hz) {
    const auto frames = static_cast<std::size_t>(fs * seconds_long);
    const double tone[] = {0.75, 0.55, 0.45};
    const double signature[] = {0.33, 0.77, 0.53};
    std::mt19937 random(3);
    std::normal_distribution<double> noise(0.0, 0.0001);
    SyntheticSkin skin{{}, {}, {}, seconds(frames, fs), {}};
    for (const double t : skin.timestamps) {
        const double pulse = std::sin(2 * std::numbers::pi * pulse_hz * t) +
                             0.3 * std::sin(4 * std::numbers::pi * pulse_hz * t + 1.0);
        const double light = (1 + 0.1 * std::sin(2 * std::numbers::pi * 0.05 * t)) *
                             (t < 10 ? 1.0 : 1.2) *
                             (1 + 0.01 * std::sin(2 * std::numbers::pi * 0.4 * t));
        std::vector<float>* channels[] = {&skin.red, &skin.green, &skin.blue};
        for (int k = 0; k < 3; ++k) {
            const double value = light * tone[k] * (1 - 0.002 * signature[k] * pulse);
            channels[k]->push_back(static_cast<float>(value + noise(random)));
        }
        skin.pulse.push_back(pulse);
    }
    return skin;
}

double correlation(const std::vector<float>& a, const std::vector<double>& b, std::size_t first,
                   std::size_t last) {
    double ma = 0, mb = 0;
    for (std::size_t i = first; i < last; ++i) {
        ma += a[i];
        mb += b[i];
    }
    const auto n = static_cast<double>(last - first);
    ma /= n;
    mb /= n;
    double ab = 0, aa = 0, bb = 0;
    for (std::size_t i = first; i < last; ++i) {
        ab += (a[i] - ma) * (b[i] - mb);
        aa += (a[i] - ma) * (a[i] - ma);
        bb += (b[i] - mb) * (b[i] - mb);
    }
    return ab / std::sqrt(aa * bb);
}

TEST(SkinPulse, RecoversTheRenderedPulseUnderChangingLight) {
    for (const double fs : {30.0, 15.0}) {
        const SyntheticSkin skin = synthetic_skin(fs, 20.0, 1.2);
        for (const auto& [method, name] :
             {std::pair{PulseMethod::Pos, "POS"}, std::pair{PulseMethod::Chrom, "CHROM"}}) {
            SCOPED_TRACE(std::string(name) + " at " + std::to_string(fs));
            const SignalInput result =
                extract_pulse(skin.red, skin.green, skin.blue, skin.timestamps, method);
            EXPECT_NEAR(estimate_heart_rate(result.data, static_cast<float>(fs)).rate, 72.0, 1.0);
            const auto second = static_cast<std::size_t>(fs);
            EXPECT_GT(correlation(result.data, skin.pulse, 2 * second, 9 * second), 0.9);
            EXPECT_GT(correlation(result.data, skin.pulse, 12 * second, 18 * second), 0.9);
            EXPECT_TRUE(std::all_of(result.confidence.begin(), result.confidence.end(),
                                    [](float c) { return c == 1.0F; }));
        }
    }
}

TEST(SkinPulse, ABadFrameLowersTheConfidenceOfTheWindowsAroundIt) {
    SyntheticSkin skin = synthetic_skin(30.0, 10.0, 1.2);
    skin.green[150] = std::numeric_limits<float>::quiet_NaN();
    const SignalInput result =
        extract_pulse(skin.red, skin.green, skin.blue, skin.timestamps, PulseMethod::Pos);
    const std::size_t window = 48;  // 1.6 s at 30 fps
    EXPECT_EQ(result.data[150], 0.0F);
    EXPECT_EQ(result.confidence[150], 0.0F);
    EXPECT_NEAR(result.confidence[150 - window / 2], 0.5, 1.0 / window);
    EXPECT_EQ(result.confidence[150 - window], 1.0F);
    EXPECT_EQ(result.confidence[150 + window], 1.0F);
}

}  // namespace
}  // namespace quorvanta
