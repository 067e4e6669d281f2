// SPDX-License-Identifier: Apache-2.0
// Whether a recording's timestamps are in the unit they are taken to be in.
//
// A median frame interval (signal/frame_timing.h) above kLongestFrameInterval gives no vital:
// such timestamps are most often milliseconds or microseconds taken for seconds, and the note
// says which fits.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "signal/frame_timing.h"

namespace quorvanta {

// Seconds; frames further apart give no vital.
constexpr double kLongestFrameInterval = 1.0;

// A smaller unit than the one timestamps were read in: "milliseconds", its symbol "ms" and how
// many make a second.
struct SmallerTimeUnit {
    std::string_view name;
    std::string_view symbol;
    double per_second;
};

// The first of milliseconds and microseconds, smaller than the unit of `units_per_second`, in
// which a median `interval` (seconds, read in that unit) becomes a plausible frame interval.
std::optional<SmallerTimeUnit> unit_that_fits(double interval, double units_per_second);

// "the median frame interval is 2000.0 s, too long for any vital", and where a smaller unit fits,
// ": the timestamps look like milliseconds; if they are, " followed by `advice(unit)`; none
// when the median interval is plausible or unknown.
template <class Advice>
std::optional<std::string> long_frame_interval_problem(std::span<const double> timestamps,
                                                       double units_per_second, Advice advice);

namespace detail {
std::string long_frame_interval_text(double interval);
}

template <class Advice>
std::optional<std::string> long_frame_interval_problem(std::span<const double> timestamps,
                                                       double units_per_second, Advice advice) {
    const auto interval = median_frame_interval(timestamps);
    if (!interval || *interval <= kLongestFrameInterval) return std::nullopt;
    std::string problem = detail::long_frame_interval_text(*interval);
    if (const auto unit = unit_that_fits(*interval, units_per_second)) {
        problem += ": the timestamps look like " + std::string(unit->name) + "; if they are, " +
                   advice(*unit);
    }
    return problem;
}

}  // namespace quorvanta
