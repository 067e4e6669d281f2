// SPDX-License-Identifier: Apache-2.0
#include "signal/frame_timing.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <vector>

namespace quorvanta {

std::optional<double> median_frame_interval(std::span<const double> timestamps) {
    std::vector<double> intervals;
    std::optional<double> previous;
    for (const double timestamp : timestamps) {
        if (!std::isfinite(timestamp)) continue;
        if (previous) intervals.push_back(timestamp - *previous);
        previous = timestamp;
    }
    if (intervals.empty()) return std::nullopt;
    const auto middle = intervals.begin() + static_cast<std::ptrdiff_t>(intervals.size() / 2);
    std::nth_element(intervals.begin(), middle, intervals.end());
    return *middle;
}

}  // namespace quorvanta
