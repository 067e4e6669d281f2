// SPDX-License-Identifier: Apache-2.0
// Session::process at camera rate: every vital configured, all three waveforms returned.
#include <benchmark/benchmark.h>

#include "state/session.h"
#include "state/synthetic_recording.h"

namespace quorvanta {
namespace {

constexpr std::size_t kBatch = 150;
constexpr std::size_t kOverlap = 19;

SessionConfig full_config() {
    return SessionConfig{
        "bench",
        {"heart_rate", "respiratory_rate", "spo2", "hrv_sdnn", "hrv_rmssd", "hrv_lfhf", "hrv_pnn50",
         "hrv_sd1sd2", "stress_index", "ie_ratio", "sbp", "dbp", "map", "pulse_pressure",
         "ppg_waveform", "respiratory_waveform", "abp_waveform"},
        std::vector<std::string>{"ppg_waveform", "respiratory_waveform", "abp_waveform"},
        30.0f,
        40,
        4,
        "face"};
}

// Feeds overlapping batches of `recording` from `first` on until `end`, and returns where it
// stopped.
std::size_t feed(Session& session, const testing::SyntheticRecording& recording, std::size_t first,
                 std::size_t end, const WaveformMode& mode) {
    for (; first + kBatch <= end; first += kBatch - kOverlap)
        session.process(recording.batch(first, kBatch), mode);
    return first;
}

// Feeds the batches after `history_seconds` of warm-up, one per iteration, assessing the session
// after each when `assess` is set.
void run_steady_state(benchmark::State& state, double history_seconds, const WaveformMode& mode,
                      bool assess = false) {
    const auto recording = testing::make_recording(history_seconds + 120.0, 30.0, 11);
    const std::size_t warm_up = static_cast<std::size_t>(history_seconds * 30.0);
    Session session(full_config());
    std::size_t first = feed(session, recording, 0, warm_up, mode);
    std::vector<SessionInput> batches;
    for (; first + kBatch <= recording.timestamps.size(); first += kBatch - kOverlap) {
        batches.push_back(recording.batch(first, kBatch));
    }
    const double lap = recording.timestamps.back() + 1.0 / 30.0;
    std::size_t next = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(session.process(batches[next], mode));
        if (assess) benchmark::DoNotOptimize(session.assess());
        if (++next < batches.size()) continue;
        // Replay the recording later in time, so that every batch keeps bringing new frames.
        state.PauseTiming();
        for (SessionInput& batch : batches) {
            for (double& t : batch.timestamp)
                t += lap;
        }
        next = 0;
        state.ResumeTiming();
    }
}

void BM_ProcessIncrementalFullHistory(benchmark::State& state) {
    run_steady_state(state, 60.0, waveform_mode::Incremental{});
}
BENCHMARK(BM_ProcessIncrementalFullHistory)->Unit(benchmark::kMicrosecond);

// The same with Session::assess after every call: the difference is the checks' cost.
void BM_ProcessAndAssessIncrementalFullHistory(benchmark::State& state) {
    run_steady_state(state, 60.0, waveform_mode::Incremental{}, true);
}
BENCHMARK(BM_ProcessAndAssessIncrementalFullHistory)->Unit(benchmark::kMicrosecond);

void BM_ProcessGlobalTenMinutes(benchmark::State& state) {
    run_steady_state(state, 600.0, waveform_mode::Global{});
}
BENCHMARK(BM_ProcessGlobalTenMinutes)->Unit(benchmark::kMicrosecond)->Iterations(20);

}  // namespace
}  // namespace quorvanta
