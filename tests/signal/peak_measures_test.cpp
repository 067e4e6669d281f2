// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <optional>
#include <tuple>
#include <vector>

#include "signal/peak_measures.h"

namespace quorvanta {
namespace {

// One hostile value at a time in the rate, the hint or the band of 30 s of breathing at 15 per
// minute: the trough mean and the I:E ratio are finite, non-negative where a ratio, and carry the
// confidence of the peaks they found (0.9) or none.
TEST(PeakMeasures, HostileNumbers) {
    std::vector<float> x(900), c(900, 0.9f);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] = std::sin(2 * std::numbers::pi_v<float> * 0.25f * float(i) / 30);
    const float hostile[] = {NAN, INFINITY, -INFINITY, 0, -1, 1e-45f, 1e-30f, 1e30f, 3.4e38f};
    for (const float v : hostile) {
        // The lowest valid value: trough amplitudes may be negative, ratios may not.
        const std::tuple<const char*, PeakMeasure, float> estimates[] = {
            {"trough mean, fs", extremum_mean(x, c, true, v, 40, 220), -INFINITY},
            {"I:E, fs", ie_ratio(x, c, std::nullopt, v, 3, 60), 0},
            {"I:E, hint", ie_ratio(x, c, v, 30, 3, 60), 0},
            {"I:E, min_rate", ie_ratio(x, c, std::nullopt, 30, v, 60), 0},
            {"I:E, max_rate", ie_ratio(x, c, std::nullopt, 30, 3, v), 0}};
        for (const auto& [name, e, lowest] : estimates) {
            SCOPED_TRACE(::testing::Message() << name << " " << v);
            EXPECT_TRUE(std::isfinite(e.value) && e.value >= lowest) << e.value;
            EXPECT_TRUE(e.confidence == 0.0f || std::fabs(e.confidence - 0.9f) < 1e-6f);
        }
    }
}

}  // namespace
}  // namespace quorvanta
