// SPDX-License-Identifier: Apache-2.0
// Run by hand: how a session's memory and per-call time grow with its
// history. One session per mode is fed an hour of 30 fps model output (PPG, respiration, SpO2,
// systolic and diastolic pressure, each with confidences, and a face box) in 5 s batches, and
// every minute listed the program prints, for Global and Incremental mode:
//   - the heap the session keeps between calls (glibc's count of bytes in use, minus what was in
//     use before the session was created),
//   - the heap held by one call's SessionResult,
//   - the mean wall time of a process call over the preceding minute,
//   - how many of the 14 configured vitals the last call estimated.
//   build/gcc/bench/quorvanta_session_global_growth
#include <malloc.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <optional>
#include <random>
#include <set>

#include "state/session.h"

namespace {

using quorvanta::Session;
using quorvanta::SessionInput;
using quorvanta::WaveformMode;

constexpr double kFps = 30.0;
constexpr std::size_t kBatchFrames = 150;  // 5 s
constexpr int kMinutes = 60;
const std::set<int> kReportedMinutes{1, 5, 10, 20, 30, 45, 60};

quorvanta::SessionConfig usual_config() {
    return {"growth",
            {"heart_rate", "respiratory_rate", "spo2", "sbp", "dbp", "map", "pulse_pressure",
             "hrv_sdnn", "hrv_rmssd", "hrv_lfhf", "hrv_pnn50", "hrv_sd1sd2", "stress_index",
             "ie_ratio"},
            std::vector<std::string>{"ppg_waveform", "respiratory_waveform"},
            static_cast<float>(kFps),
            40,
            4,
            "face"};
}

// Frames [first, first + kBatchFrames): a 72 per minute pulse, 15 per minute breathing, noise.
SessionInput batch(std::size_t first, std::mt19937& random) {
    std::normal_distribution<float> noise(0.0f, 1.0f);
    SessionInput input;
    input.face.emplace();
    auto& signals = input.signals;
    for (std::size_t i = first; i < first + kBatchFrames; ++i) {
        const double t = static_cast<double>(i) / kFps;
        input.timestamp.push_back(t);
        input.face->coordinates.push_back({100.0f, 80.0f, 200.0f, 240.0f});
        input.face->confidence.push_back(0.95f);
        const auto beat = static_cast<float>(std::pow(std::sin(M_PI * 1.2 * t), 8.0));
        const auto breath = static_cast<float>(std::sin(2 * M_PI * 0.25 * t));
        const std::pair<const char*, float> values[] = {
            {"ppg_waveform", beat + 0.03f * noise(random)},
            {"respiratory_waveform", breath + 0.02f * noise(random)},
            {"spo2", 97.0f + 0.3f * noise(random)},
            {"sbp", 120.0f + noise(random)},
            {"dbp", 80.0f + noise(random)}};
        for (const auto& [id, value] : values) {
            signals[id].data.push_back(value);
            signals[id].confidence.push_back(0.9f);
        }
    }
    return input;
}

std::size_t heap_in_use() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

void measure(const char* name, const WaveformMode& mode) {
    std::mt19937 random(7);
    const std::size_t before = heap_in_use();
    Session session(usual_config());
    const std::size_t per_minute = static_cast<std::size_t>(60 * kFps);
    std::size_t frame = 0;
    std::printf("%s\n%8s %16s %16s %14s %8s\n", name, "minutes", "kept (KiB)", "result (KiB)",
                "ms per call", "vitals");
    for (int minute = 1; minute <= kMinutes; ++minute) {
        double seconds = 0;
        int calls = 0;
        std::size_t result_bytes = 0, vitals = 0;
        for (; frame + kBatchFrames <= static_cast<std::size_t>(minute) * per_minute;
             frame += kBatchFrames, ++calls) {
            const SessionInput input = batch(frame, random);
            const auto start = std::chrono::steady_clock::now();
            auto result = std::make_optional(session.process(input, mode));
            seconds +=
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
            const std::size_t with_result = heap_in_use();
            vitals = result->vitals.size();
            result.reset();
            result_bytes = with_result - heap_in_use();
        }
        if (!kReportedMinutes.contains(minute)) continue;
        std::printf("%8d %16.1f %16.1f %14.2f %8zu\n", minute,
                    static_cast<double>(heap_in_use() - before) / 1024.0,
                    static_cast<double>(result_bytes) / 1024.0, 1e3 * seconds / calls, vitals);
    }
}

}  // namespace

int main() {
    measure("Global", quorvanta::waveform_mode::Global{});
    measure("Incremental", quorvanta::waveform_mode::Incremental{});
}
