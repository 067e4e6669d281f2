// SPDX-License-Identifier: Apache-2.0
// Sub-sample location of an extremum from three neighbouring values.
#pragma once

#include <optional>

namespace quorvanta {

// The offset from the middle point of the vertex of the parabola through (-1, a), (0, b), (1, c):
//   delta = (a - c) / den,  den = 2 (a - 2b + c)
// or nothing when |den| is not above `min_denominator` (three points on a line, or NaN) or delta
// is NaN. Callers decide what to do with an offset beyond half a sample.
std::optional<float> parabola_vertex(float a, float b, float c, float min_denominator);

}  // namespace quorvanta
