// SPDX-License-Identifier: Apache-2.0
#include "state/series.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

namespace {

using namespace quorvanta;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

TEST(Series, MergesOverlapsAndForwardFillsNewSamples) {
    using Values = std::vector<float>;
    // name, stored, batch, overlap, expected
    const std::tuple<const char*, Values, Values, std::size_t, Values> cases[] = {
        {"first batch", {}, {1, 2, 3}, 0, {1, 2, 3}},
        {"new series takes even overlapping values", {}, {1, 2, 3}, 2, {1, 2, 3}},
        {"overlap averages into the newest samples", {1, 2, 3}, {4, 6, 9}, 2, {1, 3, 4.5f, 9}},
        {"overlap longer than the series", {2}, {4, 8}, 5, {3, 8}},
        {"only repeats", {1, 2}, {3, 4}, 2, {2, 3}},
        {"NaN in the overlap leaves the sample", {1, 2}, {kNaN, 9}, 1, {1, 2, 9}},
        {"new NaN repeats the last mean", {1, 3}, {5, kNaN, kNaN, 7}, 1, {1, 4, 4, 4, 7}},
        {"leading NaN starts at zero", {}, {kNaN, 2}, 0, {0, 2}},
        {"infinities are stored", {}, {INFINITY}, 0, {INFINITY}}};
    for (const auto& [name, stored, batch, overlap, expected] : cases) {
        SCOPED_TRACE(name);
        Series series;
        series.append(stored, 0);
        series.append(batch, overlap);
        EXPECT_EQ(series.values(), expected);
    }
}

TEST(Series, TruncatesTheOldestAndClears) {
    Series series;
    series.append(std::vector<float>{1, 2, 3, 4}, 0);
    series.append(std::vector<float>{6}, 1);  // the newest sample becomes (4 + 6) / 2
    series.truncate_front(2);
    EXPECT_EQ(series.values(), (std::vector<float>{3, 5}));
    series.truncate_front(5);
    EXPECT_EQ(series.size(), 2u);
    series.clear();
    EXPECT_TRUE(series.values().empty());
    series.append(std::vector<float>{kNaN}, 0);
    EXPECT_EQ(series.values(), (std::vector<float>{0}));
}

}  // namespace
