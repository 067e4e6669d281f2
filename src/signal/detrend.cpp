// SPDX-License-Identifier: Apache-2.0
// Smoothness-priors detrending: out = x - z, where the trend z solves
//
//   (I + q D2' D2) z = x,  q = lambda^2,  lambda = 0.075 (fs / cutoff)^2
//
// with D2 the (n - 2) x n second-difference operator; z follows variations slower than about
// the cutoff (Hz), so out is the high-pass part. The matrix is pentadiagonal: diagonal 1 + q,
// 1 + 5q, 1 + 6q, ..., 1 + 5q, 1 + q (1 + q, 1 + 4q, 1 + q for n = 3), first off-diagonal -2q,
// -4q, ..., -4q, -2q, second off-diagonal q. It is solved in f32 by a banded Cholesky
// factorisation L L' (bands l0, l1, l2) and two substitutions, in O(n) time and memory.
//
// Empty input gives an empty result; fewer than 3 samples, or a cutoff not above 1e-5 Hz
// (including NaN), gives zeros. A radicand <= 0 abandons the factorisation and returns the input
// unchanged. A NaN radicand (lambda NaN or overflowing) is not <= 0: it propagates to a NaN output.
#include "signal/filters.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <optional>

namespace quorvanta {
namespace {

// The bands of I + q D2' D2 for n >= 3.
struct Pentadiagonal {
    std::size_t n;
    float q;

    float diagonal(std::size_t k) const {
        const std::size_t from_end = std::min(k, n - 1 - k);
        if (from_end == 0) return 1.0f + q;
        if (n == 3) return 1.0f + 4.0f * q;
        return 1.0f + (from_end == 1 ? 5.0f : 6.0f) * q;
    }

    // Entry (k, k + 1), for k < n - 1.
    float first_off(std::size_t k) const {
        const bool at_end = k == 0 || k == n - 2;
        return (at_end ? -2.0f : -4.0f) * q;
    }
};

// Lower-triangular factor with diagonal l0, first sub-diagonal l1 and second sub-diagonal l2.
struct BandedFactor {
    std::vector<float> l0, l1, l2;
};

// Square root of a radicand that is not <= 0 (NaN passes through), into out.
bool root_of(float radicand, float& out) {
    if (radicand <= 0.0f) return false;
    out = std::sqrt(radicand);
    return true;
}

std::optional<BandedFactor> factorize(const Pentadiagonal& a) {
    const std::size_t n = a.n;
    BandedFactor f{std::vector<float>(n), std::vector<float>(n - 1), std::vector<float>(n - 2)};
    if (!root_of(a.diagonal(0), f.l0[0])) return std::nullopt;
    f.l1[0] = a.first_off(0) / f.l0[0];
    if (!root_of(a.diagonal(1) - f.l1[0] * f.l1[0], f.l0[1])) return std::nullopt;
    for (std::size_t k = 0; k + 2 < n; ++k) {
        f.l2[k] = a.q / f.l0[k];
        f.l1[k + 1] = (a.first_off(k + 1) - f.l2[k] * f.l1[k]) / f.l0[k + 1];
        const float squares = f.l2[k] * f.l2[k] + f.l1[k + 1] * f.l1[k + 1];
        if (!root_of(a.diagonal(k + 2) - squares, f.l0[k + 2])) return std::nullopt;
    }
    return f;
}

// Solves L y = x, then L' z = y in place; n >= 3.
std::vector<float> solve(const BandedFactor& f, std::span<const float> x) {
    const std::size_t n = x.size();
    const auto& [l0, l1, l2] = f;
    std::vector<float> z(n);
    z[0] = x[0] / l0[0];
    z[1] = (x[1] - l1[0] * z[0]) / l0[1];
    for (std::size_t k = 0; k + 2 < n; ++k) {
        z[k + 2] = (x[k + 2] - l1[k + 1] * z[k + 1] - l2[k] * z[k]) / l0[k + 2];
    }
    z[n - 1] = z[n - 1] / l0[n - 1];
    z[n - 2] = (z[n - 2] - l1[n - 2] * z[n - 1]) / l0[n - 2];
    for (std::size_t k = n - 2; k-- > 0;) {
        z[k] = (z[k] - l1[k] * z[k + 1] - l2[k] * z[k + 2]) / l0[k];
    }
    return z;
}

}  // namespace

std::vector<float> detrend_signal(std::span<const float> signal, float fs, float cutoff_hz) {
    const std::size_t n = signal.size();
    if (n < 3 || !(cutoff_hz > 1e-5f)) return std::vector<float>(n, 0.0f);
    const float ratio = fs / cutoff_hz;
    const float lambda = 0.075f * (ratio * ratio);
    const std::optional<BandedFactor> factor = factorize({n, lambda * lambda});
    if (!factor) return {signal.begin(), signal.end()};
    std::vector<float> out = solve(*factor, signal);
    for (std::size_t i = 0; i < n; ++i)
        out[i] = signal[i] - out[i];
    return out;
}

}  // namespace quorvanta
