// SPDX-License-Identifier: Apache-2.0
// find_signal_defects: one pass over the runs of equal consecutive samples (NaN equal to NaN).
//   flat     a run of at least max(2, round(0.5 fs)) samples, or a non-finite sample
//   clipped  a run of at least 3 samples at the signal's finite maximum or minimum, unless the
//            signal has only one finite value (then it is flat, not clipped)
// Each share is the count of such samples over the signal's length; a sample is counted once.
#include "signal/signal_defects.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "types/numeric.h"

namespace quorvanta {
namespace {

constexpr float kFlatSeconds = 0.5f;
constexpr std::size_t kMinClippedRun = 3;

bool same(float a, float b) {
    return a == b || (std::isnan(a) && std::isnan(b));
}

}  // namespace

SignalDefects find_signal_defects(std::span<const float> signal, float fs) {
    if (signal.empty() || !std::isfinite(fs) || !(fs > 0)) return {};
    float lowest = NAN, highest = NAN;
    for (const float x : signal) {
        if (!std::isfinite(x)) continue;
        lowest = min_num(lowest, x);
        highest = max_num(highest, x);
    }
    const std::size_t flat_run =
        std::max<std::size_t>(2, saturating_cast<std::size_t>(round_half_away(kFlatSeconds * fs)));
    std::size_t flat = 0, clipped = 0;
    for (std::size_t first = 0; first < signal.size();) {
        std::size_t last = first + 1;
        while (last < signal.size() && same(signal[last], signal[first]))
            ++last;
        const std::size_t run = last - first;
        const float value = signal[first];
        if (!std::isfinite(value) || run >= flat_run) {
            flat += run;
        } else if (run >= kMinClippedRun && lowest < highest &&
                   (value == lowest || value == highest)) {
            clipped += run;
        }
        first = last;
    }
    const auto n = static_cast<float>(signal.size());
    return {static_cast<float>(flat) / n, static_cast<float>(clipped) / n};
}

}  // namespace quorvanta
