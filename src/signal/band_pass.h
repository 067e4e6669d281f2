// SPDX-License-Identifier: Apache-2.0
// Zero-phase Butterworth band-pass of a uniformly sampled f32 signal.
#pragma once

#include <span>
#include <vector>

namespace quorvanta {

// A second-order Butterworth high-pass at `low_hz` followed by a second-order Butterworth
// low-pass at `high_hz` (capped at 0.45 fs), each run forward and then backward, so that the
// pass band keeps its phase and the edges are attenuated twice (-6 dB at each cutoff). Returns a
// sequence of the input's length; non-finite samples are read as the last finite one (0 before
// the first). Fewer than 3 samples, fs not finite and positive, or 0 < low_hz < high_hz not
// holding: zeros.
std::vector<float> band_pass(std::span<const float> signal, float fs, float low_hz, float high_hz);

}  // namespace quorvanta
