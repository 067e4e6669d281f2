// SPDX-License-Identifier: Apache-2.0
// Measures of a waveform built on its detected peaks: mean peak or trough heights, and the
// inspiration-to-expiration ratio of breaths.
#pragma once

#include <optional>
#include <span>

namespace quorvanta {

struct PeakMeasure {
    float value = 0;
    float confidence = 0;
};

// The mean amplitude of the peaks (or, with `troughs`, of the troughs) of a pulsatile window whose
// rate lies in [min_rate, max_rate] per minute, and the mean confidence at those peaks. No peaks:
// (0, 0).
PeakMeasure extremum_mean(std::span<const float> signal, std::span<const float> confidence,
                          bool troughs, float fs, float min_rate, float max_rate);

// Inspiration-to-expiration time ratio of a respiratory window: over breath cycles (trough,
// peak, trough), mean inhale time / mean exhale time, with the mean confidence at the peaks.
// No usable cycle, or times too long to add up: (0, 0).
PeakMeasure ie_ratio(std::span<const float> signal, std::span<const float> confidence,
                     std::optional<float> rate_hint, float fs, float min_rate, float max_rate);

}  // namespace quorvanta
