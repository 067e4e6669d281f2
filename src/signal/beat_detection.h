// SPDX-License-Identifier: Apache-2.0
// Beats of a pulse waveform (photoplethysmogram or arterial pressure), timed to a fraction of a
// sample.
#pragma once

#include <span>
#include <vector>

namespace quorvanta {

// The times (seconds, ascending) of the beats of `signal`, sampled at `fs` Hz. `timestamps`, when
// it has one value per sample, places the beats in time; otherwise a beat at sample position p is
// at p / fs. Fewer samples than two seconds hold, or fs not finite or below 10 Hz: no beats.
std::vector<double> detect_beat_times(std::span<const float> signal, float fs,
                                      std::span<const double> timestamps);

}  // namespace quorvanta
