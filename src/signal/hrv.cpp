// SPDX-License-Identifier: Apache-2.0
// Heart-rate variability metrics from a pulse waveform.
//
// Beats come from detect_peaks (threshold 0.45, 2.5 cycles, drift 1.0 per s, refractory 0.25,
// refined, presmoothed). Consecutive beats a, b of one segment give the interval (t_b - t_a) x 1000
// ms, the times in f64 seconds interpolated from the timestamps (position / fs past their end),
// when both beats have confidence >= 0.5 and the duration is positive. Several intervals are then
// cleaned: kept only within 300..2000 ms and within 25% of the last kept one, starting from the
// upper median; a single interval is kept as it is. On the clean series r_0 .. r_{n-1} (ms, f32,
// sums in index order; a series may be split into runs, and the pairs r_{i-1}, r_i below are then
// those within a run, n - 1 standing for their count, and a metric without pairs gives 0):
//   SDNN    sqrt(sum (r_i - mean)^2 / (n - 1))                                ms       n >= 2
//   RMSSD   sqrt(sum (r_i - r_{i-1})^2 / (n - 1))                             ms       n >= 2
//   pNN50   #{ |r_i - r_{i-1}| > 50 } / (n - 1) x 100                         percent  n >= 2
//   SD1/SD2 population sds of u, v = (r_i -+ r_{i-1}) / sqrt 2, each variance
//           taken as mean of squares - squared mean and clamped at 0;
//           0 when SD2 <= 1e-6                                                ratio    n >= 3
//   stress  AMo / (2 Mo x MxDMn): Mo the centre of the fullest 50 ms bin (the
//           highest on a tie) in s, AMo its share in percent, MxDMn the range
//           in s; 0 for a range below 2^-23                                   index    n >= 5
//   LF/HF   power in [0.04, 0.15) Hz over power in [0.15, 0.4] Hz of the
//           tachogram resampled at 4 Hz, detrended (cutoff 0.04 Hz) and
//           transformed unwindowed at 0.001 Hz resolution; 0 when HF is 0     ratio    n >= 2
// A series shorter than its metric needs gives 0. The confidence is min(mean of `confidence`,
// lowest confidence of the beats of the kept pairs, 1), where a NaN mean drops out. No kept pair,
// or no clean interval: (0, 0).
#include "signal/hrv.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <limits>

#include "registry/registry.h"
#include "signal/filters.h"
#include "signal/hrv_detail.h"
#include "signal/spectrum.h"
#include "types/numeric.h"

