// compute_spectrum: one-sided power spectrum of a mean-removed, optionally Hann-windowed signal.
//   mean = (x[0] + ... + x[n-1]) / n                      (f32, summed in index order)
//   w[i] = (1 - cos(i * 6.2831855 / (n - 1))) * 0.5 * (x[i] - mean), or x[i] - mean unwindowed
//   M = min(trunc(fs / resolution), 2^20), N = smallest power of two >= max(M, n)
//   X = unnormalised DFT of w zero padded to N
//   frequencies[k] = (fs / N) * k Hz, power[k] = re(X[k])^2 + im(X[k])^2, k = 0 .. N/2 - 1
// fs / resolution gives M = 0 when negative or NaN and the 2^20 cap when too large or infinite,
// so memory stays proportional to the cap or the input. Fewer than 2 samples: no bins.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

#include "signal/fft.h"
#include "signal/fft_backend.h"
#include "types/numeric.h"

namespace quorvanta {
namespace {

constexpr std::uint64_t kMaxPaddedLength = std::uint64_t{1} << 20;
constexpr float kTwoPi = 6.2831855f;

float mean_of(std::span<const float> x) {
    float sum = 0.0f;
    for (const float v : x)
        sum += v;
    return sum / static_cast<float>(x.size());
}

// Writes the mean-removed, optionally windowed samples to the first n places of `padded` and
// zeros to the remaining ones, up to `length`.
void fill_padded(std::span<const float> x, bool apply_window, std::uint64_t length,
                 detail::RealBuffer& padded) {
    const float mean = mean_of(x);
    const float last = static_cast<float>(x.size() - 1);
    padded.resize(length);
    for (std::size_t i = 0; i < x.size(); ++i) {
        const float centred = x[i] - mean;
        padded[i] = apply_window
                        ? (1.0f - std::cos(static_cast<float>(i) * kTwoPi / last)) * 0.5f * centred
                        : centred;
    }
    std::fill(padded.begin() + static_cast<std::ptrdiff_t>(x.size()), padded.end(), 0.0f);
}

std::uint64_t transform_length(std::uint64_t n, float fs, float resolution) {
    const std::uint64_t m =
        std::min(saturating_cast<std::uint64_t>(fs / resolution), kMaxPaddedLength);
    return std::bit_ceil(std::max(m, n));
}

void fill_bins(const detail::TransformBuffer& bins, std::uint64_t length, float fs,
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
    const std::uint64_t length = transform_length(signal.size(), fs, resolution);
    fill_padded(signal, apply_window, length, workspace.padded);
    detail::forward_real_transform(workspace.padded, workspace.bins);
    fill_bins(workspace.bins, length, fs, workspace);
}

}  // namespace quorvanta
