// SPDX-License-Identifier: Apache-2.0
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <numbers>
#include <numeric>
#include <random>
#include <tuple>
#include <vector>

#include "signal/spectrum.h"

namespace quorvanta {
namespace {

constexpr double kTau = 2 * std::numbers::pi;

// Pseudo-random samples from 0 to 10.
std::vector<float> samples(std::size_t n) {
    std::vector<float> x(n);
    std::ranges::generate(
        x, [r = std::minstd_rand()]() mutable { return static_cast<float>(r() % 1000) * 0.01f; });
    return x;
}

// Against a direct double-precision DFT of the mean-removed, optionally Hann-windowed samples. One
// workspace serves every case, largest first, so stale padding would show.
TEST(Spectrum, MatchesDirectTransform) {
    const std::tuple<const char*, std::size_t, float, float, bool, std::size_t> cases[] = {
        {"heart rate", 300, 30.0f, 0.005f, true, 8192},
        {"hrv, 4.0 / 0.001 is below 4000", 1000, 4.0f, 0.001f, false, 4096},
        {"longer than fs / resolution", 700, 30.0f, 0.5f, true, 1024},
        {"exact power of two", 256, 1.0f, 1.0f, true, 256},
        {"NaN resolution", 5, 30.0f, NAN, false, 8},
        {"two samples, one bin", 2, 1.0f, 1.0f, false, 2}};
    SpectrumWorkspace ws;
    for (const auto& [name, n, fs, resolution, window, length] : cases) {
        SCOPED_TRACE(name);
        const std::vector<float> x = samples(n);
        compute_spectrum(x, ws, window, fs, resolution);
        ASSERT_EQ(ws.power.size(), length / 2);
        const float mean = std::accumulate(x.begin(), x.end(), 0.0f) / float(n);  // f32, in order
        const double peak = *std::max_element(ws.power.begin(), ws.power.end());
        for (std::size_t k = 0; k < length / 2; ++k) {
            std::complex<double> sum = 0;
            for (std::size_t j = 0; j < n; ++j)
                sum += (window ? (1 - std::cos(kTau * double(j) / (double(n) - 1.0))) / 2 : 1) *
                       (x[j] - mean) *
                       std::polar(1.0, -kTau * double(j * k % length) / double(length));
            EXPECT_EQ(ws.frequencies.at(k), fs / float(length) * float(k)) << k;
            EXPECT_NEAR(ws.power[k], std::norm(sum), 1e-5 * std::norm(sum) + 1e-6 * peak) << k;
        }
    }
}

// The signal fuzzer holds every (fs, resolution) to a power-of-two transform of at least the
// signal's length and at most 2^20 points, or the signal's: without a usable bin width the
// signal's own length sets it, proportional to the input.
TEST(Spectrum, TransformLengths) {
    SpectrumWorkspace ws;
    // A NaN fs gives M = 0, and 2^20 + 1 samples take 2^21 points whatever M is.
    compute_spectrum(samples(3000), ws, false, NAN, 0.005f);
    EXPECT_EQ(ws.power.size(), 2048u);
    compute_spectrum(samples((1 << 20) + 1), ws, false, 30, 1e-30f);
    EXPECT_EQ(ws.power.size(), 1u << 20);
    // Below two samples there is no bin at all.
    compute_spectrum(samples(1), ws, true, 30.0f, 0.005f);
    EXPECT_TRUE(ws.power.empty() && ws.frequencies.empty());
}

}  // namespace
}  // namespace quorvanta
