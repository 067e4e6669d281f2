// SPDX-License-Identifier: Apache-2.0
#include "signal/block_means.h"

#include <algorithm>

#include "types/numeric.h"

namespace quorvanta {

std::vector<float> block_means(std::span<const float> signal, std::size_t k) {
    if (k <= 1) return {signal.begin(), signal.end()};
    std::vector<float> means;
    means.reserve(signal.size() / k + 1);
    for (std::size_t first = 0; first < signal.size(); first += k)
        means.push_back(mean(signal.subspan(first, std::min(k, signal.size() - first))));
    return means;
}

}  // namespace quorvanta
