// SPDX-License-Identifier: Apache-2.0
#include "geometry/overlap.h"

#include <gtest/gtest.h>

#include <limits>
#include <tuple>

namespace quorvanta {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr Rect kSquare{0, 0, 10, 10};

// Exact comparisons; each case also runs with the rectangles swapped. A negative overlap along one
// axis would make the ratio negative, so "apart" cases pin the early returns.
TEST(Overlap, IouCases) {
    // The union is (b.w * b.h + a.w * a.h) - I; grouped any other way it rounds differently here.
    const Rect a{20.4668865f, 106.689705f, 41.9915428f, 95.0438766f};
    const Rect b{30.3396912f, 106.596161f, 42.003746f, 54.519455f};
    const float i = ((b.y + b.height) - a.y) * ((a.x + a.width) - b.x);
    const float written = i / ((b.width * b.height + a.width * a.height) - i);
    ASSERT_NE(written, i / ((a.width * a.height) + (b.width * b.height - i)));
    const std::tuple<const char*, Rect, Rect, float> cases[] = {
        {"written order", a, b, written},
        {"apart vertically only", kSquare, {0, 20, 10, 10}, 0.0f},
        {"apart horizontally only", kSquare, {20, 0, 10, 10}, 0.0f},
        {"NaN top edge skipped", {0, kNaN, 10, 10}, kSquare, 1.0f},
        {"NaN height reaches the union", {0, 0, 10, kNaN}, kSquare, 0.0f},
    };
    for (const auto& [name, first, second, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(compute_iou(first, second), expected);
        EXPECT_EQ(compute_iou(second, first), expected);
    }
}

TEST(Overlap, ContainedCases) {
    const std::tuple<const char*, Rect, Rect, float, bool> cases[] = {
        {"p = 0 passes disjoint", kSquare, {100, 100, 5, 5}, 0.0f, true},
        {"p = 1 with coinciding edges", kSquare, kSquare, 1.0f, true},
        {"p = 1 one pixel out", {1, 0, 10, 10}, kSquare, 1.0f, false},
        {"per axis, not area: 64% of area", {2, 2, 10, 10}, kSquare, 0.8f, true},
        {"NaN fraction fails", kSquare, kSquare, kNaN, false},
    };
    for (const auto& [name, inner, outer, p, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(is_contained(inner, outer, p), expected);
    }
}

}  // namespace
}  // namespace quorvanta
