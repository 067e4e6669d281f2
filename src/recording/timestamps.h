// SPDX-License-Identifier: Apache-2.0
// A recording's timestamps checked as they are read, then its frames put in time order, and its
// long stretches without values reported.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "recording/recording_types.h"

namespace quorvanta::detail {

// Reports timestamps that are not finite or repeat the one before, up to five and then how many
// more, quoting them as the file writes them; notes the first that comes before an earlier one.
class TimestampChecker {
public:
    explicit TimestampChecker(std::vector<std::string>& warnings) : warnings_(warnings) {}

    void check(double timestamp, const std::string& where);

    // Adds the count of unreported warnings, and sorts the frames into time order when they were
    // not, saying so.
    void finish(const std::filesystem::path& file, Recording& recording);

private:
    void report(std::string warning);

    std::vector<std::string>& warnings_;
    std::optional<double> previous_;
    std::optional<double> latest_;
    std::optional<std::string> out_of_order_;
    std::size_t reported_ = 0;
};

// Timestamps in `unit` converted to seconds.
void to_seconds(std::vector<double>& timestamps, TimeUnit unit);

// Each signal's stretches of missing values longer than a few seconds, one warning a stretch.
void warn_missing_stretches(const Recording& recording, const std::filesystem::path& file,
                            std::vector<std::string>& warnings);

}  // namespace quorvanta::detail
