// SPDX-License-Identifier: Apache-2.0
// The library's own forward transform of real samples.
#pragma once

#include <cstddef>
#include <span>

#include "signal/transform_buffers.h"

namespace quorvanta::detail {

// X[k] = sum_{j < n} x[j] e^(-2 pi i jk / N) for k = 0 .. N/2 - 1: the forward, unnormalised
// transform of the n samples zero padded to N = `length`, a power of two of at least 2 and at
// least n. `bins` receives the N/2 values (the upper half of a real input's spectrum mirrors them,
// and the Nyquist bin is left out); `scratch` is working storage, reused from call to call.
// Thread-safe for distinct buffers.
void real_fft(std::span<const float> samples, std::size_t length, RealBuffer& scratch,
              TransformBuffer& bins);

}  // namespace quorvanta::detail
