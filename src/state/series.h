// SPDX-License-Identifier: Apache-2.0
// One signal's history: per sample, the sum of the predictions received for it and their count.
//
// Overlapping batches repeat frames the session already holds; their predictions are added into
// the stored samples instead of being stored twice, so each sample's value is sum / count (0 when
// the count is 0), kept beside them as it changes so that reading the values is a copy. Sums,
// counts and means live in double-ended queues, so pushing new samples and dropping the oldest
// cost only the samples moved.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <span>
#include <vector>

namespace quorvanta {

class Series {
public:
    // Merges one batch. Its first `overlap` values belong to frames already held: value j of the
    // first m = min(values, overlap, size) is added into stored sample size - m + j (a NaN leaves
    // the sample alone). The rest are new samples; a NaN among them repeats the previous sample's
    // value (forward fill), and a series that starts with NaN starts at 0.
    void append(std::span<const float> values, std::size_t overlap);

    // The per-sample means, oldest first.
    std::vector<float> values() const { return newest_values(size()); }

    // The per-sample means of the newest `count` samples (all when fewer), oldest first.
    std::vector<float> newest_values(std::size_t count) const;

    std::size_t size() const noexcept { return sums_.size(); }

    // Drops the oldest samples until at most `max_samples` remain.
    void truncate_front(std::size_t max_samples);

    void clear() noexcept;

private:
    std::deque<float> sums_;
    std::deque<std::uint32_t> counts_;
    std::deque<float> means_;  // sums_[i] / counts_[i], 0 for a count of 0
};

}  // namespace quorvanta
