// SPDX-License-Identifier: Apache-2.0
// cos_near_zero, sin_near_zero: Taylor polynomials evaluated by Horner's rule in x^2,
//   cos x = 1 - x^2/2! + ... + x^16/16!,  sin x = x - x^3/3! + ... + x^17/17!
//   For |x| <= pi/4 the truncation error is below 3e-18, so the result is within a few double ulps
//   (the rounding of Horner's rule).
// cos_f32: |x| = k pi/2 + r with k the nearest integer to |x| / (pi/2) and |r| <= pi/4; r is
//   computed in two steps (Cody and Waite) with pi/2 = kHalfPiHigh + kHalfPiLow, where
//   kHalfPiHigh has 33 significant bits so that k * kHalfPiHigh is exact for k < 2^20; then
//   cos |x| = cos r, -sin r, -cos r, sin r for k mod 4 = 0, 1, 2, 3, rounded once to f32.
//   Beyond |x| <= 8 the reduction loses accuracy, not determinism; NaN gives NaN.
#include "signal/trig.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "types/numeric.h"

namespace quorvanta::detail {
namespace {

// 1 / k! with alternating signs, folded at compile time by exact division.
template <std::size_t N>
constexpr std::array<double, N> taylor_terms(int first) {
    std::array<double, N> terms{};
    double factorial = 1;
    for (int k = 1; k < first; ++k)
        factorial *= k;
    for (std::size_t i = 0; i < N; ++i) {
        const int k = first + 2 * static_cast<int>(i);
        if (i > 0) factorial *= static_cast<double>(k - 1) * k;
        terms[i] = (i % 2 == 0 ? 1.0 : -1.0) / factorial;
    }
    return terms;
}

constexpr auto kCosTerms = taylor_terms<9>(0);
constexpr auto kSinTerms = taylor_terms<9>(1);

template <std::size_t N>
double horner(const std::array<double, N>& terms, double square) {
    double sum = terms[N - 1];
    for (std::size_t i = N - 1; i-- > 0;)
        sum = sum * square + terms[i];
    return sum;
}

constexpr double kTwoOverPi = 0.6366197723675814;
constexpr double kHalfPiHigh = 1.5707963267341256;    // pi/2 truncated to 33 bits
constexpr double kHalfPiLow = 6.077100506506192e-11;  // pi/2 - kHalfPiHigh, rounded

}  // namespace

double cos_near_zero(double x) {
    return horner(kCosTerms, x * x);
}

double sin_near_zero(double x) {
    return x * horner(kSinTerms, x * x);
}

float cos_f32(float x) {
    const double magnitude = std::fabs(static_cast<double>(x));
    const double k = std::floor(magnitude * kTwoOverPi + 0.5);
    const double r = (magnitude - k * kHalfPiHigh) - k * kHalfPiLow;
    switch (saturating_cast<std::uint64_t>(k) % 4) {
        case 1:
            return static_cast<float>(-sin_near_zero(r));
        case 2:
            return static_cast<float>(-cos_near_zero(r));
        case 3:
            return static_cast<float>(sin_near_zero(r));
        default:
            return static_cast<float>(cos_near_zero(r));
    }
}

}  // namespace quorvanta::detail
