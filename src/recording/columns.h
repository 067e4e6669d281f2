// SPDX-License-Identifier: Apache-2.0
// A recording from a file's named columns, however the file holds them (CSV, or JSON rows or
// columns): `timestamp` and the signals by their ids or aliases, each signal's optional
// `<signal>_confidence`, and optionally all of face_x, face_y, face_w, face_h and
// face_confidence. The options may map columns of other names to a signal or to the timestamps,
// and give a sample rate that times frames by their number where the file has no timestamps.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "recording/named_column.h"
#include "recording/recording_types.h"

namespace quorvanta::detail {

// What each column holds, decided from the names alone, so that a CSV's header is judged before
// its rows are read.
struct ColumnPlan {
    std::optional<std::size_t> timestamp;                      // column
    std::vector<std::pair<std::string, std::size_t>> signals;  // id, data column
    std::vector<std::optional<std::size_t>> confidence;        // per signal: its column
    std::optional<std::array<std::size_t, 5>> face;            // x, y, w, h, confidence
    std::vector<bool> used;                                    // per column
};

// The plan of `columns` (their names and places; no values needed). Names that are neither a
// signal nor anything else the layout knows are named in one warning.
ColumnPlan plan_columns(const std::vector<NamedColumn>& columns, const ColumnSource& source,
                        const ReadOptions& options, std::vector<std::string>& warnings);

// The recording that `columns`, now with their values, hold under `plan`; the frames in time
// order, the timestamps checked and columns with missing values named.
Recording recording_from_columns(std::vector<NamedColumn> columns, const ColumnPlan& plan,
                                 const ColumnSource& source, const ReadOptions& options,
                                 std::vector<std::string>& warnings);

}  // namespace quorvanta::detail
