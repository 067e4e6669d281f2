// SPDX-License-Identifier: Apache-2.0
#include "state/series.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace quorvanta {
namespace {

float mean_of(float sum, std::uint32_t count) {
    return count == 0 ? 0.0f : sum / static_cast<float>(count);
}

}  // namespace

void Series::append(std::span<const float> values, std::size_t overlap) {
    const std::size_t held = size();
    const std::size_t merged = std::min({held, overlap, values.size()});
    for (std::size_t j = 0; j < merged; ++j) {
        const float value = values[j];
        if (std::isnan(value)) continue;
        const std::size_t i = held - merged + j;
        sums_[i] += value;
        if (counts_[i] < std::numeric_limits<std::uint32_t>::max()) ++counts_[i];
        means_[i] = mean_of(sums_[i], counts_[i]);
    }
    float carried = held == 0 ? 0.0f : means_[held - 1];
    for (const float value : values.subspan(merged)) {
        if (!std::isnan(value)) carried = value;
        sums_.push_back(carried);
        counts_.push_back(1);
        means_.push_back(mean_of(carried, 1));
    }
}

std::vector<float> Series::newest_values(std::size_t count) const {
    const std::size_t kept = std::min(count, size());
    return {means_.end() - static_cast<std::ptrdiff_t>(kept), means_.end()};
}

void Series::truncate_front(std::size_t max_samples) {
    if (size() <= max_samples) return;
    const auto excess = static_cast<std::ptrdiff_t>(size() - max_samples);
    sums_.erase(sums_.begin(), sums_.begin() + excess);
    counts_.erase(counts_.begin(), counts_.begin() + excess);
    means_.erase(means_.begin(), means_.begin() + excess);
}

void Series::clear() noexcept {
    sums_.clear();
    counts_.clear();
    means_.clear();
}

}  // namespace quorvanta
