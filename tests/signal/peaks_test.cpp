// SPDX-License-Identifier: Apache-2.0
#include "signal/peaks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

namespace quorvanta {
namespace {

// find_peaks defaults: no hint, 30 Hz, band 40-220 per minute, threshold 0.45, 2.5 cycles,
// drift 1.0, refractory fraction 0.25, refined and presmoothed.
const PeakDetectorConfig kDefaults{std::nullopt, 30, 40, 220, 0.45f, 2.5f, 1.0f, 0.25f, true, true};
using Spikes = std::vector<std::pair<std::size_t, float>>;
using Positions = std::vector<std::vector<float>>;

// Spikes on a zero baseline at 30 Hz, neither presmoothed nor refined; max_rate 120 and no
// refractory fraction give D = 15, min_rate 40 gives G = 112 and, without a hint, h = 56.
TEST(DetectPeaks, Cases) {
    const std::tuple<const char*, Spikes, Positions, std::optional<float>> cases[] = {
        {"plateau: first sample", {{20, 1}, {21, 1}}, {{20}}, {}},
        {"lower within D: dropped, last stays", {{20, 1}, {23, 0.9f}, {35, 1}}, {{20, 35}}, {}},
        {"higher, no higher neighbour: dropped", {{20, 1}, {23, 1.2f}}, {{20}}, {}},
        {"higher + higher neighbour: last moves", {{20, 1}, {22, 2}, {23, 3}, {35, 1}}, {{23}}, {}},
        {"gap of G joins, G + 1 splits", {{20, 1}, {132, 1}, {245, 1}}, {{20, 132}, {245}}, {}},
        {"hint 60 over 20 s: rate 70, D = 26", {{20, 1}, {45, 1}}, {{20}}, 60},
        {"hint 60 over 20 s: 26 apart", {{20, 1}, {46, 1}}, {{20, 46}}, 60},
        {"hint 60: h = 38 sees a huge sample", {{100, 1}, {138, 1000}}, {{138}}, 60},
        {"hint 60: h = 38 misses it", {{100, 1}, {139, 1000}}, {{100, 139}}, 60},
        {"h = 56 forgets it", {{100, 1000}, {157, 1}}, {{100, 157}}, {}},
        {"hint 200 capped at max_rate: D = 15", {{20, 1}, {30, 1}}, {{20}}, 200},
        {"a NaN poisons all later windows", {{100, 1}, {300, NAN}, {400, 1}}, {{100}}, {}},
        {"none where the sd is at most 1e-6", {{20, 1e-6f}}, {}, {}}};
    for (const auto& [name, spikes, positions, hint] : cases) {
        SCOPED_TRACE(name);
        std::vector<float> x(600, 0.0f);
        for (const auto& [index, value] : spikes)
            x[index] = value;
        Positions found;
        for (const auto& s : detect_peaks(x, {hint, 30, 40, 120, 0.1f, 2.5f, 1, 0, false, false})) {
            found.emplace_back();
            for (const Peak& peak : s)
                found.back().push_back(peak.position);
        }
        EXPECT_EQ(found, positions);
    }
}

// Presmoothed (L = 3, r = 1, D = 7) and refined. A raw maximum at index 0 (after relocation) and
// a flat triple have no parabola vertex, a vertex exactly half a sample away (the pair at 30) is
// kept, and the refractory distance counts from the working index.
TEST(DetectPeaks, RelocatedAndRefinedPeaks) {
    std::vector<float> x(50, 0.0f);
    x[0] = 1, x[2] = 0.9f;   // smoothed maximum at 1, raw maximum at 0
    x[6] = x[7] = x[8] = 1;  // at 7: within D of 1, not of 0, and no higher: dropped
    x[20] = x[21] = x[22] = x[30] = x[31] = 1, x[40] = 0.5f, x[41] = 1, x[42] = 0.75f;
    const PeakSegments expected{
        {{0, 0.0f, 1.0f}, {21, 21.0f, 1.0f}, {30, 30.5f, 1.0f}, {41, 41 + 1 / 6.0f, 1.0f}}};
    EXPECT_EQ(detect_peaks(x, kDefaults), expected);
}

}  // namespace
}  // namespace quorvanta
