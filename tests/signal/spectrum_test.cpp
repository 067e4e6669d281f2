#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>
#include <vector>

#include "signal/fft.h"

namespace quorvanta {
namespace {

// Irregular samples around an offset.
std::vector<float> samples(std::size_t n) {
    std::vector<float> x(n);
    for (std::size_t i = 0; i < n; ++i)
        x[i] = 3.0f + std::sin(0.37f * float(i)) + std::cos(float(i * i % 101));
    return x;
}

// Direct double-precision DFT power of `w` zero padded to `length`, bins below Nyquist.
std::vector<double> dft_power(const std::vector<float>& w, std::size_t length) {
    std::vector<double> power(length / 2);
    for (std::size_t k = 0; k < power.size(); ++k) {
        std::complex<double> sum = 0.0;
        for (std::size_t j = 0; j < w.size(); ++j)
            sum += double(w[j]) *
                   std::polar(1.0, -2 * std::numbers::pi * double(j * k % length) / double(length));
        power[k] = std::norm(sum);
    }
    return power;
}

TEST(Spectrum, MatchesDirectTransform) {
    struct Case {
        const char* name;
        std::size_t n;
        float fs, resolution;
        bool window;
        std::size_t length;
    };
    const Case cases[] = {
        {"heart rate", 300, 30.0f, 0.005f, true, 8192},
        {"hrv, 4.0 / 0.001 is below 4000", 1000, 4.0f, 0.001f, false, 4096},
        {"longer than fs / resolution", 700, 30.0f, 0.5f, true, 1024},
        {"exact power of two", 256, 1.0f, 1.0f, true, 256},
        {"negative resolution", 100, 30.0f, -1.0f, true, 128},
        {"NaN resolution", 5, 30.0f, std::numeric_limits<float>::quiet_NaN(), false, 8},
        {"two samples, one bin", 2, 1.0f, 1.0f, false, 2},
    };
    SpectrumWorkspace ws;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<float> x = samples(c.n);
        compute_spectrum(x, ws, c.window, c.fs, c.resolution);
        ASSERT_EQ(ws.power.size(), c.length / 2);
        ASSERT_EQ(ws.frequencies.size(), c.length / 2);
        float sum = 0.0f;
        for (const float v : x)
            sum += v;
        std::vector<float> w(c.n);
        for (std::size_t i = 0; i < c.n; ++i) {
            const float hann = (1.0f - std::cos(float(i) * 6.2831855f / float(c.n - 1))) * 0.5f;
            w[i] = c.window ? hann * (x[i] - sum / float(c.n)) : x[i] - sum / float(c.n);
            ASSERT_EQ(ws.windowed[i], w[i]) << i;
        }
        const std::vector<double> expected = dft_power(w, c.length);
        const double peak = *std::max_element(expected.begin(), expected.end());
        for (std::size_t k = 0; k < expected.size(); ++k) {
            EXPECT_EQ(ws.frequencies[k], c.fs / float(c.length) * float(k)) << k;
            EXPECT_NEAR(ws.power[k], expected[k], 1e-5 * expected[k] + 1e-6 * peak) << k;
        }
    }
}

TEST(Spectrum, ReusesStorageAndGivesNoBinsBelowTwoSamples) {
    SpectrumWorkspace ws;
    compute_spectrum(samples(300), ws, true, 30.0f, 0.005f);
    const float* const power = ws.power.data();
    const std::complex<float>* const buffer = ws.fft_buffer.data();
    compute_spectrum(samples(100), ws, true, 30.0f, -1.0f);
    compute_spectrum(samples(1), ws, true, 30.0f, 0.005f);
    EXPECT_TRUE(ws.power.empty() && ws.frequencies.empty() && ws.windowed.size() == 100);
    compute_spectrum(samples(300), ws, true, 30.0f, 0.005f);
    EXPECT_TRUE(ws.power.data() == power && ws.fft_buffer.data() == buffer);
}

}  // namespace
}  // namespace quorvanta
