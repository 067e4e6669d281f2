// SPDX-License-Identifier: Apache-2.0
#include "state/frame_interval.h"

#include <array>
#include <iomanip>
#include <sstream>

namespace quorvanta {
namespace {

constexpr std::array kSmallerUnits{SmallerTimeUnit{"milliseconds", "ms", 1e3},
                                   SmallerTimeUnit{"microseconds", "us", 1e6}};

}  // namespace

std::optional<SmallerTimeUnit> unit_that_fits(double interval, double units_per_second) {
    const double in_read_units = interval * units_per_second;
    for (const SmallerTimeUnit& unit : kSmallerUnits) {
        if (unit.per_second > units_per_second &&
            in_read_units / unit.per_second <= kLongestFrameInterval)
            return unit;
    }
    return std::nullopt;
}

namespace detail {

std::string long_frame_interval_text(double interval) {
    std::ostringstream text;
    text << "the median frame interval is " << std::fixed << std::setprecision(1) << interval
         << " s, too long for any vital";
    return text.str();
}

}  // namespace detail
}  // namespace quorvanta
