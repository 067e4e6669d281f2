// SPDX-License-Identifier: Apache-2.0
// Many recordings at once: each goes through run_job on a pool of threads (sessions share
// nothing), and the run ends with one summary row per recording in the order given. A recording
// that fails is reported on the error stream and left out; the others still run.
#pragma once

#include <filesystem>
#include <ostream>
#include <vector>

#include "recording_job.h"

namespace quorvanta::cli {

// Runs every file on up to `threads` threads, prints each one's warnings and failure to `errors`
// and the summary table to `out`, and returns the number of files that failed.
std::size_t run_batch(const std::vector<std::filesystem::path>& files, const JobSettings& settings,
                      unsigned threads, std::ostream& out, std::ostream& errors);

}  // namespace quorvanta::cli
