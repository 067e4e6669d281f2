// SPDX-License-Identifier: Apache-2.0
// The library's own real transform against FFTW (FFTW_ESTIMATE, out of place, on an input already
// padded) at the session's two lengths, with the session's fill and unpadded: 300 samples in 8192
// points (heart rate) and 900 in 4096 (respiratory rate).
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>

#include "signal/real_fft.h"

#ifdef QUORVANTA_BENCH_FFTW
#include <fftw3.h>
#endif

namespace quorvanta {
namespace {

detail::RealBuffer samples(std::size_t count) {
    detail::RealBuffer x(count);
    for (std::size_t i = 0; i < count; ++i)
        x[i] = std::sin(0.37f * static_cast<float>(i)) +
               0.25f * std::cos(1.9f * static_cast<float>(i));
    return x;
}

void BM_TransformBuiltin(benchmark::State& state) {
    const auto length = static_cast<std::uint64_t>(state.range(0));
    const detail::RealBuffer x = samples(static_cast<std::size_t>(state.range(1)));
    detail::RealBuffer scratch;
    detail::TransformBuffer bins;
    for (auto _ : state) {
        detail::real_fft(x, length, scratch, bins);
        benchmark::DoNotOptimize(bins.data());
    }
}

#ifdef QUORVANTA_BENCH_FFTW
void BM_TransformFftw(benchmark::State& state) {
    const auto length = static_cast<std::size_t>(state.range(0));
    detail::RealBuffer x = samples(static_cast<std::size_t>(state.range(1)));
    x.resize(length);
    detail::TransformBuffer bins(length / 2 + 1);
    auto* out = reinterpret_cast<fftwf_complex*>(bins.data());
    const fftwf_plan plan = fftwf_plan_dft_r2c_1d(static_cast<int>(length), x.data(), out,
                                                  FFTW_ESTIMATE | FFTW_PRESERVE_INPUT);
    for (auto _ : state) {
        fftwf_execute_dft_r2c(plan, x.data(), out);
        benchmark::DoNotOptimize(bins.data());
    }
    fftwf_destroy_plan(plan);
}
#endif

// {transform length, samples}
void lengths(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"length", "samples"});
    for (const auto& [length, count] :
         {std::pair{8192, 300}, {4096, 900}, {8192, 8192}, {4096, 4096}})
        benchmark->Args({length, count});
}

BENCHMARK(BM_TransformBuiltin)->Apply(lengths);
#ifdef QUORVANTA_BENCH_FFTW
BENCHMARK(BM_TransformFftw)->Apply(lengths);
#endif

}  // namespace
}  // namespace quorvanta
