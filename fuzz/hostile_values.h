// SPDX-License-Identifier: Apache-2.0
// Values a broken or hostile host might pass, drawn from libFuzzer's input, and the check that
// stops a run when the library breaks a promise.
//
// Every draw offers a typical value first: libFuzzer's FuzzedDataProvider yields 0 for choices
// once the input is used up, so a short or empty input describes an ordinary session and every
// extra byte makes it stranger.
#pragma once

#include <fuzzer/FuzzedDataProvider.h>

#include <array>
#include <bit>
#include <concepts>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

namespace fuzz {

// Stops the run with `what` when `condition` does not hold, so that libFuzzer keeps the input.
inline void require(bool condition, std::string_view what) {
    if (condition) return;
    std::fprintf(stderr, "broken promise: %.*s\n", static_cast<int>(what.size()), what.data());
    std::abort();
}

// Numbers that break arithmetic: signed zeros, extremes, subnormals, infinities, NaNs with and
// without payload, and the first values beyond the 32- and 64-bit integer ranges.
template <std::floating_point F>
constexpr auto kSpecialValues = [] {
    using limits = std::numeric_limits<F>;
    using Bits = std::conditional_t<sizeof(F) == 4, std::uint32_t, std::uint64_t>;
    const F nan_with_payload = std::bit_cast<F>(std::bit_cast<Bits>(limits::quiet_NaN()) | 1);
    return std::array<F, 22>{F{0},
                             -F{0},
                             F{1},
                             F{-1},
                             F(0.5),
                             F(1e-6),
                             F(1e-30),
                             F(-1e-30),
                             F(1e30),
                             F(-1e30),
                             limits::max(),
                             limits::lowest(),
                             limits::min(),
                             limits::denorm_min(),
                             limits::infinity(),
                             -limits::infinity(),
                             limits::quiet_NaN(),
                             -limits::quiet_NaN(),
                             nan_with_payload,
                             F{2147483648.0},
                             F{4294967296.0},
                             F{18446744073709551616.0}};
}();

// `typical`, a special value, or any bit pattern at all.
template <std::floating_point F>
F hostile(FuzzedDataProvider& data, F typical) {
    using Bits = std::conditional_t<sizeof(F) == 4, std::uint32_t, std::uint64_t>;
    switch (data.ConsumeIntegralInRange(0, 2)) {
        case 0:
            return typical;
        case 1:
            return data.PickValueInArray(kSpecialValues<F>);
        default:
            return std::bit_cast<F>(data.ConsumeIntegral<Bits>());
    }
}

// `typical`, a small count, the largest count or any count up to `limit`.
inline std::size_t hostile_count(FuzzedDataProvider& data, std::size_t typical, std::size_t limit) {
    switch (data.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return typical;
        case 1:
            return data.ConsumeIntegralInRange<std::size_t>(0, 3);
        case 2:
            return limit;
        default:
            return data.ConsumeIntegralInRange<std::size_t>(0, limit);
    }
}

// `typical` or any integer, the extremes favoured.
template <std::unsigned_integral U>
U hostile_integer(FuzzedDataProvider& data, U typical) {
    switch (data.ConsumeIntegralInRange(0, 3)) {
        case 0:
            return typical;
        case 1:
            return 0;
        case 2:
            return std::numeric_limits<U>::max();
        default:
            return data.ConsumeIntegral<U>();
    }
}

// A short text of any 7-bit characters, NUL and controls included: always valid UTF-8, so that
// it stays a well-formed value on the wire.
inline std::string hostile_text(FuzzedDataProvider& data) {
    std::string text = data.ConsumeRandomLengthString(24);
    for (char& c : text)
        c = static_cast<char>(c & 0x7f);
    return text;
}

// Replaces a few of `values` by hostile ones or by their predecessors.
template <std::floating_point F>
void sprinkle(FuzzedDataProvider& data, std::vector<F>& values) {
    const int odd_ones = data.ConsumeIntegralInRange(0, 3);
    for (int k = 0; k < odd_ones && !values.empty(); ++k) {
        const std::size_t i = data.ConsumeIntegralInRange<std::size_t>(0, values.size() - 1);
        values[i] = data.ConsumeBool() && i > 0 ? values[i - 1] : hostile(data, values[i]);
    }
}

// `count` values `typical(i)`: now and then all of them hostile, otherwise a few.
template <class Typical, std::floating_point F = std::invoke_result_t<Typical, std::size_t>>
std::vector<F> hostile_sequence(FuzzedDataProvider& data, std::size_t count, Typical typical) {
    std::vector<F> values(count);
    const bool all_hostile = data.ConsumeIntegralInRange(0, 3) == 3;
    for (std::size_t i = 0; i < count; ++i)
        values[i] = all_hostile ? hostile(data, typical(i)) : typical(i);
    sprinkle(data, values);
    return values;
}

}  // namespace fuzz
