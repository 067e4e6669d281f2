// SPDX-License-Identifier: Apache-2.0
// Heart-rate variability metrics from a pulse waveform.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "signal/peaks.h"

namespace quorvanta {

enum class HrvMetric : std::uint8_t { Sdnn = 0, Rmssd, LfHf, StressIndex, Pnn50, Sd1Sd2 };

// The metric a selector byte names; values above 5 select Sd1Sd2.
HrvMetric hrv_metric_from_selector(std::uint8_t selector);

// The metric of the heart-rate-variability vital that `name` names in the registry, by its
// identifier or an alias ("hrv_sdnn" or "sdnn", ..., "stress_index" or "si"), or nothing.
std::optional<HrvMetric> hrv_metric_named(std::string_view name);

struct HrvEstimate {
    float value = 0;
    float confidence = 0;
};

// Detects beats, turns them into clean inter-beat intervals (ms) and evaluates `metric` (SDNN and
// RMSSD in ms, pNN50 in percent, LF/HF and SD1/SD2 as ratios, the Baevsky stress index).
// `timestamps` (seconds, may be empty or shorter than the signal) place the beats in time;
// `confidence` holds one value per sample. The confidence is the lower of its mean and the lowest
// confidence of the beats used. No confident beat pair or no clean interval gives (0, 0); a
// metric short of intervals gives value 0 with that confidence.
HrvEstimate estimate_hrv(std::span<const float> signal, HrvMetric metric,
                         std::span<const double> timestamps, std::span<const float> confidence,
                         std::optional<float> rate_hint, float fs, float min_rate, float max_rate);

// The part of estimate_hrv that every metric shares: the confidently detected beat pairs as raw
// intervals (ms), with the confidences of the two beats of each pair, in order. Callers that
// evaluate several metrics on one window detect the beats once and evaluate each metric with
// evaluate_hrv; the results are those of estimate_hrv.
struct HrvIntervals {
    std::vector<float> intervals_ms;
    std::vector<float> beat_confidences;
};

HrvIntervals detect_hrv_intervals(std::span<const float> signal, std::span<const double> timestamps,
                                  std::span<const float> confidence, std::optional<float> rate_hint,
                                  float fs, float min_rate, float max_rate);

HrvEstimate evaluate_hrv(const HrvIntervals& intervals, HrvMetric metric,
                         std::span<const float> confidence);

}  // namespace quorvanta
