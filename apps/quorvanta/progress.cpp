// SPDX-License-Identifier: Apache-2.0
#include "progress.h"

#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>

namespace quorvanta::cli {
namespace {

constexpr auto kDelay = std::chrono::seconds(1);
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr std::size_t kBarWidth = 40;

}  // namespace

ProgressBar::ProgressBar(std::string unit)
    : unit_(std::move(unit)), terminal_(isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() {
    if (drawn_) std::fputs("\r\033[K", stderr);  // erase the bar
}

void ProgressBar::update(std::size_t done, std::size_t total) {
    if (!terminal_ || total == 0) return;
    const auto now = Clock::now();
    if (now - start_ < kDelay || now - last_draw_ < kRedrawInterval) return;
    last_draw_ = now;
    const std::size_t filled = kBarWidth * done / total;
    const std::string bar = std::string(filled, '#') + std::string(kBarWidth - filled, ' ');
    std::fprintf(stderr, "\r[%s] %3zu%% %zu/%zu %s", bar.c_str(), 100 * done / total, done, total,
                 unit_.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

}  // namespace quorvanta::cli
