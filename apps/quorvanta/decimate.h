// SPDX-License-Identifier: Apache-2.0
// Thins a line for drawing: of the points that fall into one pixel column it keeps only the
// lowest and the highest, in the order they occur. A line through the kept points covers every
// excursion of the full series, so hours of samples draw as their envelope with at most two points
// per column instead of a solid block of overlapping segments.
#pragma once

#include <span>
#include <vector>

namespace quorvanta::cli {

struct PlotPoint {
    double x = 0;  // pixels, not decreasing along the run
    double y = 0;
};

std::vector<PlotPoint> min_max_per_column(std::span<const PlotPoint> run);

}  // namespace quorvanta::cli