namespace quorvanta {
namespace detail {
namespace {

constexpr float kMinBeatConfidence = 0.5f;
constexpr float kMinIntervalMs = 300.0f;
constexpr float kMaxIntervalMs = 2000.0f;
constexpr float kMaxRelativeChange = 0.25f;
constexpr float kNn50Ms = 50.0f;
constexpr float kSqrt2 = 1.4142135f;
constexpr float kStressBinMs = 50.0f;
constexpr float kResampleHz = 4.0f;
// The frequency bands of the LF/HF ratio (Hz): LF from 0.04 to below 0.15, HF from 0.15 to 0.4.
// The tachogram is detrended below the LF band.
constexpr float kLfLowHz = 0.04f;
constexpr float kLfHfEdgeHz = 0.15f;
constexpr float kHfHighHz = 0.4f;
constexpr float kLfHfResolutionHz = 0.001f;
// Clean intervals last at most 2 s, so the 4 Hz tachogram has at most 8 samples per interval;
// the cap doubles that for the rounding of the f32 beat times and bounds uncleaned series.
constexpr std::size_t kMaxSamplesPerInterval = 16;

bool confident(const Peak& beat, std::span<const float> confidence) {
    return beat.index < confidence.size() && confidence[beat.index] >= kMinBeatConfidence;
}

// Seconds. Only called for indices below the confidence length, so index + 1 cannot overflow.
double beat_time(const Peak& beat, std::span<const double> timestamps, float fs) {
    const std::size_t k = beat.index;
    if (k + 1 < timestamps.size()) {
        const float offset = beat.position - static_cast<float>(k);
        return timestamps[k] + (timestamps[k + 1] - timestamps[k]) * static_cast<double>(offset);
    }
    if (k < timestamps.size()) return timestamps[k];
    return static_cast<double>(beat.position) / static_cast<double>(fs);
}

bool plausible(float interval_ms) {
    return interval_ms >= kMinIntervalMs && interval_ms <= kMaxIntervalMs;
}

// A clean series and where its runs of successive intervals end.
struct Series {
    std::span<const float> r;
    std::span<const std::size_t> run_ends;
};

// Calls visit(previous, current) for each successive pair within a run, and returns their count.
template <typename Visit>
float for_each_pair(const Series& series, Visit visit) {
    std::size_t pairs = 0, start = 0;
    for (const std::size_t end : series.run_ends) {
        for (std::size_t i = start + 1; i < end; ++i, ++pairs)
            visit(series.r[i - 1], series.r[i]);
        start = end;
    }
    return static_cast<float>(pairs);
}

float sdnn(const Series& series) {
    const std::span<const float> r = series.r;
    const float average = mean(r);
    float squares = 0.0f;
    for (const float x : r)
        squares += (x - average) * (x - average);
    return std::sqrt(squares / static_cast<float>(r.size() - 1));
}

float rmssd(const Series& series) {
    float squares = 0.0f;
    const float pairs = for_each_pair(series, [&](float previous, float current) {
        squares += (current - previous) * (current - previous);
    });
    return pairs > 0 ? std::sqrt(squares / pairs) : 0.0f;
}

float pnn50(const Series& series) {
    std::uint64_t large = 0;
    const float pairs = for_each_pair(series, [&](float previous, float current) {
        if (std::fabs(current - previous) > kNn50Ms) ++large;
    });
    return pairs > 0 ? static_cast<float>(large) / pairs * 100.0f : 0.0f;
}

// Population sd from running sums; a variance that rounding made negative counts as 0.
float population_sd(float total, float squares, float count) {
    const float mean = total / count;
    return std::sqrt(std::max(squares / count - mean * mean, 0.0f));
}

float sd1_sd2(const Series& series) {
    float u_sum = 0.0f, u_squares = 0.0f, v_sum = 0.0f, v_squares = 0.0f;
    const float pairs = for_each_pair(series, [&](float previous, float current) {
        const float u = (current - previous) / kSqrt2;
        const float v = (current + previous) / kSqrt2;
        u_sum += u;
        u_squares += u * u;
        v_sum += v;
        v_squares += v * v;
    });
    if (!(pairs > 0)) return 0.0f;
    const float sd1 = population_sd(u_sum, u_squares, pairs);
    const float sd2 = population_sd(v_sum, v_squares, pairs);
    return sd2 > 1e-6f ? sd1 / sd2 : 0.0f;
}

struct Bin {
    std::uint64_t index = 0;
    std::size_t count = 0;
};

// The fullest 50 ms bin, the highest on a tie. Only occupied bins are counted, so an absurd
// maximum cannot size a histogram.
Bin mode_bin(std::span<const float> r) {
    std::vector<std::uint64_t> bins(r.size());
    std::transform(r.begin(), r.end(), bins.begin(), [](float x) {
        return saturating_cast<std::uint64_t>(std::floor(x / kStressBinMs));
    });
    std::sort(bins.begin(), bins.end());
    Bin mode;
    for (auto first = bins.begin(); first != bins.end();) {
        const auto last = std::upper_bound(first, bins.end(), *first);
        const auto count = static_cast<std::size_t>(last - first);
        if (count >= mode.count) mode = {*first, count};
        first = last;
    }
    return mode;
}

float stress_index(const Series& series) {
    const std::span<const float> r = series.r;
    const auto [lowest, highest] = std::minmax_element(r.begin(), r.end());
    const float range = *highest - *lowest;
    if (range < std::numeric_limits<float>::epsilon()) return 0.0f;
    const Bin mode = mode_bin(r);
    const float mo = (static_cast<float>(mode.index) * kStressBinMs + kStressBinMs / 2) / 1000.0f;
    const float amo = static_cast<float>(mode.count) / static_cast<float>(r.size()) * 100.0f;
    const float mxdmn = range / 1000.0f;
    if (mxdmn <= 0.0f || mo <= 0.0f) return 0.0f;
    return amo / ((2.0f * mo) * mxdmn);
}

float lf_hf(const Series& series) {
    const std::vector<float> detrended =
        detrend_signal(resample_tachogram(series.r), kResampleHz, kLfLowHz);
    SpectrumWorkspace workspace;
    compute_spectrum(detrended, workspace, false, kResampleHz, kLfHfResolutionHz);
    return band_power_ratio(workspace.frequencies, workspace.power);
}

struct MetricRule {
    std::size_t min_intervals;
    float (*evaluate)(const Series&);
};

// LF/HF has no minimum of its own; a single interval resamples to nothing and gives 0 anyway.
MetricRule rule(HrvMetric metric) {
    switch (metric) {
        case HrvMetric::Sdnn:
            return {2, sdnn};
        case HrvMetric::Rmssd:
            return {2, rmssd};
        case HrvMetric::LfHf:
            return {2, lf_hf};
        case HrvMetric::StressIndex:
            return {5, stress_index};
        case HrvMetric::Pnn50:
            return {2, pnn50};
        case HrvMetric::Sd1Sd2:
            break;
    }
    return {3, sd1_sd2};
}

float result_confidence(std::span<const float> beat_confidences,
                        std::span<const float> confidence) {
    float lowest = 1.0f;
    for (const float c : beat_confidences)
        lowest = std::min(lowest, c);
    return min_num(mean(confidence), lowest);
}

}  // namespace

RawIntervals raw_intervals(const PeakSegments& beats, std::span<const double> timestamps,
                           std::span<const float> confidence, float fs) {
    RawIntervals raw;
    for (const std::vector<Peak>& segment : beats) {
        for (std::size_t j = 1; j < segment.size(); ++j) {
            const Peak& a = segment[j - 1];
            const Peak& b = segment[j];
            if (!confident(a, confidence) || !confident(b, confidence)) continue;
            const double seconds = beat_time(b, timestamps, fs) - beat_time(a, timestamps, fs);
            if (!(seconds > 0.0)) continue;
            raw.intervals_ms.push_back(static_cast<float>(seconds * 1000.0));
            raw.beat_confidences.push_back(confidence[a.index]);
            raw.beat_confidences.push_back(confidence[b.index]);
        }
    }
    return raw;
}

std::vector<float> clean_intervals(std::span<const float> raw_ms) {
    if (raw_ms.size() == 1) return {raw_ms.begin(), raw_ms.end()};
    std::vector<float> clean;
    std::copy_if(raw_ms.begin(), raw_ms.end(), std::back_inserter(clean), plausible);
    if (clean.empty()) return clean;
    // The element at index count / 2 of the ascending order: the upper median.
    const auto median = clean.begin() + static_cast<std::ptrdiff_t>(clean.size() / 2);
    std::nth_element(clean.begin(), median, clean.end());
    float reference = *median;
    clean.clear();
    for (const float x : raw_ms) {
        if (!plausible(x) || !(std::fabs(x - reference) <= kMaxRelativeChange * reference))
            continue;
        clean.push_back(x);
        reference = x;
    }
    return clean;
}

float metric_value(std::span<const float> clean_ms, HrvMetric metric) {
    const std::size_t one_run[] = {clean_ms.size()};
    return metric_value(clean_ms, one_run, metric);
}

float metric_value(std::span<const float> clean_ms, std::span<const std::size_t> run_ends,
                   HrvMetric metric) {
    const MetricRule selected = rule(metric);
    return clean_ms.size() < selected.min_intervals ? 0.0f
                                                    : selected.evaluate({clean_ms, run_ends});
}

std::vector<float> resample_tachogram(std::span<const float> clean_ms) {
    if (clean_ms.size() < 2) return {};
    std::vector<float> beat_times;  // seconds from the start of the first interval
    beat_times.reserve(clean_ms.size());
    float elapsed = 0.0f;
    for (const float x : clean_ms)
        beat_times.push_back(elapsed += x / 1000.0f);
    const std::size_t count =
        std::min(saturating_cast<std::size_t>(std::floor(kResampleHz * beat_times.back())),
                 kMaxSamplesPerInterval * clean_ms.size());
    std::vector<float> samples;
    samples.reserve(count);
    std::size_t k = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const float tau = static_cast<float>(i) / kResampleHz;
        while (k + 1 < clean_ms.size() && beat_times[k + 1] < tau)
            ++k;
        if (k + 1 == clean_ms.size()) break;
        const float slope_ms = clean_ms[k + 1] - clean_ms[k];
        samples.push_back(clean_ms[k] +
                          ((tau - beat_times[k]) * slope_ms) / (beat_times[k + 1] - beat_times[k]));
    }
    return samples;
}

float band_power_ratio(std::span<const float> frequencies, std::span<const float> power) {
    float lf = 0.0f, hf = 0.0f;
    for (std::size_t k = 0; k < std::min(frequencies.size(), power.size()); ++k) {
        const float f = frequencies[k];
        if (f >= kLfLowHz && f < kLfHfEdgeHz) lf += power[k];
        if (f >= kLfHfEdgeHz && f <= kHfHighHz) hf += power[k];
    }
    return hf > 0.0f ? lf / hf : 0.0f;
}

}  // namespace detail

