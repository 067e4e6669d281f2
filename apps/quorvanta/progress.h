// SPDX-License-Identifier: Apache-2.0
// A progress bar on standard error, drawn only when standard error is a terminal and only once
// the work has run for a second, so short runs and redirected output stay clean.
#pragma once

#include <chrono>
#include <cstddef>
#include <string>

namespace quorvanta::cli {

class ProgressBar {
public:
    // `unit` names what is counted: "frames", "recordings".
    explicit ProgressBar(std::string unit = "frames");
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void update(std::size_t done, std::size_t total);

private:
    using Clock = std::chrono::steady_clock;

    std::string unit_;
    bool terminal_;
    bool drawn_ = false;
    Clock::time_point start_ = Clock::now();
    Clock::time_point last_draw_{};
};

}  // namespace quorvanta::cli
