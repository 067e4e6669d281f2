// SPDX-License-Identifier: Apache-2.0
// Rate estimation: spectral (periodogram) or from the intervals between detected peaks.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "registry/registry.h"
#include "signal/spectrum.h"

namespace quorvanta {

// One of the registry's two methods that estimate a rate: MethodKind::PeakDetection, or the
// periodogram for any other kind.
struct RateMethod {
    MethodKind kind = MethodKind::Periodogram;
    std::uint8_t selector = 0;  // PeakDetection: refine peaks when the lowest bit is set
    float param = 0;            // Periodogram: resolution in Hz; PeakDetection: refractory fraction
};

struct RateEstimate {
    float rate = 0;        // cycles per minute, 0 when none was found
    float confidence = 0;  // 0 to 1, 0 when no rate was found
};

// The rate of a quasi-periodic `signal` sampled at `fs` Hz, within [min_rate, max_rate] per
// minute. Periodogram: the strongest bin of the Hann-windowed spectrum (resolution `param` Hz)
// inside the band, refined by a parabola through the square-rooted powers; confidence is the
// share of the band's power within 1/12 Hz of the peak. PeakDetection: 60 / the mean interval
// between detected peaks, confidence 1 - (coefficient of variation / 0.3), at least 0. The hint
// is used only by PeakDetection. `workspace` may be null, in which case a temporary one is used.
// Degenerate input (fewer than 2 samples, a non-positive or non-finite fs, an empty band, a
// one-bin spectrum, no positive peak or interval) gives rate 0, confidence 0; non-finite samples
// never give a NaN rate. A Periodogram with a non-positive or non-finite fs computes no spectrum
// and leaves the workspace as it is.
RateEstimate estimate_rate(std::span<const float> signal, const RateMethod& method,
                           std::optional<float> rate_hint, SpectrumWorkspace* workspace, float fs,
                           float min_rate, float max_rate);

// The heart rate of a whole pulse signal as the registry's heart_rate method estimates it (its
// periodogram resolution and its band), without a hint or a kept workspace: the hosts'
// estimate_heart_rate.
RateEstimate estimate_heart_rate(std::span<const float> signal, float fs);

}  // namespace quorvanta
