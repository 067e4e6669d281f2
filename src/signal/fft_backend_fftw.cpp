// SPDX-License-Identifier: Apache-2.0
// The transform as FFTW's single-precision real-to-complex DFT, built with -DQUORVANTA_FFT=fftw
// and by the tests as a second opinion on the library's own. Plans are made with FFTW_ESTIMATE,
// so that neither the plan nor any result depends on timing, once per length for the life of the
// process. FFTW's planner is not thread-safe: planning and lookup happen under one mutex, while
// executing a plan on new arrays is safe from any thread.
#include <fftw3.h>

#include <algorithm>
#include <cstddef>
#include <map>
#include <mutex>

#include "signal/fft_backend.h"

namespace quorvanta::detail {
namespace {

struct PlanCache {
    std::mutex mutex;
    std::map<std::size_t, fftwf_plan> plans;
};

// Out of place, which FFTW runs faster than in place for these lengths; new-array execution then
// needs out-of-place buffers of the same alignment, which RealBuffer and TransformBuffer give.
fftwf_plan make_plan(RealBuffer& input, TransformBuffer& output) {
    const fftwf_iodim64 dim{static_cast<std::ptrdiff_t>(input.size()), 1, 1};
    return fftwf_plan_guru64_dft_r2c(1, &dim, 0, nullptr, input.data(),
                                     reinterpret_cast<fftwf_complex*>(output.data()),
                                     FFTW_ESTIMATE);
}

fftwf_plan plan_for(std::size_t length) {
    // Never destroyed: plans stay valid for calls made while the process exits.
    static PlanCache& cache = *new PlanCache;
    const std::lock_guard lock(cache.mutex);
    if (const auto found = cache.plans.find(length); found != cache.plans.end())
        return found->second;
    RealBuffer input(length);
    TransformBuffer output(length / 2 + 1);
    return cache.plans.emplace(length, make_plan(input, output)).first->second;
}

}  // namespace

void forward_real_transform(std::span<const float> samples, std::size_t length, RealBuffer& scratch,
                            TransformBuffer& bins) {
    scratch.resize(length);
    std::copy(samples.begin(), samples.end(), scratch.begin());
    std::fill(scratch.begin() + static_cast<std::ptrdiff_t>(samples.size()), scratch.end(), 0.0f);
    bins.resize(length / 2 + 1);
    fftwf_execute_dft_r2c(plan_for(length), scratch.data(),
                          reinterpret_cast<fftwf_complex*>(bins.data()));
    bins.resize(length / 2);
}

}  // namespace quorvanta::detail
