// SPDX-License-Identifier: Apache-2.0
#include "decimate.h"

#include <cmath>

namespace quorvanta::cli {

std::vector<PlotPoint> min_max_per_column(std::span<const PlotPoint> run) {
    std::vector<PlotPoint> kept;
    std::size_t first = 0;
    while (first < run.size()) {
        const double column = std::floor(run[first].x);
        std::size_t low = first;
        std::size_t high = first;
        std::size_t next = first + 1;
        for (; next < run.size() && std::floor(run[next].x) == column; ++next) {
            if (run[next].y < run[low].y) low = next;
            if (run[next].y > run[high].y) high = next;
        }
        kept.push_back(run[std::min(low, high)]);
        if (low != high) kept.push_back(run[std::max(low, high)]);
        first = next;
    }
    return kept;
}

}  // namespace quorvanta::cli
