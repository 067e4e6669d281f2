// SPDX-License-Identifier: Apache-2.0
// Power spectra and spectral or peak-interval rate estimation.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "signal/fft_backend.h"

namespace quorvanta {

// Scratch storage for compute_spectrum, kept by callers between calls so that its storage is
// reused: each call only resizes the arrays, so repeated calls of the same length allocate
// nothing. Contents carry no meaning from one call to the next.
struct SpectrumWorkspace {
    std::vector<std::vector<float>> windows;  // Hann weights of the last few lengths windowed
    std::vector<float> windowed;              // input minus its mean, windowed when asked (n)
    detail::RealBuffer scratch;               // the transform's working storage
    detail::TransformBuffer bins;             // the transform's N/2 bins
    std::vector<float> frequencies;           // centre frequency of each bin, Hz (N/2)
    std::vector<float> power;                 // squared magnitude of each bin (N/2)
};

// One-sided power spectrum of `signal` (n samples at `fs` Hz): the mean (f32 sum in index order
// / n) is removed; the optional symmetric Hann window weighs sample i by
// (1 - cos(i * 2pi / (n - 1))) * 0.5; the result is zero padded to N and transformed unnormalised.
// N is the smallest power of two at least max(M, n) with M = fs / resolution truncated and capped
// at 2^20 points, so absurd rates or resolutions cannot demand more memory than the cap or the
// input. frequencies[k] = (fs / N) * k and power[k] = re^2 + im^2 of bin k, for the N/2 bins below
// Nyquist. Fewer than 2 samples: no bins (`windowed`, `scratch` and `bins` are left as they are).
void compute_spectrum(std::span<const float> signal, SpectrumWorkspace& workspace,
                      bool apply_window, float fs, float resolution);

enum class RateMethodKind : std::uint8_t { Periodogram = 0, PeakDetection = 1 };

struct RateMethod {
    RateMethodKind kind = RateMethodKind::Periodogram;
    std::uint8_t selector = 0;  // PeakDetection: refine peaks when the lowest bit is set
    float param = 0;            // Periodogram: resolution in Hz; PeakDetection: refractory fraction
};

struct RateEstimate {
    std::string_view method;  // "Periodogram" or "PeakDetection"
    float rate = 0;           // cycles per minute, 0 when none was found
    float confidence = 0;     // 0 to 1, 0 when no rate was found
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

}  // namespace quorvanta
