// SPDX-License-Identifier: Apache-2.0
// estimate_rate: a rate in cycles per minute with a confidence from 0 to 1.
// Periodogram, on the Hann-windowed power spectrum P (B bins of width df Hz):
//   band lo = floor((min_rate / 60) / df), hi = min(B - 1, ceil((max_rate / 60) / df))
//   k* = the first strict maximum of P over lo..hi
//   a, b, c = sqrt(P[k* - 1]), sqrt(P[k*]), sqrt(P[k* + 1]); delta = (a - c) / (2 (a - 2b + c)),
//     0 when that denominator is within 1e-9 of 0, clamped to [-0.5, 0.5]
//   rate = df * (k* + delta) * 60
//   confidence = min(near / total, 1): total sums P over the band, near over the bins within
//     w = ceil((1/12 Hz) / df) of k* that lie in the band
// PeakDetection, on the intervals t (seconds) between consecutive peaks of each segment, t > 0:
//   rate = 60 / mean(t), confidence = max(0, 1 - (population sd(t) / mean(t)) / 0.3)
// Rate 0, confidence 0: fewer than two bins, a bin width that is not positive and finite (fs 0,
// negative, NaN or infinite), lo >= hi, no positive peak, a peak on bin 0 or on the last bin, or
// no positive interval. Powers overflowed to infinity give delta 0 rather than NaN, and a share
// of infinity over infinity gives confidence 1 (min and max follow IEEE minNum / maxNum).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "signal/parabola.h"
#include "signal/peaks.h"
#include "signal/rate.h"
#include "types/numeric.h"

namespace quorvanta {
namespace {

// The coefficient of variation of peak intervals at which a peak-detection rate has no
// confidence left.
constexpr float kVariationOfNoConfidence = 0.3f;
constexpr float kNearBandHz = 0.083333336f;  // 1/12 Hz, 5 per minute either side of the peak

struct BinRange {
    std::size_t first = 0;  // inclusive
    std::size_t last = 0;   // inclusive
};

float sum_over(std::span<const float> power, BinRange range) {
    float sum = 0.0f;
    for (const float p : power.subspan(range.first, range.last - range.first + 1))
        sum += p;
    return sum;
}

std::size_t strongest_bin(std::span<const float> power, BinRange band) {
    float best = -1.0f;
    std::size_t peak = 0;
    for (std::size_t k = band.first; k <= band.last; ++k) {
        if (power[k] > best) {
            best = power[k];
            peak = k;
        }
    }
    return peak;
}

// Offset of the vertex of the parabola through the amplitudes of three neighbouring bins.
float vertex_offset(float a, float b, float c) {
    return std::clamp(parabola_vertex(a, b, c, 1e-9f).value_or(0.0f), -0.5f, 0.5f);
}

float near_peak_share(std::span<const float> power, BinRange band, std::size_t peak, float df) {
    const float total = sum_over(power, band);
    if (!(total > 0.0f)) return 0.0f;
    const auto w = saturating_cast<std::size_t>(std::ceil(kNearBandHz / df));
    const BinRange near{std::max(band.first, peak > w ? peak - w : 0),
                        band.last - peak > w ? peak + w : band.last};
    return min_num(sum_over(power, near) / total, 1.0f);
}

RateEstimate by_periodogram(std::span<const float> signal, float resolution,
                            SpectrumWorkspace& workspace, float fs, float min_rate,
                            float max_rate) {
    const RateEstimate none{};
    // Such an fs gives no usable bin width, so the transform (up to 2^20 points for an infinite
    // fs) is skipped.
    if (!(fs > 0.0f && std::isfinite(fs))) return none;
    compute_spectrum(signal, workspace, true, fs, resolution);
    const std::span<const float> power = workspace.power;
    if (power.size() < 2) return none;
    const float df = workspace.frequencies[1] - workspace.frequencies[0];
    if (!(df > 0.0f && std::isfinite(df))) return none;
    const BinRange band{
        saturating_cast<std::size_t>(std::floor((min_rate / kSecondsPerMinute) / df)),
        std::min<std::size_t>(power.size() - 1, saturating_cast<std::size_t>(std::ceil(
                                                    (max_rate / kSecondsPerMinute) / df)))};
    if (band.first >= band.last) return none;
    const std::size_t peak = strongest_bin(power, band);
    if (!(power[peak] > 0.0f) || peak == 0 || peak >= power.size() - 1) return none;
    const float delta = vertex_offset(std::sqrt(power[peak - 1]), std::sqrt(power[peak]),
                                      std::sqrt(power[peak + 1]));
    return {df * (static_cast<float>(peak) + delta) * kSecondsPerMinute,
            near_peak_share(power, band, peak, df)};
}

// Intervals in seconds between consecutive peaks of each segment, positive ones only.
std::vector<float> peak_intervals(const PeakSegments& segments, float fs) {
    std::vector<float> intervals;
    for (const std::vector<Peak>& segment : segments) {
        for (std::size_t i = 1; i < segment.size(); ++i) {
            const float interval = (segment[i].position - segment[i - 1].position) / fs;
            if (interval > 0.0f) intervals.push_back(interval);
        }
    }
    return intervals;
}

RateEstimate by_peak_intervals(std::span<const float> signal, const RateMethod& method,
                               std::optional<float> rate_hint, float fs, float min_rate,
                               float max_rate) {
    const PeakDetectorConfig config = pulse_peak_detector(
        rate_hint, fs, min_rate, max_rate, method.param, (method.selector & 1u) != 0);
    const std::vector<float> intervals = peak_intervals(detect_peaks(signal, config), fs);
    if (intervals.empty()) return {};
    const float count = static_cast<float>(intervals.size());
    const float average = mean(intervals);
    float squares = 0.0f;
    for (const float t : intervals)
        squares += (t - average) * (t - average);
    const float sd = std::sqrt(squares / count);
    return {kSecondsPerMinute / average,
            max_num(0.0f, 1.0f - (sd / average) / kVariationOfNoConfidence)};
}

}  // namespace

RateEstimate estimate_rate(std::span<const float> signal, const RateMethod& method,
                           std::optional<float> rate_hint, SpectrumWorkspace* workspace, float fs,
                           float min_rate, float max_rate) {
    if (method.kind == MethodKind::PeakDetection)
        return by_peak_intervals(signal, method, rate_hint, fs, min_rate, max_rate);
    if (workspace != nullptr)
        return by_periodogram(signal, method.param, *workspace, fs, min_rate, max_rate);
    SpectrumWorkspace temporary;
    return by_periodogram(signal, method.param, temporary, fs, min_rate, max_rate);
}

RateEstimate estimate_heart_rate(std::span<const float> signal, float fs) {
    const EstimationMethod heart = lookup_vital("heart_rate")->methods.front();
    return estimate_rate(signal, {heart.method, heart.selector, heart.param}, std::nullopt, nullptr,
                         fs, heart.min_value, heart.max_value);
}

}  // namespace quorvanta
