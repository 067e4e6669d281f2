// SPDX-License-Identifier: Apache-2.0
// Texts that recur in every batch of an analysis (units, notes, the advisory message), each
// stored once and named by a small index, so that hours of batches keep only numbers.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace quorvanta::cli {

class TextTable {
public:
    std::uint32_t index_of(const std::string& text) {
        const auto [entry, added] =
            indexes_.try_emplace(text, static_cast<std::uint32_t>(texts_.size()));
        if (added) texts_.push_back(&entry->first);
        return entry->second;
    }

    const std::string& operator[](std::uint32_t index) const { return *texts_[index]; }

private:
    std::unordered_map<std::string, std::uint32_t> indexes_;
    std::vector<const std::string*> texts_;  // the keys of indexes_, which never move
};

}  // namespace quorvanta::cli
