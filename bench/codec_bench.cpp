// SPDX-License-Identifier: Apache-2.0
// Throughput of the value encoding on batches of realistic size: lifting a minute of frames
// (1800 at 30 fps) with four signals and face boxes, and lowering a result of the same size.
#include <benchmark/benchmark.h>

#include <cmath>

#include "ffi/codec.h"

namespace quorvanta::ffi {
namespace {

constexpr std::size_t kFrames = 1800;
const char* const kSignals[] = {"ppg_waveform", "respiratory_waveform", "abp_waveform", "spo2"};

// Deterministic per-frame samples; the values only need to be varied, not meaningful.
std::vector<float> samples(std::size_t frames, float phase) {
    std::vector<float> values(frames);
    for (std::size_t i = 0; i < frames; ++i)
        values[i] = std::sin(0.1f * float(i) + phase);
    return values;
}

std::vector<double> timestamps(std::size_t frames) {
    std::vector<double> values(frames);
    for (std::size_t i = 0; i < frames; ++i)
        values[i] = double(i) / 30;
    return values;
}

std::vector<std::vector<float>> face_boxes(std::size_t frames) {
    return std::vector<std::vector<float>>(frames, {120, 80, 200, 240});
}

SessionInput make_input() {
    SessionInput input{
        FaceInput{face_boxes(kFrames), samples(kFrames, 1)}, {}, timestamps(kFrames)};
    float phase = 0;
    for (const char* name : kSignals) {
        input.signals[name] = {samples(kFrames, phase), samples(kFrames, phase + 0.5f)};
        phase += 1;
    }
    return input;
}

SessionResult make_result() {
    SessionResult result{timestamps(kFrames),
                         FaceResult{face_boxes(kFrames), samples(kFrames, 1), std::nullopt},
                         {},
                         {},
                         30,
                         "advisory"};
    float phase = 0;
    for (const char* name : kSignals) {
        result.waveforms[name] = {samples(kFrames, phase), samples(kFrames, phase + 0.5f), "",
                                  "filtered"};
        result.vitals[name] = {phase, 0.9f, "bpm", "spectral"};
        phase += 1;
    }
    return result;
}

void BM_DecodeSessionInput(benchmark::State& state) {
    const RustBuffer buffer = encode(make_input());
    for (auto _ : state)
        benchmark::DoNotOptimize(decode<SessionInput>(bytes_of(buffer)));
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(buffer.len));
    release(buffer);
}
BENCHMARK(BM_DecodeSessionInput);

void BM_EncodeSessionResult(benchmark::State& state) {
    const SessionResult result = make_result();
    std::uint64_t size = 0;
    for (auto _ : state) {
        const RustBuffer buffer = encode(result);
        size = buffer.len;
        benchmark::DoNotOptimize(buffer.data);
        release(buffer);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(size));
}
BENCHMARK(BM_EncodeSessionResult);

}  // namespace
}  // namespace quorvanta::ffi
