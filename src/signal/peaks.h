// SPDX-License-Identifier: Apache-2.0
// Adaptive-threshold peak detection for quasi-periodic waveforms (beats, breaths).
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace quorvanta {

// Rates are cycles per minute, fs in Hz.
struct PeakDetectorConfig {
    std::optional<float> rate_hint;  // sets the statistics window and caps the refractory rate
    float fs = 0;
    float min_rate = 0;             // sets the window without a hint, and the segment gap
    float max_rate = 0;             // sets the pre-smoothing cutoff and the refractory distance
    float detection_threshold = 0;  // sliding standard deviations above the sliding mean
    float window_cycles = 0;        // statistics window length, in expected cycles
    float max_rate_change = 0;      // allowed drift from the hint, per minute per second
    float refractory_fraction = 0;  // the refractory distance is (1 - this) shortest periods
    bool refine = false;            // sub-sample positions by a parabola through three samples
    bool presmooth = false;         // detect on a moving average, locate on the raw signal
};

struct Peak {
    std::uint64_t index = 0;  // sample index in the input signal
    float position = 0;       // index plus the sub-sample offset when refined
    float value = 0;          // the input's value at index
    bool operator==(const Peak&) const = default;
};

// Peaks split wherever neighbours are further apart than the slowest plausible cycle allows.
using PeakSegments = std::vector<std::vector<Peak>>;

PeakSegments detect_peaks(std::span<const float> signal, const PeakDetectorConfig& config);

// The position of an extremum of `x` at `index`, moved to the vertex of the parabola through it
// and its neighbours when that lies within half a sample (a larger offset is discarded, not
// clamped); the index itself at the ends or where the three points lie on a line.
float refined_position(std::span<const float> x, std::uint64_t index);

}  // namespace quorvanta
