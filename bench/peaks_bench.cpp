// SPDX-License-Identifier: Apache-2.0
// Peak detection on a minute of a 30 Hz pulse waveform (1800 samples, 72 beats per minute with
// breathing drift) in the HRV configuration: band 40-220 per minute, presmoothed and refined.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "signal/hrv.h"

namespace quorvanta {
namespace {

void BM_DetectPeaks(benchmark::State& state) {
    std::vector<float> signal(1800);
    for (std::size_t i = 0; i < signal.size(); ++i) {
        const float t = float(i) / 30;
        signal[i] = std::sin(7.54f * t) + 0.3f * std::sin(15.08f * t) + 0.5f * std::sin(1.6f * t);
    }
    const PeakDetectorConfig config = beat_detector(std::nullopt, 30, 40, 220);
    for (auto _ : state)
        benchmark::DoNotOptimize(detect_peaks(signal, config));
}
BENCHMARK(BM_DetectPeaks);

}  // namespace
}  // namespace quorvanta
