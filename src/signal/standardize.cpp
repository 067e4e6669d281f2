// SPDX-License-Identifier: Apache-2.0
// z-score normalisation over the finite samples of a signal (population standard deviation):
//
//   mean = S / c,  sd = sqrt(sum((x - mean)^2) / c),  out[i] = (x[i] - mean) / sd
//
// where c counts the finite samples and S is their sum; both sums run in index order in f32.
// Non-finite samples map to 0. Empty input gives an empty result; no finite samples, or
// |sd| < 1e-6, gives all zeros.
#include "signal/filters.h"

#include <cmath>
#include <cstddef>

namespace quorvanta {

std::vector<float> standardize(std::span<const float> signal) {
    std::vector<float> out(signal.size(), 0.0f);
    std::size_t finite = 0;
    float sum = 0.0f;
    for (const float v : signal) {
        if (!std::isfinite(v)) continue;
        sum += v;
        ++finite;
    }
    if (finite == 0) return out;
    const float count = static_cast<float>(finite);
    const float mean = sum / count;
    float squares = 0.0f;
    for (const float v : signal) {
        if (!std::isfinite(v)) continue;
        const float deviation = v - mean;
        squares += deviation * deviation;
    }
    const float sd = std::sqrt(squares / count);
    if (std::fabs(sd) < 1e-6f) return out;
    for (std::size_t i = 0; i < signal.size(); ++i) {
        if (std::isfinite(signal[i])) out[i] = (signal[i] - mean) / sd;
    }
    return out;
}

}  // namespace quorvanta
