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

// The end of the run of samples equal to signal[first] (NaN equal to NaN).
std::size_t run_end(std::span<const float> signal, std::size_t first) {
    const float value = signal[first];
    std::size_t last = first + 1;
    if (std::isnan(value)) {
        while (last < signal.size() && std::isnan(signal[last]))
            ++last;
    } else {
        while (last < signal.size() && signal[last] == value)
            ++last;
    }
    return last;
}

// Whether any sample is not finite or equals the one before it: without, there is no run to count.
bool has_repeats_or_gaps(std::span<const float> signal) {
    bool found = !std::isfinite(signal.front());
    for (std::size_t i = 1; i < signal.size(); ++i)
        found |= !std::isfinite(signal[i]) || signal[i] == signal[i - 1];
    return found;
}

}  // namespace

SignalDefects find_signal_defects(std::span<const float> signal, float fs) {
    if (signal.empty() || !std::isfinite(fs) || !(fs > 0)) return {};
    if (!has_repeats_or_gaps(signal)) return {};
    // No finite sample leaves lowest > highest, which no run can equal.
    float lowest = INFINITY, highest = -INFINITY;
    for (const float x : signal) {
        if (!std::isfinite(x)) continue;
        lowest = std::min(lowest, x);
        highest = std::max(highest, x);
    }
    const std::size_t flat_run =
        std::max<std::size_t>(2, saturating_cast<std::size_t>(round_half_away(kFlatSeconds * fs)));
    std::size_t flat = 0, clipped = 0;
    for (std::size_t first = 0; first < signal.size();) {
        const std::size_t last = run_end(signal, first);
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
