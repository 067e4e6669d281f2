// SPDX-License-Identifier: Apache-2.0
// Cosine and sine from IEEE-754 additions and multiplications only, so that they give the same
// bits on every platform: the C libraries' cosf and sin differ in their last bits from one to the
// next (glibc, musl, Apple's), which would make spectra differ between builds.
#pragma once

namespace quorvanta::detail {

// cos x and sin x for |x| <= pi/4, within a few double ulps.
double cos_near_zero(double x);
double sin_near_zero(double x);

// cos x rounded to f32, for |x| <= 8 (the Hann window's angles); correctly rounded but where the
// exact value lies within about 1e-16 of a rounding boundary.
float cos_f32(float x);

}  // namespace quorvanta::detail
