// SPDX-License-Identifier: Apache-2.0
// Measures built on detected peaks.
//
// extremum_mean: detect_peaks on the window (negated for troughs) with pulse_peak_detector over
//   the given band (refined, refractory fraction 0.25);
//   value = mean peak amplitude, confidence = mean confidence at the peaks. No peaks: (0, 0).
// ie_ratio: breaths are detected as peaks (inhalation ends); between neighbouring peaks the
//   lowest sample is the exhalation end, and the segment's outer troughs are searched within
//   0.6 expected periods. Over the cycles trough < peak < trough with positive inhale and exhale
//   times: value = mean inhale / mean exhale (s/s), confidence = mean confidence at the peaks.
//   Fewer than 3 samples, no cycle, a mean exhale of 1e-5 s or less or times that overflow (a
//   rate near 0 Hz): (0, 0).
#include <cmath>
#include <optional>
#include <vector>

#include "signal/peak_measures.h"
#include "signal/peaks.h"
#include "types/numeric.h"

namespace quorvanta {
namespace {

// How far before the first and after the last breath of a segment its outer troughs are sought,
// in expected breath periods.
constexpr float kTroughReachPeriods = 0.6f;

float confidence_at(std::span<const float> confidence, std::size_t index) {
    return index < confidence.size() ? confidence[index] : 0.0f;
}

// Position of the lowest sample in [begin, end) (the first of equal minima), refined.
std::optional<float> trough_in(std::span<const float> x, std::size_t begin, std::size_t end) {
    if (begin >= end) return std::nullopt;
    std::size_t lowest = begin;
    for (std::size_t i = begin + 1; i < end; ++i) {
        if (x[i] < x[lowest]) lowest = i;
    }
    return refined_position(x, lowest);
}

// Expected breath period of a segment, in samples.
std::uint64_t expected_period(const std::vector<Peak>& segment, std::optional<float> rate_hint,
                              float fs, float min_rate) {
    if (rate_hint) {
        if (*rate_hint > 1e-5f)
            return saturating_cast<std::uint64_t>(
                round_half_away((fs * kSecondsPerMinute) / *rate_hint));
        return saturating_cast<std::uint64_t>((fs * kSecondsPerMinute) / min_rate);
    }
    if (segment.size() < 2) {
        return saturating_cast<std::uint64_t>(fs * (kSecondsPerMinute / min_rate));
    }
    float spacing = 0.0f;
    for (std::size_t i = 1; i < segment.size(); ++i) {
        spacing += segment[i].position - segment[i - 1].position;
    }
    return saturating_cast<std::uint64_t>(
        round_half_away(spacing / static_cast<float>(segment.size() - 1)));
}

// Troughs around the peaks of one segment: troughs[i] precedes peak i, troughs[i + 1] follows it.
std::vector<std::optional<float>> segment_troughs(std::span<const float> x,
                                                  const std::vector<Peak>& segment,
                                                  std::uint64_t reach) {
    const std::size_t n = x.size();
    std::vector<std::optional<float>> troughs;
    troughs.reserve(segment.size() + 1);
    // Where a trough is sought, the reach stays within x, so it fits x's size type.
    const std::size_t first = segment.front().index;
    troughs.push_back(reach <= first ? trough_in(x, first - static_cast<std::size_t>(reach), first)
                                     : std::nullopt);
    for (std::size_t i = 0; i + 1 < segment.size(); ++i) {
        const std::size_t begin = segment[i].index + 1;
        const std::size_t end = std::min(segment[i + 1].index, n);
        const std::optional<float> lowest = trough_in(x, begin, end);
        troughs.push_back(lowest ? lowest : static_cast<float>(std::min(begin, n)));
    }
    const std::size_t last = segment.back().index;
    const bool room_after = reach > 0 && reach < n && last < n - reach;
    const auto after = static_cast<std::size_t>(std::max<std::uint64_t>(reach, 2));
    troughs.push_back(room_after ? trough_in(x, last + 1, last + after) : std::nullopt);
    return troughs;
}

struct BreathTotals {
    float inhale = 0;
    float exhale = 0;
    float confidence = 0;
    std::size_t cycles = 0;
};

void add_cycles(BreathTotals& totals, const std::vector<Peak>& segment,
                const std::vector<std::optional<float>>& troughs, std::span<const float> confidence,
                float fs) {
    for (std::size_t i = 0; i < segment.size(); ++i) {
        const std::optional<float> before = troughs[i];
        const std::optional<float> after = troughs[i + 1];
        const float peak = segment[i].position;
        if (!before || !after || !(*before < peak && peak < *after)) continue;
        const float inhale = (peak - *before) / fs;
        const float exhale = (*after - peak) / fs;
        if (!(inhale > 0.0f && exhale > 0.0f)) continue;
        totals.inhale += inhale;
        totals.exhale += exhale;
        totals.confidence += confidence_at(confidence, segment[i].index);
        ++totals.cycles;
    }
}

}  // namespace

PeakMeasure extremum_mean(std::span<const float> signal, std::span<const float> confidence,
                          bool troughs, float fs, float min_rate, float max_rate) {
    std::vector<float> working(signal.begin(), signal.end());
    if (troughs) {
        for (float& v : working)
            v = -v;
    }
    const PeakDetectorConfig config =
        pulse_peak_detector(std::nullopt, fs, min_rate, max_rate, 0.25f, true);
    float value_sum = 0.0f;
    float confidence_sum = 0.0f;
    std::size_t count = 0;
    for (const auto& segment : detect_peaks(working, config)) {
        for (const Peak& peak : segment) {
            value_sum = troughs ? value_sum - peak.value : value_sum + peak.value;
            confidence_sum += confidence_at(confidence, peak.index);
            ++count;
        }
    }
    if (count == 0) return {};
    const auto peaks = static_cast<float>(count);
    return {value_sum / peaks, confidence_sum / peaks};
}

PeakMeasure ie_ratio(std::span<const float> signal, std::span<const float> confidence,
                     std::optional<float> rate_hint, float fs, float min_rate, float max_rate) {
    if (signal.size() < 3) return {};
    const PeakDetectorConfig config = breath_detector(rate_hint, fs, min_rate, max_rate);
    BreathTotals totals;
    for (const auto& segment : detect_peaks(signal, config)) {
        const std::uint64_t period = expected_period(segment, rate_hint, fs, min_rate);
        const auto reach =
            saturating_cast<std::uint64_t>(static_cast<float>(period) * kTroughReachPeriods);
        add_cycles(totals, segment, segment_troughs(signal, segment, reach), confidence, fs);
    }
    if (totals.cycles == 0) return {};
    const auto cycles = static_cast<float>(totals.cycles);
    const float mean_exhale = totals.exhale / cycles;
    const float ratio = (totals.inhale / cycles) / mean_exhale;
    if (!(mean_exhale > 1e-5f) || !std::isfinite(ratio)) return {};
    return {ratio, totals.confidence / cycles};
}

}  // namespace quorvanta
