// SPDX-License-Identifier: Apache-2.0
// Rectangle overlap in f32 pixels, evaluated in a fixed operation order so that results are
// reproducible bit for bit; min and max are IEEE minNum/maxNum (a NaN operand yields the other).
//
//   overlap(a0, la, b0, lb) = min(a0 + la, b0 + lb) - max(a0, b0)   along one axis
//   IoU = I / U,  I = H * W,  U = (b.w * b.h + a.w * a.h) - I
//   is_contained: max(0, overlap) >= p * inner extent, on x first, then on y
//
// IoU is 0 when H <= 0 or W <= 0 (a NaN overlap does not stop early) and when U is not
// positive (zero, negative or NaN). A comparison involving NaN fails, so is_contained then
// returns false.
#include "geometry/overlap.h"

#include "types/numeric.h"

namespace quorvanta {
namespace {

// Length of the common part of [start_a, start_a + length_a] and [start_b, start_b + length_b];
// negative when the intervals are disjoint.
float axis_overlap(float start_a, float length_a, float start_b, float length_b) {
    return min_num(start_a + length_a, start_b + length_b) - max_num(start_a, start_b);
}

bool visible_reaches(float start_in, float length_in, float start_out, float length_out,
                     float fraction) {
    const float visible = max_num(0.0f, axis_overlap(start_in, length_in, start_out, length_out));
    return visible >= fraction * length_in;
}

}  // namespace

float compute_iou(const Rect& a, const Rect& b) {
    const float height = axis_overlap(a.y, a.height, b.y, b.height);
    if (height <= 0.0f) return 0.0f;
    const float width = axis_overlap(a.x, a.width, b.x, b.width);
    if (width <= 0.0f) return 0.0f;
    const float intersection = height * width;
    const float area_b = b.width * b.height;
    const float area_a = a.width * a.height;
    const float union_area = (area_b + area_a) - intersection;
    return union_area > 0.0f ? intersection / union_area : 0.0f;
}

bool is_contained(const Rect& inner, const Rect& outer, float min_overlap_pct) {
    return visible_reaches(inner.x, inner.width, outer.x, outer.width, min_overlap_pct) &&
           visible_reaches(inner.y, inner.height, outer.y, outer.height, min_overlap_pct);
}

}  // namespace quorvanta
