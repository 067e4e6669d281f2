// SPDX-License-Identifier: Apache-2.0
// Power spectra: the one-sided spectrum of a mean-removed, optionally windowed signal.
#pragma once

#include <span>
#include <vector>

#include "signal/transform_buffers.h"

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

}  // namespace quorvanta
