// SPDX-License-Identifier: Apache-2.0
// Tests of the respiration from a region's vertical motion: a worked example, profiles rendered at
// known sub-row shifts under changing light, and frames that cannot be matched.
#include "signal/region_motion.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace quorvanta {
namespace {

// A face-like row profile of 40 rows (brow, eyes, nose, mouth as dark and bright bands), shifted
// up by `rise` rows, under light of `gain` and `offset`.
std::vector<float> profile(double rise, double gain = 1, double offset = 0) {
    std::vector<float> rows(40);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const double y = static_cast<double>(i) + rise;
        const double face = 120 + 40 * std::exp(-std::pow((y - 20) / 9, 2)) -
                            30 * std::exp(-std::pow((y - 14) / 2, 2)) -
                            25 * std::exp(-std::pow((y - 27) / 2.5, 2));
        rows[i] = static_cast<float>(gain * face + offset);
    }
    return rows;
}

std::vector<float> frames_of(const std::vector<std::vector<float>>& profiles) {
    std::vector<float> flat;
    for (const auto& rows : profiles)
        flat.insert(flat.end(), rows.begin(), rows.end());
    return flat;
}

// Rows (0, 0, 1, 0, 0) against (0, 1, 0, 0, 0): five rows search the lags -1 to 1; the content
// moved up by one row, lag -1 has ncc 1 (ncc(0) = -0.25) and lies at the edge of the search, so
// no parabola moves it.
TEST(RegionMotion, WorkedExampleOfOneRowUp) {
    const std::vector<float> reference{0, 0, 1, 0, 0}, frame{0, 1, 0, 0, 0};
    const SignalInput rise = extract_respiration(reference, frame);
    ASSERT_EQ(rise.data.size(), 1u);
    EXPECT_FLOAT_EQ(rise.data[0], 1.0f);
    EXPECT_FLOAT_EQ(rise.confidence[0], 1.0f);
}

TEST(RegionMotion, FollowsSubRowShiftsWhateverTheLight) {
    const std::vector<float> reference = profile(0);
    const struct {
        double rise, gain, offset;
    } cases[] = {{0, 1, 0},    {0.4, 1, 0},     {-0.3, 1, 0},   {1.5, 1, 0},
                 {-2.2, 1, 0}, {0.7, 1.3, -20}, {-1.1, 0.6, 35}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.rise);
        const SignalInput rise = extract_respiration(reference, profile(c.rise, c.gain, c.offset));
        ASSERT_EQ(rise.data.size(), 1u);
        EXPECT_NEAR(rise.data[0], c.rise, 0.1);
        EXPECT_GT(rise.confidence[0], 0.97f);
    }
}

TEST(RegionMotion, FramesThatCannotBeMatchedAreMissing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    std::vector<float> broken = profile(0.5);
    broken[7] = nan;
    const std::vector<float> flat(40, 80.0f);
    const SignalInput rise =
        extract_respiration(profile(0), frames_of({profile(0.5), broken, flat, profile(-0.5)}));
    ASSERT_EQ(rise.data.size(), 4u);
    for (const std::size_t missing : {1u, 2u}) {
        EXPECT_TRUE(std::isnan(rise.data[missing]));
        EXPECT_EQ(rise.confidence[missing], 0.0f);
    }
    EXPECT_NEAR(rise.data[3], -0.5, 0.1);

    const std::vector<float> two_rows{1, 2};
    const SignalInput too_few = extract_respiration(two_rows, frames_of({two_rows, two_rows}));
    EXPECT_EQ(too_few.data.size(), 2u);
    EXPECT_TRUE(std::isnan(too_few.data[0]) && too_few.confidence[1] == 0.0f);
    EXPECT_TRUE(extract_respiration({}, {}).data.empty());
}

TEST(RegionMotion, ProfilesThatAreNotWholeAreNamed) {
    EXPECT_EQ(profile_mismatch(4, 8), std::nullopt);
    EXPECT_EQ(profile_mismatch(0, 0), std::nullopt);
    EXPECT_EQ(profile_mismatch(4, 10),
              "Length mismatch: frame_rows has length 10, expected a multiple of 4 (the length "
              "of reference_rows)");
    EXPECT_EQ(profile_mismatch(0, 3),
              "Length mismatch: frame_rows has length 3, expected 0 (reference_rows is empty)");
}

}  // namespace
}  // namespace quorvanta
