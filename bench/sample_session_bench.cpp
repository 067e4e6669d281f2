// SPDX-License-Identifier: Apache-2.0
// Session::process on the bundled sample recording at the full configuration (every vital id, the
// pulse and respiration waveforms returned), fed in 60-frame batches that start every 45 frames,
// in Incremental mode: the time per batch over the whole recording; and the same with
// Session::assess after every batch, whose share of the time is the checks' cost.
// bench/wasm_session_bench.mjs feeds the WebAssembly build the same batches, so that the two are
// compared like for like.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "recording/recording.h"
#include "registry/registry.h"
#include "state/session.h"

namespace quorvanta {
namespace {

constexpr std::size_t kBatch = 60;
constexpr std::size_t kStep = 45;

std::vector<SessionInput> sample_batches() {
    std::vector<std::string> warnings;
    const Recording recording = read_recording(QUORVANTA_SAMPLE, warnings);
    std::vector<SessionInput> batches;
    for (std::size_t first = 0; first + kBatch <= recording.frames(); first += kStep) {
        const auto slice = [first](const auto& values) {
            const auto begin = values.begin() + static_cast<std::ptrdiff_t>(first);
            return std::vector(begin, begin + static_cast<std::ptrdiff_t>(kBatch));
        };
        SessionInput& input = batches.emplace_back();
        input.timestamp = slice(recording.timestamps);
        for (const RecordedSignal& s : recording.signals)
            input.signals[s.id] = {slice(s.data), slice(s.confidence)};
    }
    return batches;
}

const SessionConfig kFullConfig{"bench",
                                {vital_ids().begin(), vital_ids().end()},
                                std::vector<std::string>{"ppg_waveform", "respiratory_waveform"},
                                30.0f,
                                40,
                                4,
                                "face"};

// Feeds every batch, assessing after each when `assess` is set.
void feed_sample(benchmark::State& state, bool assess) {
    const std::vector<SessionInput> batches = sample_batches();
    for (auto _ : state) {
        Session session(kFullConfig);
        for (const SessionInput& batch : batches) {
            benchmark::DoNotOptimize(session.process(batch, waveform_mode::Incremental{}));
            if (assess) benchmark::DoNotOptimize(session.assess());
        }
    }
    // Seconds per batch (shown with an SI prefix: 102u is 102 microseconds).
    state.counters["per_batch"] = benchmark::Counter(
        static_cast<double>(batches.size()),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_ProcessSampleRecording(benchmark::State& state) {
    feed_sample(state, false);
}
BENCHMARK(BM_ProcessSampleRecording)->Unit(benchmark::kMillisecond);

void BM_ProcessAndAssessSampleRecording(benchmark::State& state) {
    feed_sample(state, true);
}
BENCHMARK(BM_ProcessAndAssessSampleRecording)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace quorvanta
