#include "geometry/overlap.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <limits>
#include <random>

namespace quorvanta {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

std::uint32_t bits(float v) {
    return std::bit_cast<std::uint32_t>(v);
}

TEST(Overlap, IouCases) {
    struct Case {
        const char* name;
        Rect a;
        Rect b;
        float expected;
    };
    const Case cases[] = {
        {"identical", {3, 4, 10, 20}, {3, 4, 10, 20}, 1.0f},
        {"nested", {2, 2, 4, 4}, {0, 0, 10, 10}, 16.0f / 100.0f},
        {"half shifted", {0, 0, 10, 10}, {5, 0, 10, 10}, 50.0f / 150.0f},
        {"touching bottom edge", {0, 0, 10, 10}, {0, 10, 10, 10}, 0.0f},
        {"touching right edge", {0, 0, 10, 10}, {10, 0, 10, 10}, 0.0f},
        {"zero width", {0, 0, 0, 10}, {0, 0, 10, 10}, 0.0f},
        {"zero height", {0, 0, 10, 10}, {0, 0, 10, 0}, 0.0f},
        {"disjoint", {0, 0, 10, 10}, {50, 60, 10, 10}, 0.0f},
        {"NaN top edge takes the other's", {0, kNaN, 10, 10}, {0, 0, 10, 10}, 1.0f},
        {"NaN left edge takes the other's", {0, 0, 10, 10}, {kNaN, 0, 10, 10}, 1.0f},
        {"NaN height reaches the union", {0, 0, 10, kNaN}, {0, 0, 10, 10}, 0.0f},
        {"NaN width reaches the union", {0, 0, 10, 10}, {0, 0, kNaN, 10}, 0.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(bits(compute_iou(c.a, c.b)), bits(c.expected));
    }
}

TEST(Overlap, IouRoundsInWrittenOrder) {
    const Rect a{20.4668865f, 106.689705f, 41.9915428f, 95.0438766f};
    const Rect b{30.3396912f, 106.596161f, 42.003746f, 54.519455f};
    const float h = (b.y + b.height) - a.y;
    const float w = (a.x + a.width) - b.x;
    const float intersection = h * w;
    const float union_area = (b.width * b.height + a.width * a.height) - intersection;
    const float regrouped = (a.width * a.height) + (b.width * b.height - intersection);
    ASSERT_NE(bits(intersection / union_area), bits(intersection / regrouped));
    EXPECT_EQ(bits(compute_iou(a, b)), bits(intersection / union_area));
}

TEST(Overlap, ContainedCases) {
    struct Case {
        const char* name;
        Rect inner;
        Rect outer;
        float p;
        bool expected;
    };
    const Case cases[] = {
        {"p = 0 passes disjoint", {0, 0, 10, 10}, {100, 100, 5, 5}, 0.0f, true},
        {"p = 1 with coinciding edges", {0, 0, 10, 10}, {0, 0, 10, 10}, 1.0f, true},
        {"p = 1 one pixel out", {1, 0, 10, 10}, {0, 0, 10, 10}, 1.0f, false},
        {"zero width passes horizontally", {500, 0, 0, 10}, {0, 0, 10, 10}, 1.0f, true},
        {"half inside along y, p = 0.6", {0, 5, 10, 10}, {0, 0, 10, 10}, 0.6f, false},
        {"half inside along y, p = 0.5", {0, 5, 10, 10}, {0, 0, 10, 10}, 0.5f, true},
        {"per axis, not area: 64% of area", {2, 2, 10, 10}, {0, 0, 10, 10}, 0.8f, true},
        {"NaN fraction fails", {0, 0, 10, 10}, {0, 0, 10, 10}, kNaN, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(is_contained(c.inner, c.outer, c.p), c.expected);
    }
}

// Reference for integer rectangles on a small grid, where every f32 operation is exact: count the
// unit cells that each rectangle covers.
constexpr int kGridLow = -5;
constexpr int kGridHigh = 26;

bool covers(const Rect& r, int cx, int cy) {
    return cx >= r.x && cx < r.x + r.width && cy >= r.y && cy < r.y + r.height;
}

float reference_iou(const Rect& a, const Rect& b) {
    int both = 0;
    int either = 0;
    for (int cx = kGridLow; cx < kGridHigh; ++cx) {
        for (int cy = kGridLow; cy < kGridHigh; ++cy) {
            both += covers(a, cx, cy) && covers(b, cx, cy);
            either += covers(a, cx, cy) || covers(b, cx, cy);
        }
    }
    return both == 0 ? 0.0f : static_cast<float>(static_cast<double>(both) / either);
}

int visible_cells(float start_in, float length_in, float start_out, float length_out) {
    int visible = 0;
    for (int c = kGridLow; c < kGridHigh; ++c) {
        visible += c >= start_in && c < start_in + length_in && c >= start_out &&
                   c < start_out + length_out;
    }
    return visible;
}

bool reference_contained(const Rect& inner, const Rect& outer, double p) {
    return visible_cells(inner.x, inner.width, outer.x, outer.width) >= p * inner.width &&
           visible_cells(inner.y, inner.height, outer.y, outer.height) >= p * inner.height;
}

TEST(Overlap, MatchesCellCountingOnIntegerGrid) {
    std::mt19937 rng(20240521);
    std::uniform_int_distribution<int> edge(-5, 15);
    std::uniform_int_distribution<int> extent(0, 10);
    const auto random_rect = [&] {
        return Rect{static_cast<float>(edge(rng)), static_cast<float>(edge(rng)),
                    static_cast<float>(extent(rng)), static_cast<float>(extent(rng))};
    };
    const float fractions[] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f};
    for (int i = 0; i < 2000; ++i) {
        const Rect a = random_rect();
        const Rect b = random_rect();
        SCOPED_TRACE(testing::Message()
                     << "a=(" << a.x << "," << a.y << "," << a.width << "," << a.height << ") b=("
                     << b.x << "," << b.y << "," << b.width << "," << b.height << ")");
        EXPECT_EQ(bits(compute_iou(a, b)), bits(reference_iou(a, b)));
        EXPECT_EQ(bits(compute_iou(a, b)), bits(compute_iou(b, a)));
        for (float p : fractions) {
            EXPECT_EQ(is_contained(a, b, p), reference_contained(a, b, p)) << "p=" << p;
        }
    }
}

}  // namespace
}  // namespace quorvanta
