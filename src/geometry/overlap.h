// SPDX-License-Identifier: Apache-2.0
// Overlap measures between two rectangles in frame pixels. Extents are used as they stand:
// negative or zero widths and heights are not normalised.
#pragma once

#include "types/records.h"

namespace quorvanta {

// Intersection over union of `a` and `b`: 0 to 1 for non-negative extents, 0 when the rectangles
// do not overlap or the union is not positive.
float compute_iou(const Rect& a, const Rect& b);

// True when the visible part of `inner` inside `outer` reaches the fraction `min_overlap_pct`
// (0.8 means 80 per cent) of the inner extent along both axes, tested per axis.
bool is_contained(const Rect& inner, const Rect& outer, float min_overlap_pct);

}  // namespace quorvanta
