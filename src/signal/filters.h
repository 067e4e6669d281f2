// SPDX-License-Identifier: Apache-2.0
// Filters over uniformly sampled f32 signals. Each returns a new sequence of the input's length
// and leaves the input unchanged; none of them fails.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

namespace quorvanta {

// z-score normalisation over the finite samples: (x - mean) / sd with the population sd; non-finite
// samples map to 0. No finite samples, or sd below 1e-6: all zeros.
std::vector<float> standardize(std::span<const float> signal);

// Centred moving average of `window` samples (an even window behaves as window + 1). The window is
// cut, not padded, at the ends, so the divisor shrinks there. Windows of 0 or 1 copy the input.
std::vector<float> moving_average(std::span<const float> signal, std::uint64_t window);

// The odd moving-average length whose -3 dB cutoff is `cutoff_hz` at sampling rate `fs`, at least
// 1: floor(sqrt(r^2 + 0.196202) / r) with r = cutoff / fs, made odd downwards. 1 when fs or the
// cutoff is not positive; the largest uint64 when r is below 1e-6 (average everything).
std::uint64_t smoothing_window_length(float cutoff_hz, float fs);

// Smoothness-priors detrending: x - z where (I + lambda^2 D2' D2) z = x, lambda = 0.075 (fs /
// cutoff)^2, D2 the second-difference operator, solved by banded Cholesky in O(n). Fewer than 3
// samples or a cutoff at or below 1e-5 Hz: zeros. A non-positive pivot: the input unchanged.
std::vector<float> detrend_signal(std::span<const float> signal, float fs, float cutoff_hz);

}  // namespace quorvanta
