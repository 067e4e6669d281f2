// SPDX-License-Identifier: Apache-2.0
#include "recording/column_index.h"

#include "recording/names.h"
#include "recording/recording_types.h"

namespace quorvanta::detail {

ColumnIndex::ColumnIndex(const std::vector<NamedColumn>& columns, const ColumnSource& source,
                         const std::vector<std::pair<std::string, std::string>>& mappings)
    : columns_(columns), source_(source) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (const auto [first, added] = index_.emplace(columns[i].name, i); !added) {
            throw InputError(location(source_.file, columns[i].place) + "column '" +
                             columns[i].name + "' appears twice");
        }
    }
    for (const auto& [target, name] : mappings)
        map_column(target, name);
}

std::optional<std::size_t> ColumnIndex::find(std::string_view name) const {
    const auto found = index_.find(std::string(name));
    if (found == index_.end()) return std::nullopt;
    return found->second;
}

std::optional<std::string> ColumnIndex::signal_of(std::size_t column) const {
    if (const auto mapped = mapped_.find(column); mapped != mapped_.end()) return mapped->second;
    return signal_named(columns_[column].name);
}

std::optional<std::string> ColumnIndex::signal_of_prefix(std::string_view prefix) const {
    if (const auto column = find(prefix)) {
        if (const auto mapped = mapped_.find(*column); mapped != mapped_.end())
            return mapped->second;
    }
    return signal_named(prefix);
}

void ColumnIndex::map_column(const std::string& target, const std::string& name) {
    const std::string mapping =
        location(source_.file) + "the column mapping '" + target + "=" + name + "'";
    const auto column = find(name);
    if (!column) throw InputError(mapping + " names no column of the file");
    if (mapped_.contains(*column) || column == mapped_timestamp_)
        throw InputError(mapping + " maps a column that is mapped already");
    if (target == kTimestampColumn) {
        mapped_timestamp_ = column;
    } else if (const auto id = signal_named(target)) {
        mapped_.emplace(*column, *id);
    } else {
        throw InputError(mapping + ": '" + target + "' is neither 'timestamp' nor a signal");
    }
}

}  // namespace quorvanta::detail
