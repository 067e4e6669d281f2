// SPDX-License-Identifier: Apache-2.0
// The beats of a pulse waveform as callers see them: detected, corrected, and the intervals
// between the normal ones.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "signal/beat_correction.h"
#include "types/records.h"

namespace quorvanta {

// Each beat's time and status, and `intervals`, the normal-to-normal intervals between them
// (nn_intervals(beats).ms).
Beats beats_record(std::span<const Beat> beats, std::vector<float> intervals);

// The beats of `pulse` sampled at `fs` Hz (detect_beats, placed by `timestamps` when it has one
// value per sample, else at sample / fs), corrected (correct_beats). Too short a signal, or fs not
// finite or below 10 Hz: no beats.
Beats find_beats(std::span<const float> pulse, float fs, std::span<const double> timestamps);

// Why `timestamps` cannot place the beats of `samples` samples (given, but not one per sample), or
// nothing.
std::optional<std::string> timestamps_mismatch(std::size_t samples, std::size_t timestamps);

}  // namespace quorvanta
