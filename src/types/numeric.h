// SPDX-License-Identifier: Apache-2.0
// Numeric conventions shared by the whole library.
//
// saturating_cast<I>(v): float to integer, truncating toward zero. NaN gives 0; values beyond
//   the range of I give its minimum or maximum, so negatives give 0 for an unsigned I. Defined
//   for every input, unlike static_cast.
// round_half_away(v): nearest integer, halves away from zero (2.5 -> 3, -2.5 -> -3), same type.
// min_num / max_num: IEEE-754 minNum / maxNum. A NaN operand yields the other operand; when the
//   operands compare equal (including -0 and +0) the first is returned.
// mean(values): the f32 sum in index order divided by the count; 0 for no values.
// kSecondsPerMinute: rates are per minute, times and sampling rates per second.
#pragma once

#include <cmath>
#include <concepts>
#include <limits>
#include <span>

namespace quorvanta {

inline constexpr float kSecondsPerMinute = 60.0f;

template <std::integral I, std::floating_point F>
constexpr I saturating_cast(F v) noexcept {
    using limits = std::numeric_limits<I>;
    // 2^digits: one past the largest value of I, exact in every floating type.
    constexpr F upper = static_cast<F>(I{1} << (limits::digits - 1)) * F{2};
    constexpr F lower = static_cast<F>(limits::min());  // 0 or -2^digits, also exact
    if (v != v) return 0;
    if (v <= lower) return limits::min();
    if (v >= upper) return limits::max();
    return static_cast<I>(v);
}

template <std::floating_point F>
F round_half_away(F v) noexcept {
    return std::round(v);
}

template <std::floating_point F>
constexpr F min_num(F a, F b) noexcept {
    if (a != a) return b;
    if (b != b) return a;
    return b < a ? b : a;
}

template <std::floating_point F>
constexpr F max_num(F a, F b) noexcept {
    if (a != a) return b;
    if (b != b) return a;
    return b > a ? b : a;
}

inline float mean(std::span<const float> values) noexcept {
    if (values.empty()) return 0.0f;
    float sum = 0.0f;
    for (const float v : values)
        sum += v;
    return sum / static_cast<float>(values.size());
}

}  // namespace quorvanta
