// SPDX-License-Identifier: Apache-2.0
// The default transform: the library's own.
#include "signal/fft_backend.h"
#include "signal/real_fft.h"

namespace quorvanta::detail {

void forward_real_transform(std::span<const float> samples, std::size_t length, RealBuffer& scratch,
                            TransformBuffer& bins) {
    real_fft(samples, length, scratch, bins);
}

}  // namespace quorvanta::detail
