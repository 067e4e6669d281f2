// SPDX-License-Identifier: Apache-2.0
// A file's columns as a reader finds them, with their names and places, and what messages about
// them need to know of the file.
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "recording/place.h"

namespace quorvanta::detail {

struct NamedColumn {
    std::string name;
    TextPlace place;  // of the name
    std::vector<double> values;
    std::size_t missing = 0;  // cells without a value, read as NaN
};

struct ColumnSource {
    const std::filesystem::path& file;
    TextPlace header;               // where the names are, for messages about them all
    std::string separator;          // how a CSV separates the names ("','", "tab"), or empty
    std::string_view missing_kind;  // what a cell without a value is: "empty cells", "nulls"
    // The "FILE:PLACE: " of a frame, for messages about its timestamp.
    std::function<std::string(std::size_t frame)> frame_place;
};

}  // namespace quorvanta::detail
