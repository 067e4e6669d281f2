// SPDX-License-Identifier: Apache-2.0
// The frame interval of a recording from its timestamps: the median of the intervals between
// successive finite timestamps (seconds; repeats count as 0), or none with fewer than two finite
// timestamps.
#pragma once

#include <optional>
#include <span>

namespace quorvanta {

std::optional<double> median_frame_interval(std::span<const double> timestamps);

}  // namespace quorvanta
