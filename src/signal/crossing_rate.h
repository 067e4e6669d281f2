// SPDX-License-Identifier: Apache-2.0
// The rate of a slow oscillation from the intervals between its cycles.
#pragma once

#include <cstddef>
#include <span>

namespace quorvanta {

struct CrossingRate {
    float rate = 0;           // cycles per minute; 0 without at least 2 kept intervals
    std::size_t cycles = 0;   // intervals kept
};

// The signal band-passed to [low_hz, high_hz] (band_pass), its upward zero crossings timed by
// linear interpolation between the samples around them, the intervals between successive
// crossings kept where they lie within 0.4 to 2.5 times their median, and 60 over their mean.
CrossingRate crossing_rate(std::span<const float> signal, float fs, float low_hz, float high_hz);

}  // namespace quorvanta
