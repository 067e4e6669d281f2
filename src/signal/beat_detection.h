// SPDX-License-Identifier: Apache-2.0
// Beats of a pulse waveform (photoplethysmogram or arterial pressure), timed to a fraction of a
// sample.
#pragma once

#include <span>
#include <vector>

namespace quorvanta {

struct DetectedBeat {
    double time = 0;  // seconds
    // The Pearson correlation of the beat with the recording's mean beat, from -1 to 1: how
    // much it looks like a pulse. NaN for a beat too near the ends to be compared.
    float similarity = 0;
    // The band-passed signal's height at the beat's highest sample, in the signal's units.
    float amplitude = 0;
};

// The beats of `signal`, sampled at `fs` Hz, in time order. `timestamps`, when it has one value
// per sample, places the beats in time; otherwise a beat at sample position p is at p / fs. Fewer
// samples than two seconds hold, or fs not finite or below 10 Hz: no beats.
std::vector<DetectedBeat> detect_beats(std::span<const float> signal, float fs,
                                       std::span<const double> timestamps);

}  // namespace quorvanta
