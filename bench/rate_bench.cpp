// SPDX-License-Identifier: Apache-2.0
// Periodogram rate estimation as a session runs it, with one workspace reused across calls:
// 10 s of pulse at 30 Hz and 0.005 Hz resolution (transform length 8192), and 30 s of breathing
// at 0.01 Hz resolution (transform length 4096).
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "signal/rate.h"

namespace quorvanta {
namespace {

void BM_Periodogram(benchmark::State& state, std::size_t samples, float resolution, float hz,
                    float min_rate, float max_rate) {
    std::vector<float> signal(samples);
    for (std::size_t i = 0; i < samples; ++i)
        signal[i] = std::sin(6.2831855f * hz * static_cast<float>(i) / 30.0f);
    const RateMethod method{MethodKind::Periodogram, 0, resolution};
    SpectrumWorkspace workspace;
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            estimate_rate(signal, method, std::nullopt, &workspace, 30.0f, min_rate, max_rate));
    }
}

BENCHMARK_CAPTURE(BM_Periodogram, heart_300_samples_n8192, 300, 0.005f, 1.2f, 40.0f, 220.0f);
BENCHMARK_CAPTURE(BM_Periodogram, breath_900_samples_n4096, 900, 0.01f, 0.25f, 3.0f, 60.0f);

}  // namespace
}  // namespace quorvanta
