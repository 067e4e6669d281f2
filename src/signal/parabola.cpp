// SPDX-License-Identifier: Apache-2.0
// parabola_vertex: delta = (a - c) / (2 (a - 2b + c)), in f32 in that order.
#include "signal/parabola.h"

#include <cmath>

namespace quorvanta {

std::optional<float> parabola_vertex(float a, float b, float c, float min_denominator) {
    const float den = 2.0f * (a - 2.0f * b + c);
    if (!(std::fabs(den) > min_denominator)) return std::nullopt;
    const float delta = (a - c) / den;
    if (std::isnan(delta)) return std::nullopt;
    return delta;
}

}  // namespace quorvanta
