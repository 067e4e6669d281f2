// SPDX-License-Identifier: Apache-2.0
// Soak run of one session: an hour of 30 fps model output fed in one-second batches in
// Incremental mode, as a long-running host would. Every five minutes of recording it prints the
// process's resident memory and the mean time per process call over those five minutes: both
// must stay flat (the history is capped at one minute of frames), with no drift.
//
//   build/gcc/bench/quorvanta_session_soak [minutes]     (default 60)
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "state/session.h"

namespace {

using quorvanta::SessionInput;

constexpr double kFps = 30.0;
constexpr int kReportEveryMinutes = 5;

double resident_megabytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / 1048576.0;
}

// One second of pulse (72 per minute), respiration (15 per minute), SpO2 and pressures.
SessionInput second_of_signals(long second) {
    SessionInput input;
    auto& ppg = input.signals["ppg_waveform"];
    auto& resp = input.signals["respiratory_waveform"];
    auto& spo2 = input.signals["spo2"];
    for (int i = 0; i < static_cast<int>(kFps); ++i) {
        const double t = static_cast<double>(second) + i / kFps;
        input.timestamp.push_back(t);
        const double pulse = std::pow(std::sin(M_PI * 1.2 * t), 8);
        ppg.data.push_back(static_cast<float>(pulse + 0.1 * std::sin(2 * M_PI * 0.25 * t)));
        resp.data.push_back(static_cast<float>(std::sin(2 * M_PI * 0.25 * t)));
        spo2.data.push_back(97.0F);
    }
    for (auto* signal : {&ppg, &resp, &spo2})
        signal->confidence.assign(signal->data.size(), 0.9F);
    return input;
}

}  // namespace

int main(int argc, char** argv) {
    const long minutes = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 60;
    quorvanta::SessionConfig config{
        "soak",
        {"ppg_waveform", "respiratory_waveform", "spo2", "heart_rate", "respiratory_rate",
         "hrv_sdnn", "hrv_rmssd", "ie_ratio"},
        std::vector<std::string>{"ppg_waveform", "respiratory_waveform"},
        static_cast<float>(kFps),
        40,
        4,
        "face"};
    quorvanta::Session session(config);
    std::printf("%8s  %12s  %14s  %10s\n", "minute", "resident MB", "mean call us", "heart rate");
    double call_seconds = 0;
    for (long second = 0; second < minutes * 60; ++second) {
        const SessionInput batch = second_of_signals(second);
        const auto start = std::chrono::steady_clock::now();
        const auto result = session.process(batch, quorvanta::waveform_mode::Incremental{});
        call_seconds +=
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if ((second + 1) % (kReportEveryMinutes * 60) == 0) {
            const auto heart_rate = result.vitals.find("heart_rate");
            std::printf("%8ld  %12.1f  %14.1f  %10.2f\n", (second + 1) / 60, resident_megabytes(),
                        call_seconds / (kReportEveryMinutes * 60) * 1e6,
                        heart_rate == result.vitals.end() ? 0.0 : heart_rate->second.value);
            call_seconds = 0;
        }
    }
    return 0;
}
