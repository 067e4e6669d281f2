// SPDX-License-Identifier: Apache-2.0
// The rate of a slow oscillation from the intervals between its cycles.
#pragma once

#include <cstddef>
#include <span>

namespace quorvanta {

struct CrossingRate {
    float rate = 0;       // cycles per minute; 0 without at least 2 kept intervals
    float variation = 0;  // population sd / mean of the kept intervals
    std::size_t cycles = 0;
};

// The upward zero crossings of a zero-mean `oscillation` sampled at `fs` Hz (a band-passed
// signal), timed by linear interpolation between the samples around them; the intervals between
// successive crossings kept where they lie within 0.4 to 2.5 times their median; 60 over their
// mean.
CrossingRate crossing_rate(std::span<const float> oscillation, float fs);

}  // namespace quorvanta
