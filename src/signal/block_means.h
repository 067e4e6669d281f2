// SPDX-License-Identifier: Apache-2.0
// Downsampling by averaging: the mean of every k successive samples.
#pragma once

#include <cstddef>
#include <span>
#include <vector>

namespace quorvanta {

// Means over blocks of k samples (mean: f32 sums in index order), oldest first; the last block
// may be shorter. k of 0 or 1 returns the signal.
std::vector<float> block_means(std::span<const float> signal, std::size_t k);

}  // namespace quorvanta
