// SPDX-License-Identifier: Apache-2.0
// estimate_hrv for each metric on a minute of a 30 Hz pulse waveform (1800 samples): Gaussian
// pulses whose intervals swing around 850 ms with 0.1 Hz and 0.3 Hz oscillations, frame
// timestamps, full confidence, band 40-220 per minute and no rate hint.
#include <benchmark/benchmark.h>

#include <cmath>
#include <vector>

#include "signal/hrv.h"

namespace quorvanta {
namespace {

constexpr double kFs = 30;
constexpr double kSeconds = 60;

struct PulseRecording {
    std::vector<float> signal;
    std::vector<double> timestamps;
    std::vector<float> confidence;
};

PulseRecording pulse_recording() {
    std::vector<double> beats{0.4};
    while (beats.back() < kSeconds) {
        const double t = beats.back();
        beats.push_back(t + 0.85 + 0.04 * std::sin(0.2 * M_PI * t) +
                        0.025 * std::sin(0.6 * M_PI * t));
    }
    PulseRecording recording;
    for (std::size_t i = 0; i < std::size_t(kSeconds * kFs); ++i) {
        const double t = double(i) / kFs;
        double x = 0;
        for (const double beat : beats)
            x += std::exp(-(t - beat) * (t - beat) / 0.02);
        recording.signal.push_back(float(x));
        recording.timestamps.push_back(t);
    }
    recording.confidence.assign(recording.signal.size(), 1.0f);
    return recording;
}

void BM_EstimateHrv(benchmark::State& state, HrvMetric metric) {
    const PulseRecording recording = pulse_recording();
    for (auto _ : state)
        benchmark::DoNotOptimize(estimate_hrv(recording.signal, metric, recording.timestamps,
                                              recording.confidence, std::nullopt, kFs, 40, 220));
}
BENCHMARK_CAPTURE(BM_EstimateHrv, sdnn, HrvMetric::Sdnn);
BENCHMARK_CAPTURE(BM_EstimateHrv, rmssd, HrvMetric::Rmssd);
BENCHMARK_CAPTURE(BM_EstimateHrv, lf_hf, HrvMetric::LfHf);
BENCHMARK_CAPTURE(BM_EstimateHrv, stress_index, HrvMetric::StressIndex);
BENCHMARK_CAPTURE(BM_EstimateHrv, pnn50, HrvMetric::Pnn50);
BENCHMARK_CAPTURE(BM_EstimateHrv, sd1_sd2, HrvMetric::Sd1Sd2);

}  // namespace
}  // namespace quorvanta
