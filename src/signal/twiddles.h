// SPDX-License-Identifier: Apache-2.0
// Roots of unity for the transforms, with the same bits on every platform.
#pragma once

#include <cstdint>

namespace quorvanta::detail {

struct UnitRoot {
    float re;
    float im;
};

// W_n^e = e^(-2 pi i e / n) = cos(2 pi e / n) - i sin(2 pi e / n), rounded to f32, for n a power
// of two and e < n. No platform's libm takes part: see twiddles.cpp.
UnitRoot unit_root(std::uint64_t e, std::uint64_t n);

}  // namespace quorvanta::detail
