// SPDX-License-Identifier: Apache-2.0
// Internal stages of estimate_hrv, exposed so that each can be exercised on its own.
#pragma once

#include <span>
#include <vector>

#include "signal/hrv.h"
#include "signal/peaks.h"

namespace quorvanta::detail {

using RawIntervals = HrvIntervals;

// Consecutive peaks of each segment whose beats both have confidence >= 0.5, timed from
// `timestamps` (interpolated at the sub-sample position) or, past their end, from position / fs.
// Pairs with a non-positive duration are dropped.
RawIntervals raw_intervals(const PeakSegments& beats, std::span<const double> timestamps,
                           std::span<const float> confidence, float fs);

// The clean series: one raw interval passes as it is; otherwise only intervals within
// 300..2000 ms that differ from the last accepted one (initially the median) by at most 25%.
// Empty when nothing survives.
std::vector<float> clean_intervals(std::span<const float> raw_ms);

// `metric` on a clean series; 0 when the series is shorter than the metric needs.
float metric_value(std::span<const float> clean_ms, HrvMetric metric);
// The same on a series in runs, `run_ends` holding the index one past each run's last interval
// (the last one clean_ms.size()): successive differences are taken within runs only, since the
// intervals on either side of one left out are not successive beats.
float metric_value(std::span<const float> clean_ms, std::span<const std::size_t> run_ends,
                   HrvMetric metric);

// The tachogram of a clean series resampled at 4 Hz by linear interpolation between beats.
std::vector<float> resample_tachogram(std::span<const float> clean_ms);

// LF / HF power of a spectrum: LF over [0.04, 0.15) Hz, HF over [0.15, 0.4] Hz; 0 when HF is 0.
float band_power_ratio(std::span<const float> frequencies, std::span<const float> power);

}  // namespace quorvanta::detail
