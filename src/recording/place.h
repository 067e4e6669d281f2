// SPDX-License-Identifier: Apache-2.0
// Places in a recording's text, and the "FILE:LINE:COLUMN: " prefix of the reader's messages.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

namespace quorvanta {

// A place in a text: 1-based line and column, or 0 where unknown.
struct TextPlace {
    std::size_t line = 0;
    std::size_t column = 0;
};

// "FILE:LINE:COLUMN: " with the parts that are known.
inline std::string location(const std::filesystem::path& file, TextPlace place = {}) {
    std::string text = file.string();
    if (place.line != 0) text.append(":").append(std::to_string(place.line));
    if (place.column != 0) text.append(":").append(std::to_string(place.column));
    return text + ": ";
}

}  // namespace quorvanta
