// SPDX-License-Identifier: Apache-2.0
// crossing_rate: b = band_pass(x, fs, low, high); a crossing between samples i - 1 and i where
// b[i - 1] <= 0 < b[i] lies at i - 1 + b[i - 1] / (b[i - 1] - b[i]) samples; intervals d between
// successive crossings (seconds, f64 positions over fs) are kept where 0.4 m <= d <= 2.5 m, m their
// median (the mean of the middle two for an even count); rate = 60 / mean of the kept intervals.
// Breathing that the band-pass has freed of drift crosses zero once a breath upwards, however
// slowly the trace wanders. Fewer than 2 kept intervals: rate 0.
#include "signal/crossing_rate.h"

#include <algorithm>
#include <vector>

#include "signal/band_pass.h"

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

CrossingRate crossing_rate(std::span<const float> signal, float fs, float low_hz, float high_hz) {
    const std::vector<float> b = band_pass(signal, fs, low_hz, high_hz);
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
    double sum = 0;
    std::size_t kept = 0;
    for (const double d : intervals) {
        if (d < kMinShareOfMedian * middle || d > kMaxShareOfMedian * middle) continue;
        sum += d;
        ++kept;
    }
    if (kept < 2) return {};
    return {static_cast<float>(60.0 * static_cast<double>(kept) / sum), kept};
}

}  // namespace quorvanta
