// SPDX-License-Identifier: Apache-2.0
// Detrending a minute of a 30 Hz pulse waveform (1800 samples) with the 0.5 Hz display cutoff.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "signal/filters.h"

namespace quorvanta {
namespace {

void BM_DetrendSignal(benchmark::State& state) {
    std::vector<float> signal(1800);
    for (std::size_t i = 0; i < signal.size(); ++i) {
        const float t = float(i) / 30;
        signal[i] = std::sin(7.5f * t) + 0.4f * std::sin(0.3f * t) + 0.002f * t;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(detrend_signal(signal, 30.0f, 0.5f));
}
BENCHMARK(BM_DetrendSignal);

}  // namespace
}  // namespace quorvanta
