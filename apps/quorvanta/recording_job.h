// SPDX-License-Identifier: Apache-2.0
// One recording through the command: read it and its truth, check that its timestamps can give
// vitals, analyse it, and write its JSON and plot. A run of one recording and a run of many on
// threads take every recording through these same steps.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis.h"
#include "recording/recording.h"
#include "report.h"
#include "truth.h"

namespace quorvanta::cli {

struct JobSettings {
    AnalysisOptions options;
    ReadOptions read;                  // how the recording is read
    std::filesystem::path truth_file;  // empty: NAME.truth.json beside the recording, if present
    // Outputs: empty for none, "-" for standard output, a folder (ending in '/' or existing) for
    // FOLDER/NAME.json or FOLDER/NAME.svg, anything else a file.
    std::string json_target;
    JsonContent json_content;
    std::string plot_target;
};

struct JobResult {
    Recording recording;
    std::optional<Truth> truth;
    Analysis analysis;
    std::vector<VitalRow> rows;       // the last batch's vitals
    std::filesystem::path json_file;  // written; empty when none
    std::filesystem::path plot_file;
};

// Runs `file` through the command; the reader's warnings go to `warnings`. Throws InputError
// when the recording or its truth cannot be used, OutputError when an output cannot be written.
JobResult run_job(const std::filesystem::path& file, const JobSettings& settings,
                  std::vector<std::string>& warnings, const Progress& progress);

// Whether an output target names a folder: it ends in '/' or is an existing folder.
bool names_folder(const std::string& target);

// Where the output of `recording` goes for `target`: FOLDER/NAME`extension` for a folder, else the
// target itself.
std::filesystem::path output_path(const std::string& target, const std::filesystem::path& recording,
                                  std::string_view extension);

}  // namespace quorvanta::cli
