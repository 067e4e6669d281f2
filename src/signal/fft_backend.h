// SPDX-License-Identifier: Apache-2.0
// The transform behind compute_spectrum, one small interface so that its provider can be swapped
// at build time: the library's own (real_fft.h, the default) or FFTW (-DQUORVANTA_FFT=fftw), which
// the tests keep as a second opinion.
#pragma once

#include <cstddef>
#include <span>

#include "signal/transform_buffers.h"

namespace quorvanta::detail {

// X[k] = sum_{j < n} x[j] e^(-2 pi i jk / N) for k = 0 .. N/2 - 1: the forward, unnormalised
// transform of the n samples zero padded to N = `length`, a power of two of at least 2 and at
// least n, into `bins` (N/2 values). `scratch` is working storage kept between calls.
// Thread-safe for distinct buffers.
void forward_real_transform(std::span<const float> samples, std::size_t length, RealBuffer& scratch,
                            TransformBuffer& bins);

}  // namespace quorvanta::detail