HrvMetric hrv_metric_from_selector(std::uint8_t selector) {
    return selector > 5 ? HrvMetric::Sd1Sd2 : static_cast<HrvMetric>(selector);
}

std::optional<HrvMetric> hrv_metric_named(std::string_view name) {
    const std::optional<VitalSpec> vital = lookup_vital(name);
    if (!vital || vital->methods.empty() || vital->methods.front().method != MethodKind::Hrv) {
        return std::nullopt;
    }
    return hrv_metric_from_selector(vital->methods.front().selector);
}

HrvIntervals detect_hrv_intervals(std::span<const float> signal, std::span<const double> timestamps,
                                  std::span<const float> confidence, std::optional<float> rate_hint,
                                  float fs, float min_rate, float max_rate) {
    const PeakSegments beats =
        detect_peaks(signal, beat_detector(rate_hint, fs, min_rate, max_rate));
    return detail::raw_intervals(beats, timestamps, confidence, fs);
}

HrvEstimate evaluate_hrv(const HrvIntervals& intervals, HrvMetric metric,
                         std::span<const float> confidence) {
    const std::vector<float> clean = detail::clean_intervals(intervals.intervals_ms);
    if (clean.empty()) return {};
    return {detail::metric_value(clean, metric),
            detail::result_confidence(intervals.beat_confidences, confidence)};
}

HrvEstimate estimate_hrv(std::span<const float> signal, HrvMetric metric,
                         std::span<const double> timestamps, std::span<const float> confidence,
                         std::optional<float> rate_hint, float fs, float min_rate, float max_rate) {
    return evaluate_hrv(
        detect_hrv_intervals(signal, timestamps, confidence, rate_hint, fs, min_rate, max_rate),
        metric, confidence);
}

}  // namespace quorvanta
