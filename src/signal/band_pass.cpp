// SPDX-License-Identifier: Apache-2.0
// band_pass: two biquads of the audio-EQ cookbook (R. Bristow-Johnson), Q = 1/sqrt 2,
//   w0 = 2 pi f0 / fs,  c = cos w0,  alpha = sin w0 / (2 Q)
//   low-pass   b = ((1 - c) / 2, 1 - c, (1 - c) / 2)
//   high-pass  b = ((1 + c) / 2, -(1 + c), (1 + c) / 2)
//   a = (1 + alpha, -2c, 1 - alpha), every coefficient divided by a0 = 1 + alpha,
// each run in direct form I, y[n] = (b0 x[n] + b1 x[n-1] + b2 x[n-2] - a2 y[n-2]) - a1 y[n-1] in
// f32, summed in that order so that each output waits on its predecessor for one product and one
// subtraction only, over the signal extended at both ends by its odd reflection (2 x[0] - x[k],
// 2 x[n-1] - x[n-1-k]) of min(n - 1, round(fs / low_hz)) samples, which lets the filters settle
// before the signal starts; forward, then backward over the result, then the extension cut off.
// Each pass starts from rest on its input minus its first value (so that it does not start with a
// step), and adds back what the section passes of that value (all of it for the low-pass, none
// for the high-pass). cos and sin come from the library's own polynomials, reduced to
// |x| <= pi/4, so that the coefficients have the same bits on every platform.
#include "signal/band_pass.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "signal/trig.h"
#include "types/numeric.h"

namespace quorvanta {
namespace detail {
namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kQuarterPi = kPi / 4;
constexpr double kHalfPi = kPi / 2;
constexpr double kButterworthQ = 0.70710678118654752440;
constexpr float kMaxCutoffShareOfFs = 0.45f;

struct CosSin {
    double cos;
    double sin;
};

// cos and sin of w in [0, pi].
CosSin cos_sin(double w) {
    if (w <= kQuarterPi) return {cos_near_zero(w), sin_near_zero(w)};
    if (w <= kHalfPi) return {sin_near_zero(kHalfPi - w), cos_near_zero(kHalfPi - w)};
    if (w <= 3 * kQuarterPi) return {-sin_near_zero(w - kHalfPi), cos_near_zero(w - kHalfPi)};
    return {-cos_near_zero(kPi - w), sin_near_zero(kPi - w)};
}

struct Biquad {
    float b0, b1, b2, a1, a2;
    float dc_gain;  // 0 for the high-pass, 1 for the low-pass
};

Biquad butterworth(double cutoff_hz, double fs, bool high_pass) {
    const CosSin w = cos_sin(2 * kPi * cutoff_hz / fs);
    const double alpha = w.sin / (2 * kButterworthQ);
    const double a0 = 1 + alpha;
    const double side = (high_pass ? 1 + w.cos : 1 - w.cos) / 2;
    const double middle = high_pass ? -(1 + w.cos) : 1 - w.cos;
    return {static_cast<float>(side / a0),        static_cast<float>(middle / a0),
            static_cast<float>(side / a0),        static_cast<float>(-2 * w.cos / a0),
            static_cast<float>((1 - alpha) / a0), high_pass ? 0.0f : 1.0f};
}

// One pass from rest over x[first], x[first + step], ...: the filter runs on x - x[first], which
// starts at 0 as its state does, and what it passes of the constant x[first] is added back.
template <class Iterator>
void run_from_rest(const Biquad& f, Iterator first, Iterator last) {
    const float start = *first;
    float x1 = 0, x2 = 0, y1 = 0, y2 = 0;
    for (; first != last; ++first) {
        const float input = *first - start;
        const float y = (f.b0 * input + f.b1 * x1 + f.b2 * x2 - f.a2 * y2) - f.a1 * y1;
        x2 = x1;
        x1 = input;
        y2 = y1;
        y1 = y;
        *first = y + f.dc_gain * start;
    }
}

void run_zero_phase(const Biquad& f, std::vector<float>& x) {
    run_from_rest(f, x.begin(), x.end());
    run_from_rest(f, x.rbegin(), x.rend());
}

// The signal with non-finite samples held at the last finite one, extended by `pad` reflected
// samples at each end.
std::vector<float> extended(std::span<const float> signal, std::size_t pad) {
    const std::size_t n = signal.size();
    std::vector<float> out(n + 2 * pad);
    float last = 0;
    for (std::size_t i = 0; i < n; ++i) {
        if (std::isfinite(signal[i])) last = signal[i];
        out[pad + i] = last;
    }
    const float first = out[pad];
    for (std::size_t k = 1; k <= pad; ++k) {
        out[pad - k] = 2 * first - out[pad + k];
        out[pad + n - 1 + k] = 2 * last - out[pad + n - 1 - k];
    }
    return out;
}

}  // namespace
}  // namespace detail

std::vector<float> band_pass(std::span<const float> signal, float fs, float low_hz, float high_hz) {
    const std::size_t n = signal.size();
    const float high = std::min(high_hz, detail::kMaxCutoffShareOfFs * fs);
    if (n < 3 || !std::isfinite(fs) || !(fs > 0) || !(low_hz > 0) || !(low_hz < high)) {
        return std::vector<float>(n, 0.0f);
    }
    const std::size_t pad =
        std::min(n - 1, saturating_cast<std::size_t>(round_half_away(fs / low_hz)));
    std::vector<float> x = detail::extended(signal, pad);
    detail::run_zero_phase(detail::butterworth(low_hz, fs, true), x);
    detail::run_zero_phase(detail::butterworth(high, fs, false), x);
    return {x.begin() + static_cast<std::ptrdiff_t>(pad),
            x.begin() + static_cast<std::ptrdiff_t>(pad + n)};
}

}  // namespace quorvanta
