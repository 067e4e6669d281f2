// SPDX-License-Identifier: Apache-2.0
// The true values stored beside a recording: NAME.truth.json next to NAME.csv or NAME.json, with
// {"timestamp": [...], "vitals": {"<id>": [...]}} giving each vital's true value at each time.
#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvanta::cli {

struct Truth {
    std::vector<double> timestamps;
    std::map<std::string, std::vector<double>> vitals;

    // The mean true value of `vital` over (end - seconds, end], or nothing without samples there.
    std::optional<double> mean_over(const std::string& vital, double end, double seconds) const;
};

// The truth file stored beside `recording`.
std::filesystem::path truth_path_for(const std::filesystem::path& recording);

// Reads a truth file; throws InputError when it is malformed.
Truth read_truth(const std::filesystem::path& file);

}  // namespace quorvanta::cli
