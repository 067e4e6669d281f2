// SPDX-License-Identifier: Apache-2.0
// Centred moving average over a window cut at the ends, and its length for a low-pass cutoff.
//
//   half = L / 2,  lo = max(i - half, 0),  hi = min(i + half + 1, n)
//   out[i] = (x[lo] + ... + x[hi - 1]) / (hi - lo)
//
// The sum runs in index order in f32; the divisor shrinks near the ends, an even L acts as L + 1
// and an L beyond n averages the whole available range. L of 0 or 1 copies the input; empty
// input gives an empty result. Windows that start at index 0 are the prefixes of one running
// in-order sum, so they share it: the cost is at most n x L, and linear once the window spans
// the signal (L = UINT64_MAX).
//
//   smoothing_window_length: r = cutoff / fs (cycles per sample),
//   L = floor(sqrt(r^2 + 0.196202) / r), the length whose -3 dB point is r, made odd downwards and
//   at least 1. A cutoff or fs that is not positive (or NaN) gives 1; |r| < 1e-6 gives UINT64_MAX,
//   the average of everything.
#include "signal/filters.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "types/numeric.h"

namespace quorvanta {
namespace {

// x[lo] + ... + x[hi - 1] in index order, for lo < hi.
float window_sum(std::span<const float> x, std::size_t lo, std::size_t hi) {
    float sum = x[lo];
    for (std::size_t k = lo + 1; k < hi; ++k)
        sum += x[k];
    return sum;
}

// x[0] + ... + x[end - 1] in index order, for a non-decreasing end >= 1 and a non-empty x.
class PrefixSum {
public:
    explicit PrefixSum(std::span<const float> x) : x_(x), sum_(x[0]) {}

    float up_to(std::size_t end) {
        for (; end_ < end; ++end_)
            sum_ += x_[end_];
        return sum_;
    }

private:
    std::span<const float> x_;
    float sum_;
    std::size_t end_ = 1;
};

}  // namespace

std::vector<float> moving_average(std::span<const float> signal, std::uint64_t window) {
    const std::size_t n = signal.size();
    if (n == 0 || window <= 1) return {signal.begin(), signal.end()};
    const std::uint64_t half = window / 2;
    std::vector<float> out(n);
    PrefixSum prefix(signal);
    for (std::size_t i = 0; i < n; ++i) {
        // Both bounds lie within the signal (i + half + 1 itself may overflow), so they fit its
        // size type even where that is narrower than the window's.
        const auto lo = static_cast<std::size_t>(i >= half ? i - half : 0);
        const auto hi = static_cast<std::size_t>(half < n - i ? i + half + 1 : n);
        const float sum = lo == 0 ? prefix.up_to(hi) : window_sum(signal, lo, hi);
        out[i] = sum / static_cast<float>(hi - lo);
    }
    return out;
}

std::uint64_t smoothing_window_length(float cutoff_hz, float fs) {
    if (!(fs > 0.0f) || !(cutoff_hz > 0.0f)) return 1;
    const float r = cutoff_hz / fs;
    if (std::fabs(r) < 1e-6f) return std::numeric_limits<std::uint64_t>::max();
    std::uint64_t length =
        saturating_cast<std::uint64_t>(std::floor(std::sqrt(r * r + 0.196202f) / r));
    if (length % 2 == 0 && length > 0) --length;
    return std::max<std::uint64_t>(length, 1);
}

}  // namespace quorvanta
