// SPDX-License-Identifier: Apache-2.0
// unit_root: W_n^e = cos(theta) - i sin(theta), theta = 2 pi e / n, rounded to f32.
//   The angle is reduced exactly, with integers, to a quadrant q = floor(4e / n) and a remainder
//   r = 4e - q n, so that theta = q pi/2 + phi with phi = (pi/2) (r / n) in [0, pi/2); past pi/4
//   the complement pi/2 - phi is used with cosine and sine swapped. On [0, pi/4] cos_near_zero and
//   sin_near_zero give them within a few double ulps, far below half a float ulp, from IEEE-754
//   operations only (r / n is exact for n a power of two), so every platform rounds the same
//   doubles to the same floats. Exact values stay exact: W^0 = 1, W^(n/4) = -i, W^(n/2) = -1,
//   W^(3n/4) = i.
#include "signal/twiddles.h"

#include "signal/trig.h"

namespace quorvanta::detail {
namespace {

constexpr double kHalfPi = 1.5707963267948966;  // pi / 2 rounded to double

}  // namespace

UnitRoot unit_root(std::uint64_t e, std::uint64_t n) {
    const std::uint64_t quadrant = e * 4 / n;  // e < n <= 2^62, so 4e does not overflow
    const std::uint64_t r = e * 4 - quadrant * n;
    // cos and sin of phi, then of theta = quadrant * pi/2 + phi.
    const bool complement = 2 * r > n;
    const double phi =
        kHalfPi * (static_cast<double>(complement ? n - r : r) / static_cast<double>(n));
    const double cos_phi = complement ? sin_near_zero(phi) : cos_near_zero(phi);
    const double sin_phi = complement ? cos_near_zero(phi) : sin_near_zero(phi);
    double c = cos_phi;
    double s = sin_phi;
    switch (quadrant) {
        case 1:
            c = -sin_phi, s = cos_phi;
            break;
        case 2:
            c = -cos_phi, s = -sin_phi;
            break;
        case 3:
            c = sin_phi, s = -cos_phi;
            break;
        default:
            break;
    }
    return {static_cast<float>(c), static_cast<float>(-s)};
}

}  // namespace quorvanta::detail
