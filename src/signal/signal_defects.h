// SPDX-License-Identifier: Apache-2.0
// Stretches of a signal that carry no information: held flat, or clipped at its extremes.
#pragma once

#include <span>

namespace quorvanta {

struct SignalDefects {
    float flat_share = 0;     // of the samples, in runs of one value lasting 0.5 s or more
    float clipped_share = 0;  // of the samples, at the signal's maximum or minimum in runs of 3 or
                              // more samples (a sensor or an encoder at the end of its range)
};

// The defects of `signal` sampled at `fs` Hz. Non-finite samples count as flat. No samples, or fs
// not finite and positive: no defects.
SignalDefects find_signal_defects(std::span<const float> signal, float fs);

}  // namespace quorvanta
