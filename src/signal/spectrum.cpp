// SPDX-License-Identifier: Apache-2.0
// compute_spectrum: one-sided power spectrum of a mean-removed, optionally Hann-windowed signal.
//   mean = (x[0] + ... + x[n-1]) / n                      (f32, summed in index order)
//   w[i] = (1 - cos(i * 6.2831855 / (n - 1))) * 0.5 * (x[i] - mean), or x[i] - mean unwindowed,
//          with the angle in f32 and the cosine cos_f32's (the same bits everywhere)
//   M = min(trunc(fs / resolution), 2^20), N = smallest power of two >= max(M, n)
//   X = unnormalised DFT of w zero padded to N
//   frequencies[k] = (fs / N) * k Hz, power[k] = re(X[k])^2 + im(X[k])^2, k = 0 .. N/2 - 1
// fs / resolution gives M = 0 when negative or NaN and the 2^20 cap when too large or infinite,
// so memory stays proportional to the cap or the input. Fewer than 2 samples: no bins.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "signal/fft_backend.h"
#include "signal/spectrum.h"
#include "signal/trig.h"
#include "types/numeric.h"

namespace quorvanta {
namespace {

constexpr std::size_t kMaxPaddedLength = std::size_t{1} << 20;
constexpr float kTwoPi = 6.2831855f;

// A session windows a few lengths over and over (its heart-rate and respiratory-rate windows):
// the weights of the last kKeptWindows lengths are kept.
constexpr std::size_t kKeptWindows = 4;

// The symmetric Hann window of n >= 2 samples.
const std::vector<float>& hann_window(std::size_t n, std::vector<std::vector<float>>& windows) {
    const auto kept = std::find_if(windows.begin(), windows.end(),
                                   [&](const std::vector<float>& w) { return w.size() == n; });
    if (kept != windows.end()) return *kept;
    if (windows.size() == kKeptWindows) windows.erase(windows.begin());
    std::vector<float>& window = windows.emplace_back(n);
    const float last = static_cast<float>(n - 1);
    for (std::size_t i = 0; i < n; ++i)
        window[i] = (1.0f - detail::cos_f32(static_cast<float>(i) * kTwoPi / last)) * 0.5f;
    return window;
}

// The mean-removed, optionally windowed samples; the transform pads them with zeros.
void fill_windowed(std::span<const float> x, bool apply_window, SpectrumWorkspace& workspace) {
    const float centre = mean(x);
    workspace.windowed.resize(x.size());
    if (!apply_window) {
        for (std::size_t i = 0; i < x.size(); ++i)
            workspace.windowed[i] = x[i] - centre;
        return;
    }
    const std::vector<float>& window = hann_window(x.size(), workspace.windows);
    for (std::size_t i = 0; i < x.size(); ++i)
        workspace.windowed[i] = window[i] * (x[i] - centre);
}

std::size_t transform_length(std::size_t n, float fs, float resolution) {
    const std::size_t m = std::min(saturating_cast<std::size_t>(fs / resolution), kMaxPaddedLength);
    return std::bit_ceil(std::max(m, n));
}

void fill_bins(const detail::TransformBuffer& bins, std::size_t length, float fs,
               SpectrumWorkspace& workspace) {
    const float bin_width = fs / static_cast<float>(length);
    const std::size_t count = length / 2;
    workspace.frequencies.resize(count);
    workspace.power.resize(count);
    for (std::size_t k = 0; k < count; ++k) {
        const float re = bins[k].real();
        const float im = bins[k].imag();
        workspace.frequencies[k] = bin_width * static_cast<float>(k);
        workspace.power[k] = re * re + im * im;
    }
}

}  // namespace

void compute_spectrum(std::span<const float> signal, SpectrumWorkspace& workspace,
                      bool apply_window, float fs, float resolution) {
    if (signal.size() < 2) {
        workspace.frequencies.clear();
        workspace.power.clear();
        return;
    }
    const std::size_t length = transform_length(signal.size(), fs, resolution);
    fill_windowed(signal, apply_window, workspace);
    detail::forward_real_transform(workspace.windowed, length, workspace.scratch, workspace.bins);
    fill_bins(workspace.bins, length, fs, workspace);
}

}  // namespace quorvanta
