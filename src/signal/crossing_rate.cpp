// SPDX-License-Identifier: Apache-2.0
// crossing_rate: a crossing between samples i - 1 and i where b[i - 1] <= 0 < b[i] lies at
// i - 1 + b[i - 1] / (b[i - 1] - b[i]) samples; the intervals d between successive crossings
// (seconds, f64 positions over fs) are kept where 0.4 m <= d <= 2.5 m, m their median (the mean of
// the middle two for an even count); rate = 60 / mean of the kept intervals, variation their
// population sd over their mean. Breathing freed of drift by a band-pass crosses zero once a
// breath upwards, however slowly the trace wanders. Fewer than 2 kept intervals: all 0.
#include "signal/crossing_rate.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <vector>

namespace quorvanta {
namespace {

constexpr double kMinShareOfMedian = 0.4;
constexpr double kMaxShareOfMedian = 2.5;

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t half = values.size() / 2;
    return values.size() % 2 == 1 ? values[half] : (values[half - 1] + values[half]) / 2;
}

}  // namespace

CrossingRate crossing_rate(std::span<const float> oscillation, float fs) {
    const std::span<const float> b = oscillation;
    std::vector<double> crossings;
    for (std::size_t i = 1; i < b.size(); ++i) {
        if (b[i - 1] <= 0 && b[i] > 0) {
            const double fraction = static_cast<double>(b[i - 1]) / (b[i - 1] - b[i]);
            crossings.push_back((static_cast<double>(i - 1) + fraction) / fs);
        }
    }
    if (crossings.size() < 3) return {};
    std::vector<double> intervals(crossings.size() - 1);
    for (std::size_t i = 1; i < crossings.size(); ++i)
        intervals[i - 1] = crossings[i] - crossings[i - 1];
    const double middle = median(intervals);
    std::vector<double> kept;
    std::copy_if(intervals.begin(), intervals.end(), std::back_inserter(kept), [&](double d) {
        return d >= kMinShareOfMedian * middle && d <= kMaxShareOfMedian * middle;
    });
    if (kept.size() < 2) return {};
    double sum = 0, squares = 0;
    for (const double d : kept)
        sum += d;
    const double mean = sum / static_cast<double>(kept.size());
    for (const double d : kept)
        squares += (d - mean) * (d - mean);
    const double sd = std::sqrt(squares / static_cast<double>(kept.size()));
    return {static_cast<float>(60.0 / mean), static_cast<float>(sd / mean), kept.size()};
}

}  // namespace quorvanta
