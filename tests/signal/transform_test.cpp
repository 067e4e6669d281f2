// SPDX-License-Identifier: Apache-2.0
// The library's own transform, and the cosine from IEEE arithmetic alone that its roots of unity
// come from, against long double references.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <vector>

#include "signal/real_fft.h"
#include "signal/trig.h"

namespace quorvanta::detail {
namespace {

using LongComplex = std::complex<long double>;
constexpr long double kTau = 2 * std::numbers::pi_v<long double>;
constexpr long double kEpsilon = std::numeric_limits<float>::epsilon() / 2;  // 2^-24

// Correctly rounded but where the exact value lies within a hair of a rounding boundary. The
// long double reference itself is off by up to about 1e-19 (its angle is rounded), which matters
// only where the exact value is 0.
void expect_rounded(float got, long double exact) {
    const float below = static_cast<float>(exact);
    const long double ulp =
        std::nextafter(std::fabs(below), std::numeric_limits<float>::infinity()) - std::fabs(below);
    EXPECT_LE(std::fabs(got - exact), ulp / 2 + 1e-15L * ulp / kEpsilon + 1e-18L) << exact;
}

TEST(Trig, CosineIsRoundedFromTheExactValue) {
    for (float x = 0; x <= 8; x += 0.000377f) {
        SCOPED_TRACE(x);
        expect_rounded(cos_f32(x), std::cos(static_cast<long double>(x)));
        EXPECT_EQ(cos_f32(-x), cos_f32(x));
    }
    EXPECT_EQ(cos_f32(0), 1.0f);
    EXPECT_TRUE(std::isnan(cos_f32(NAN)));
}

// e^(-2 pi i e / n) for e < n, in long double.
std::vector<LongComplex> long_roots(std::uint64_t n) {
    std::vector<LongComplex> roots(n);
    for (std::uint64_t e = 0; e < n; ++e)
        roots[e] = std::polar(1.0L, -kTau * static_cast<long double>(e) / n);
    return roots;
}

// The bins to compare: all of them for short transforms, 32 spread over the range (with the
// first, second and last) for long ones, whose direct DFT would take too long.
std::vector<std::uint64_t> bins_to_check(std::uint64_t half) {
    std::vector<std::uint64_t> bins;
    const std::uint64_t step = half <= 512 ? 1 : half / 31;
    for (std::uint64_t k = 0; k < half; k += step)
        bins.push_back(k);
    if (bins.back() != half - 1) bins.push_back(half - 1);
    if (half > 1 && bins[1] != 1) bins.insert(bins.begin() + 1, 1);
    return bins;
}

struct Input {
    const char* name;
    float (*sample)(std::uint64_t j, std::uint64_t n);
};

const Input kInputs[] = {
    {"random",
     [](std::uint64_t j, std::uint64_t) {
         return static_cast<float>(std::minstd_rand(static_cast<unsigned>(j) + 1)() % 2001) /
                    1000.0f -
                1.0f;
     }},
    {"impulse at the last sample",
     [](std::uint64_t j, std::uint64_t n) { return j + 1 == n ? 1.0f : 0.0f; }},
    {"constant", [](std::uint64_t, std::uint64_t) { return 1.0f; }},
    {"alternating", [](std::uint64_t j, std::uint64_t) { return j % 2 == 0 ? 1.0f : -1.0f; }},
};

// Every power of two up to 2^16, each input unpadded and zero padded from an odd length. The
// bound: an FFT adds at most about one rounding of the running sums' size per stage, and those
// are bounded by sum |x|, so each bin is within 3 log2(N) 2^-24 sum |x| of the exact value (the
// measured errors stay below a tenth of it).
TEST(RealFft, MatchesLongDoubleDft) {
    RealBuffer scratch;
    TransformBuffer bins;
    for (std::uint64_t length = 2; length <= std::uint64_t{1} << 16; length *= 2) {
        const std::vector<LongComplex> roots = long_roots(length);
        for (const std::uint64_t n : {length, length / 16 + 1}) {
            for (const Input& input : kInputs) {
                SCOPED_TRACE(testing::Message()
                             << input.name << ", " << n << " samples in " << length << " points");
                std::vector<float> x(n);
                long double magnitude = 0;
                for (std::uint64_t j = 0; j < n; ++j) {
                    x[j] = input.sample(j, n);
                    magnitude += std::fabs(x[j]);
                }
                real_fft(x, length, scratch, bins);
                ASSERT_EQ(bins.size(), length / 2);
                const long double bound =
                    3 * std::bit_width(length - 1) * kEpsilon * magnitude + 1e-30L;
                for (const std::uint64_t k : bins_to_check(length / 2)) {
                    LongComplex exact = 0;
                    for (std::uint64_t j = 0; j < n; ++j)
                        exact += static_cast<long double>(x[j]) * roots[j * k % length];
                    const LongComplex got(bins[k].real(), bins[k].imag());
                    ASSERT_LE(std::abs(got - exact), bound) << "bin " << k;
                }
            }
        }
    }
}

TEST(RealFft, DegenerateLengths) {
    RealBuffer scratch;
    TransformBuffer bins;
    real_fft(std::vector<float>{}, 8, scratch, bins);
    EXPECT_EQ(bins, TransformBuffer(4, 0.0f));
    real_fft(std::vector<float>{2.5f, -1.0f}, 2, scratch, bins);
    EXPECT_EQ(bins, TransformBuffer{1.5f});
    real_fft(std::vector<float>{3.0f}, 4, scratch, bins);
    EXPECT_EQ(bins, (TransformBuffer{3.0f, 3.0f}));
}

}  // namespace
}  // namespace quorvanta::detail
