// SPDX-License-Identifier: Apache-2.0
// Output files appear whole or not at all: they are written under a temporary name in the same
// folder and renamed over the target only once complete.
#pragma once

#include <filesystem>
#include <functional>
#include <ostream>
#include <stdexcept>

namespace quorvanta::cli {

class OutputError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Writes `file` through `write`; "-" writes to standard output instead. On any failure the
// temporary file is removed and OutputError (or the writer's exception) propagates.
void write_output(const std::filesystem::path& file,
                  const std::function<void(std::ostream&)>& write);

}  // namespace quorvanta::cli
