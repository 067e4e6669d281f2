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
    std::size_t index = 0;  // sample index in the input signal
    float position = 0;     // index plus the sub-sample offset when refined
    float value = 0;        // the input's value at index
    bool operator==(const Peak&) const = default;
};

// Peaks split wherever neighbours are further apart than the slowest plausible cycle allows.
using PeakSegments = std::vector<std::vector<Peak>>;

PeakSegments detect_peaks(std::span<const float> signal, const PeakDetectorConfig& config);

// The library's detector settings, each named once, with what each caller supplies.
//
// Beats whose timing matters (heart-rate variability, the hosts' find_peaks): pre-smoothed and
// refined; 0.45 sliding deviations over 2.5 expected cycles, a rate drifting by at most 1 per
// minute per second from the hint, a refractory fraction of 0.25.
PeakDetectorConfig beat_detector(std::optional<float> rate_hint, float fs, float min_rate,
                                 float max_rate);
// Peaks whose spacing or height matters (a rate from peak intervals, mean peak heights): on the
// raw signal; 1.0 sliding deviations over 2.5 expected cycles, the same drift.
PeakDetectorConfig pulse_peak_detector(std::optional<float> rate_hint, float fs, float min_rate,
                                       float max_rate, float refractory_fraction, bool refine);
// Breaths for the inspiration-to-expiration ratio: pre-smoothed and refined; 1.2 sliding
// deviations over 1.5 expected cycles, a drift of at most 0.25 per minute per second, a refractory
// fraction of 0.25.
PeakDetectorConfig breath_detector(std::optional<float> rate_hint, float fs, float min_rate,
                                   float max_rate);

// The position of an extremum of `x` at `index`, moved to the vertex of the parabola through it
// and its neighbours when that lies within half a sample (a larger offset is discarded, not
// clamped); the index itself at the ends or where the three points lie on a line.
float refined_position(std::span<const float> x, std::size_t index);

}  // namespace quorvanta
