// SPDX-License-Identifier: Apache-2.0
// A file's columns by name, with the mappings a reader's options give: which column holds the
// timestamps or a signal under another name (such as PLETH for ppg_waveform). Lookups by name, so
// that a header of any width is indexed in time linear in it.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "recording/named_column.h"

namespace quorvanta::detail {

// The name of the timestamps' column, and of the mapping target that names another.
inline constexpr std::string_view kTimestampColumn = "timestamp";

class ColumnIndex {
public:
    // Throws InputError for a name that appears twice, and for a mapping to or of nothing.
    ColumnIndex(const std::vector<NamedColumn>& columns, const ColumnSource& source,
                const std::vector<std::pair<std::string, std::string>>& mappings);

    std::optional<std::size_t> find(std::string_view name) const;

    // The column a mapping names as the timestamps.
    std::optional<std::size_t> mapped_timestamp() const { return mapped_timestamp_; }
    bool is_mapped(std::size_t column) const { return mapped_.contains(column); }

    // The signal a column holds: the one it is mapped to, or the one its name names.
    std::optional<std::string> signal_of(std::size_t column) const;

    // The signal a confidence column's prefix names: as a column mapped to a signal, or as a
    // signal's id or alias.
    std::optional<std::string> signal_of_prefix(std::string_view prefix) const;

private:
    void map_column(const std::string& target, const std::string& name);

    const std::vector<NamedColumn>& columns_;
    const ColumnSource& source_;
    std::unordered_map<std::string, std::size_t> index_;   // name -> column
    std::unordered_map<std::size_t, std::string> mapped_;  // column -> the signal it holds
    std::optional<std::size_t> mapped_timestamp_;
};

}  // namespace quorvanta::detail
