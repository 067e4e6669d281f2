// The transform is FFTW's single-precision real-to-complex DFT, planned with FFTW_ESTIMATE so that
// the plan, and with it every result, does not depend on timing. One plan per length is made on
// first use and kept for the life of the process; lengths are powers of two, so the cache stays
// small. FFTW's planner is not thread-safe: planning and lookup happen under one mutex, while
// executing a plan on new arrays is safe from any thread.
#include "signal/fft_backend.h"

#include <fftw3.h>

#include <cstddef>
#include <map>
#include <mutex>

namespace quorvanta::detail {
namespace {

struct PlanCache {
    std::mutex mutex;
    std::map<std::uint64_t, fftwf_plan> plans;
};

// Out-of-place plan (faster than in place for these lengths); new-array execution then needs
// out-of-place buffers of the same alignment, which RealBuffer and TransformBuffer guarantee.
fftwf_plan make_plan(RealBuffer& input, TransformBuffer& output) {
    const fftwf_iodim64 dim{static_cast<std::ptrdiff_t>(input.size()), 1, 1};
    return fftwf_plan_guru64_dft_r2c(1, &dim, 0, nullptr, input.data(),
                                     reinterpret_cast<fftwf_complex*>(output.data()),
                                     FFTW_ESTIMATE);
}

fftwf_plan plan_for(std::uint64_t length) {
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

void forward_real_transform(const RealBuffer& input, TransformBuffer& output) {
    output.resize(input.size() / 2 + 1);
    // The plan preserves its input (FFTW's default for real-to-complex), so dropping const is safe.
    fftwf_execute_dft_r2c(plan_for(input.size()), const_cast<float*>(input.data()),
                          reinterpret_cast<fftwf_complex*>(output.data()));
}

}  // namespace quorvanta::detail
