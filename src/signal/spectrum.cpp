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

void fill_windowed(std::span<const float> x, bool apply_window, std::vector<float>& windowed) {
    const float mean = mean_of(x);
    const float last = static_cast<float>(x.size() - 1);
    windowed.resize(x.size());
    for (std::size_t i = 0; i < x.size(); ++i) {
        const float centred = x[i] - mean;
        windowed[i] =
            apply_window ? (1.0f - std::cos(static_cast<float>(i) * kTwoPi / last)) * 0.5f * centred
                         : centred;
    }
}

std::uint64_t transform_length(std::uint64_t n, float fs, float resolution) {
    const std::uint64_t m =
        std::min(saturating_cast<std::uint64_t>(fs / resolution), kMaxPaddedLength);
    return std::bit_ceil(std::max(m, n));
}

// Lays `windowed` out as the real input of the transform, zero padded, and transforms it.
void transform(std::span<const float> windowed, std::uint64_t length,
               detail::TransformBuffer& buffer) {
    buffer.resize(length / 2 + 1);
    float* const real = reinterpret_cast<float*>(buffer.data());
    std::copy(windowed.begin(), windowed.end(), real);
    std::fill(real + windowed.size(), real + 2 * buffer.size(), 0.0f);
    detail::forward_real_transform(buffer, length);
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
    fill_windowed(signal, apply_window, workspace.windowed);
    const std::uint64_t length = transform_length(signal.size(), fs, resolution);
    transform(workspace.windowed, length, workspace.fft_buffer);
    fill_bins(workspace.fft_buffer, length, fs, workspace);
}

}  // namespace quorvanta
