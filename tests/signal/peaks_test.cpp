#include "signal/peaks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <utility>
#include <vector>

namespace quorvanta {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// find_peaks defaults: no hint, 30 Hz, band 40-220 per minute, threshold 0.45, 2.5 cycles,
// drift 1.0, refractory fraction 0.25, refined and presmoothed.
PeakDetectorConfig defaults() {
    return {std::nullopt, 30, 40, 220, 0.45f, 2.5f, 1.0f, 0.25f, true, true};
}

std::vector<float> sine(std::size_t n) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = std::sin(2 * std::numbers::pi_v<float> * i / 25);
    return x;
}

TEST(DetectPeaks, SineAtOnePointTwoHertz) {
    const std::vector<float> x = sine(300);
    const PeakSegments segments = detect_peaks(x, defaults());
    ASSERT_EQ(segments.size(), 1u);
    ASSERT_EQ(segments[0].size(), 12u);
    for (std::size_t k = 0; k < 12; ++k) {
        EXPECT_EQ(segments[0][k].index, 6 + 25 * k);
        EXPECT_NEAR(segments[0][k].position, 6.25f + 25.0f * k, 0.01f);
        EXPECT_EQ(segments[0][k].value, x[6 + 25 * k]);
    }
}

// Spikes on a zero baseline at 30 Hz, not presmoothed; max_rate 120 and no refractory fraction
// give D = 15, min_rate 40 gives G = 112 and, without a hint, h = 56.
TEST(DetectPeaks, Cases) {
    struct Case {
        const char* name;
        std::vector<std::pair<std::size_t, float>> spikes;
        std::vector<std::vector<float>> positions;
        std::optional<float> hint = std::nullopt;
        bool refine = false;
    };
    const Case cases[] = {
        {"plateau: first sample", {{20, 1}, {21, 1}}, {{20}}},
        {"lower within D: dropped, last stays", {{20, 1}, {23, 0.9f}, {35, 1}}, {{20, 35}}},
        {"higher, no higher neighbour: dropped", {{20, 1}, {23, 1.2f}}, {{20}}},
        {"higher with higher neighbour: replaces, last moves",
         {{20, 1}, {22, 1.1f}, {23, 1.2f}, {35, 0.9f}},
         {{23}}},
        {"gap of G joins, G + 1 splits", {{20, 1}, {132, 1}, {245, 1}}, {{20, 132}, {245}}},
        {"hint 60 over 20 s: rate 70, D = 26", {{20, 1}, {45, 1}}, {{20}}, 60.0f},
        {"hint 60 over 20 s: 26 apart", {{20, 1}, {46, 1}}, {{20, 46}}, 60.0f},
        {"hint 60: h = 38 sees a huge sample", {{100, 1}, {138, 1000}}, {{138}}, 60.0f},
        {"hint 60: h = 38 misses it", {{100, 1}, {139, 1000}}, {{100, 139}}, 60.0f},
        {"h = 56 forgets it", {{100, 1000}, {157, 1}}, {{100, 157}}},
        {"parabola vertex", {{20, 0.5f}, {21, 1}, {22, 0.75f}}, {{21 + 1 / 6.0f}}, {}, true},
        {"vertex half a sample away", {{20, 1}, {21, 1}}, {{20.5f}}, {}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<float> x(600, 0.0f);
        for (const auto& [index, value] : c.spikes)
            x[index] = value;
        const PeakDetectorConfig config{c.hint, 30, 40, 120, 0.1f, 2.5f, 1, 0, c.refine, false};
        std::vector<std::vector<float>> found;
        for (const auto& segment : detect_peaks(x, config)) {
            found.emplace_back();
            for (const Peak& peak : segment)
                found.back().push_back(peak.position);
        }
        EXPECT_EQ(found, c.positions);
    }
}

// A lone unit spike among c window samples stands out exactly when sqrt(c - 1) > threshold.
// Here h = 56 of 600 samples: c = 113 in full, 67 at index 10 and 61 at index 595.
TEST(DetectPeaks, LoneSpikeAgainstItsWindowCount) {
    struct Case {
        std::size_t index;
        float threshold;
        bool found;
    };
    const Case cases[] = {{300, 10.55f, true}, {300, 10.62f, false}, {56, 10.55f, true},
                          {10, 8.10f, true},   {10, 8.15f, false},   {595, 7.72f, true},
                          {595, 7.77f, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "spike at " << c.index << ", threshold " << c.threshold);
        std::vector<float> x(600, 0.0f);
        x[c.index] = 1;
        PeakDetectorConfig config = defaults();
        config.presmooth = false, config.detection_threshold = c.threshold;
        EXPECT_EQ(detect_peaks(x, config).size(), c.found ? 1u : 0u);
    }
}

// Presmoothed with L = 3, D = 7. A raw maximum at index 0 (after relocation) and a flat triple
// have no parabola vertex; the refractory distance counts from the working index.
TEST(DetectPeaks, RelocatedPeaks) {
    std::vector<float> x(40, 0.0f);
    x[0] = 1.0f, x[2] = 0.9f;   // smoothed maximum at 1, raw maximum at 0
    x[6] = x[7] = x[8] = 1.0f;  // at 7: within D of 1, not of 0, and no higher: dropped
    x[20] = x[21] = x[22] = 1.0f;
    EXPECT_EQ(detect_peaks(x, defaults()), (PeakSegments{{{0, 0.0f, 1.0f}, {21, 21.0f, 1.0f}}}));
}

TEST(DetectPeaks, DegenerateInputGivesNeutralResults) {
    std::vector<float> x = sine(600);
    x[300] = kNaN;  // no peak once the window (h = 56) reaches it
    EXPECT_LT(detect_peaks(x, defaults()).back().back().index, 300u - 56u);
    EXPECT_TRUE(detect_peaks(std::vector<float>{0, 1}, defaults()).empty());
    EXPECT_TRUE(detect_peaks(std::vector<float>(100, 3.0f), defaults()).empty());
    x[300] = 1e38f, x[310] = -kInf;
    for (const float value : {0.0f, -30.0f, kNaN, kInf, 1e30f}) {
        for (float PeakDetectorConfig::*field :
             {&PeakDetectorConfig::fs, &PeakDetectorConfig::min_rate, &PeakDetectorConfig::max_rate,
              &PeakDetectorConfig::window_cycles}) {
            PeakDetectorConfig config = defaults();
            config.*field = value;
            for (const auto hint : {std::optional<float>(), std::optional(value)}) {
                config.rate_hint = hint;
                for (const auto& segment : detect_peaks(x, config))
                    for (const Peak& peak : segment)
                        EXPECT_LT(peak.index, x.size()) << value;
            }
        }
    }
}

}  // namespace
}  // namespace quorvanta
