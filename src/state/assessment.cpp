// SPDX-License-Identifier: Apache-2.0
// assess_history. Each vital is checked on the window that its first registry method whose signals
// the session holds analyses: the last fps_target x max_seconds frames (every frame after a Global
// call), ending at the newest frame. The history's frame rate fs is measured over its timestamps.
//
// Beats come from the whole retained pulse waveform ("ppg_waveform"): detect_beats, then
// correct_beats; a window's beats are those at or after its first frame's timestamp, and a is the
// median amplitude of every detected beat of the history. A check lowers the quality to the
// smallest of the components it uses, each clamped to [0, 1], and names the reason of every
// component below 0.5:
//   motion     1 - 2 x the share of the window's detected beats less similar than 0.8 to the mean
//              beat (NaN similarities left out; none compared gives 0), and again 1 - 2 x the share
//              whose amplitude is not within a / 1.5 .. 1.5 a: movement makes large, odd beats
//   irregular  1 - 2 x the share of the window's beats that were corrected or rejected (none: 0)
//   few_beats  the sum of the window's normal-to-normal intervals over 0.8 x the window's span
//   flat       1 - 2 x the share of flat samples of the window (find_signal_defects)
//   clipped    1 - 2 x the share of clipped samples
// Heart rate, with the pulse components: the beat rate is 60000 / the mean of the window's
// normal-to-normal intervals (at least 3; fewer: quality 0, few_beats, checked value = value).
// r = value / beat rate is a harmonic where |r - 2| <= 0.15 or |r - 3| <= 0.2 (reason harmonic).
// Where the quality is at least 0.5 the checked value is the beat rate, with reason disagree
// where r is neither a harmonic nor within 0.1 of 1; otherwise it is the value.
// Heart-rate variability, with the pulse components: the checked value is the metric of the
// window's normal-to-normal intervals, successive differences taken within their runs.
// Respiratory rate, on the window's trace x, with flat and clipped: b = band_pass(x, fs, lo, hi)
// over the vital's band (3 to 60 /min); the clarity of b's periodogram peak (the registry's
// resolution; the share of the band's power within 1/12 Hz of the peak) limits the quality as
// (clarity - 0.2) / 0.4 (reason irregular). The drift share is 1 - sum b^2 / sum (x - mean x)^2;
// reason drift where it is above 0.5 or the value below 6 /min. The checked value is the breath
// rate of crossing_rate(x, fs, max(lo, 6 /min), hi), which counts breaths, not drift, with reason
// disagree where the value is more than 20% off it without drift; no breath rate: quality 0,
// irregular, checked value = value.
// Any other vital: the checked value is the value; flat and clipped of its first signal's window
// limit the quality.
#include "state/assessment.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "signal/band_pass.h"
#include "signal/beat_correction.h"
#include "signal/beat_detection.h"
#include "signal/crossing_rate.h"
#include "signal/hrv.h"
#include "signal/hrv_detail.h"
#include "signal/rate.h"
#include "signal/signal_defects.h"
#include "types/numeric.h"

namespace quorvanta {
namespace detail {
namespace {

constexpr std::string_view kPulseSignal = "ppg_waveform";
constexpr float kMinSimilarity = 0.8f;
constexpr float kAmplitudeScale = 1.5f;
constexpr float kCoveredShare = 0.8f;
constexpr std::size_t kMinRateIntervals = 3;
constexpr float kHarmonicTolerance[] = {0.15f, 0.2f};  // around 2 and 3 times the beat rate
constexpr float kAgreement = 0.1f;
constexpr float kMinClarity = 0.2f;
constexpr float kClaritySpan = 0.4f;
constexpr float kBreathAgreement = 0.2f;
constexpr float kMinPlausibleBreathing = 6.0f;
constexpr float kDriftShare = 0.5f;
constexpr float kReasonBelow = 0.5f;

// The smallest component so far, and the reasons of the components below 0.5.
class Quality {
public:
    void limit(float component, QualityReason reason) {
        const float q = std::clamp(component, 0.0f, 1.0f);
        value_ = std::min(value_, std::isnan(component) ? 0.0f : q);
        if (!(component >= kReasonBelow)) add(reason);
    }
    void add(QualityReason reason) {
        if (std::find(reasons_.begin(), reasons_.end(), reason) == reasons_.end())
            reasons_.push_back(reason);
    }
    float value() const { return value_; }

    std::vector<std::string> reason_names() const {
        std::vector<QualityReason> sorted = reasons_;
        std::sort(sorted.begin(), sorted.end());
        std::vector<std::string> names;
        names.reserve(sorted.size());
        for (const QualityReason reason : sorted)
            names.emplace_back(kQualityReasonNames[static_cast<std::size_t>(reason)]);
        return names;
    }

private:
    float value_ = 1.0f;
    std::vector<QualityReason> reasons_;
};

// What every check reads of the history.
struct History {
    const SessionCore& core;
    std::vector<double> timestamps;
    float fs = 0;
    std::vector<DetectedBeat> detected;
    std::vector<Beat> beats;
    float typical_amplitude = 0;  // the median amplitude of the detected beats

    std::optional<std::vector<float>> signal(const std::string& id) const {
        const auto found = core.signal_series.find(id);
        if (found == core.signal_series.end()) return std::nullopt;
        return found->second.values();
    }
};

// The frames a method analyses, and the time its window starts.
struct Window {
    std::size_t frames = 0;
    double begin = 0;
};

Window window_of(const History& history, const EstimationMethod& method, std::size_t available) {
    const std::size_t frames =
        history.core.latest_global
            ? available
            : std::min(available, saturating_cast<std::size_t>(history.core.config.fps_target *
                                                               method.max_seconds));
    const std::size_t stored = history.timestamps.size();
    const double begin = frames > 0 && frames <= stored ? history.timestamps[stored - frames]
                                                        : -std::numeric_limits<double>::infinity();
    return {frames, begin};
}

void limit_by_defects(Quality& quality, std::span<const float> x, float fs) {
    const SignalDefects defects = find_signal_defects(x, fs);
    quality.limit(1 - 2 * defects.flat_share, QualityReason::Flat);
    quality.limit(1 - 2 * defects.clipped_share, QualityReason::Clipped);
}

// The window's beats, and its normal-to-normal intervals.
struct WindowBeats {
    std::vector<DetectedBeat> detected;
    std::vector<Beat> beats;
    NnIntervals nn;
};

WindowBeats beats_in(const History& history, const Window& window) {
    WindowBeats in;
    for (const DetectedBeat& b : history.detected) {
        if (b.time >= window.begin) in.detected.push_back(b);
    }
    for (const Beat& b : history.beats) {
        if (b.time >= window.begin) in.beats.push_back(b);
    }
    in.nn = nn_intervals(in.beats);
    return in;
}

Quality pulse_quality(const History& history, const WindowBeats& in, std::span<const float> pulse) {
    Quality quality;
    std::size_t compared = 0, unlike = 0;
    for (const DetectedBeat& b : in.detected) {
        if (std::isnan(b.similarity)) continue;
        ++compared;
        if (!(b.similarity >= kMinSimilarity)) ++unlike;
    }
    const float unlike_share =
        compared > 0 ? static_cast<float>(unlike) / static_cast<float>(compared) : 1.0f;
    quality.limit(1 - 2 * unlike_share, QualityReason::Motion);
    const auto out_of_scale =
        std::count_if(in.detected.begin(), in.detected.end(), [&](const DetectedBeat& b) {
            return !(b.amplitude <= kAmplitudeScale * history.typical_amplitude &&
                     b.amplitude * kAmplitudeScale >= history.typical_amplitude);
        });
    const float out_of_scale_share =
        in.detected.empty()
            ? 0.0f
            : static_cast<float>(out_of_scale) / static_cast<float>(in.detected.size());
    quality.limit(1 - 2 * out_of_scale_share, QualityReason::Motion);
    const auto changed = std::count_if(in.beats.begin(), in.beats.end(), [](const Beat& b) {
        return b.status != BeatStatus::Normal;
    });
    const float changed_share =
        in.beats.empty() ? 1.0f : static_cast<float>(changed) / static_cast<float>(in.beats.size());
    quality.limit(1 - 2 * changed_share, QualityReason::Irregular);
    const float span_ms = static_cast<float>(pulse.size()) / history.fs * 1000.0f;
    float covered_ms = 0.0f;
    for (const float ms : in.nn.ms)
        covered_ms += ms;
    quality.limit(covered_ms / (kCoveredShare * span_ms), QualityReason::FewBeats);
    limit_by_defects(quality, pulse, history.fs);
    return quality;
}

VitalAssessment finish(float value, float checked, const Quality& quality) {
    return {value, checked, quality.value(), quality.reason_names()};
}

bool near_multiple(float ratio, float multiple, float tolerance) {
    return std::fabs(ratio - multiple) <= tolerance;
}

VitalAssessment check_heart_rate(const History& history, const EstimationMethod& method,
                                 std::span<const float> pulse, float value) {
    const Window window = window_of(history, method, pulse.size());
    const WindowBeats in = beats_in(history, window);
    Quality quality = pulse_quality(history, in, pulse.last(window.frames));
    if (in.nn.ms.size() < kMinRateIntervals) {
        quality.limit(0.0f, QualityReason::FewBeats);
        return finish(value, value, quality);
    }
    const float beat_rate = 60000.0f / mean(in.nn.ms);
    const float ratio = value / beat_rate;
    const bool harmonic = near_multiple(ratio, 2, kHarmonicTolerance[0]) ||
                          near_multiple(ratio, 3, kHarmonicTolerance[1]);
    if (harmonic) quality.add(QualityReason::Harmonic);
    if (quality.value() < kReasonBelow) return finish(value, value, quality);
    if (!harmonic && !near_multiple(ratio, 1, kAgreement)) quality.add(QualityReason::Disagree);
    return finish(value, beat_rate, quality);
}

VitalAssessment check_hrv(const History& history, const EstimationMethod& method,
                          std::span<const float> pulse, float value) {
    const Window window = window_of(history, method, pulse.size());
    const WindowBeats in = beats_in(history, window);
    const Quality quality = pulse_quality(history, in, pulse.last(window.frames));
    const float checked =
        metric_value(in.nn.ms, in.nn.run_ends, hrv_metric_from_selector(method.selector));
    return finish(value, checked, quality);
}

float energy(std::span<const float> x, float offset) {
    float sum = 0.0f;
    for (const float v : x)
        sum += (v - offset) * (v - offset);
    return sum;
}

VitalAssessment check_respiratory_rate(const History& history, const EstimationMethod& method,
                                       std::span<const float> trace, float value) {
    const Window window = window_of(history, method, trace.size());
    const std::span<const float> x = trace.last(window.frames);
    Quality quality;
    limit_by_defects(quality, x, history.fs);
    const float low_hz = method.min_value / 60;
    const float high_hz = method.max_value / 60;
    const std::vector<float> breathing = band_pass(x, history.fs, low_hz, high_hz);
    const RateEstimate spectral =
        estimate_rate(breathing, RateMethod{MethodKind::Periodogram, 0, method.param}, std::nullopt,
                      nullptr, history.fs, method.min_value, method.max_value);
    quality.limit((spectral.confidence - kMinClarity) / kClaritySpan, QualityReason::Irregular);
    const float total = energy(x, mean(x));
    const float drift_share = total > 0 ? 1 - energy(breathing, 0.0f) / total : 0.0f;
    if (value < kMinPlausibleBreathing || drift_share > kDriftShare)
        quality.add(QualityReason::Drift);
    const CrossingRate breaths =
        crossing_rate(x, history.fs, std::max(low_hz, kMinPlausibleBreathing / 60), high_hz);
    if (!(breaths.rate > 0)) {
        quality.limit(0.0f, QualityReason::Irregular);
        return finish(value, value, quality);
    }
    if (!near_multiple(value / breaths.rate, 1, kBreathAgreement) && drift_share <= kDriftShare &&
        value >= kMinPlausibleBreathing) {
        quality.add(QualityReason::Disagree);
    }
    return finish(value, breaths.rate, quality);
}

VitalAssessment check_signal(const History& history, const EstimationMethod& method,
                             std::span<const float> x, float value) {
    const Window window = window_of(history, method, x.size());
    Quality quality;
    limit_by_defects(quality, x.last(window.frames), history.fs);
    return finish(value, value, quality);
}

// The first method whose signals the session holds, with its first signal's history.
struct Analysed {
    const EstimationMethod* method = nullptr;
    std::vector<float> signal;
};

std::optional<Analysed> analysed(const History& history, const VitalSpec& spec) {
    for (const EstimationMethod& method : spec.methods) {
        if (method.signals.empty()) continue;
        if (auto signal = history.signal(method.signals.front())) {
            return Analysed{&method, std::move(*signal)};
        }
    }
    return std::nullopt;
}

VitalAssessment check(const History& history, const std::string& id, float value) {
    const VitalSpec& spec = history.core.vital_specs.at(id);
    const std::optional<Analysed> found = analysed(history, spec);
    if (!found) return finish(value, value, Quality{});
    const EstimationMethod& method = *found->method;
    const std::span<const float> x = found->signal;
    if (id == "heart_rate") return check_heart_rate(history, method, x, value);
    if (id == "respiratory_rate") return check_respiratory_rate(history, method, x, value);
    if (method.method == MethodKind::Hrv) return check_hrv(history, method, x, value);
    return check_signal(history, method, x, value);
}

float median_amplitude(std::span<const DetectedBeat> beats) {
    if (beats.empty()) return 0.0f;
    std::vector<float> amplitudes;
    for (const DetectedBeat& b : beats)
        amplitudes.push_back(b.amplitude);
    const auto middle = amplitudes.begin() + static_cast<std::ptrdiff_t>(amplitudes.size() / 2);
    std::nth_element(amplitudes.begin(), middle, amplitudes.end());
    return *middle;
}

Beats beats_record(const History& history) {
    Beats record;
    for (const Beat& b : history.beats) {
        record.times.push_back(b.time);
        record.status.push_back(b.status);
    }
    record.intervals = nn_intervals(history.beats).ms;
    return record;
}

}  // namespace
}  // namespace detail

Assessment assess_history(const SessionCore& core) {
    using namespace detail;
    History history{core, {core.timestamps.begin(), core.timestamps.end()}, 0, {}, {}, 0};
    history.fs = frame_rate(history.timestamps, core.config.fps_target);
    if (const auto pulse = history.signal(std::string(kPulseSignal))) {
        history.detected = detect_beats(*pulse, history.fs, history.timestamps);
        std::vector<double> times;
        for (const DetectedBeat& b : history.detected)
            times.push_back(b.time);
        history.beats = correct_beats(times);
        history.typical_amplitude = median_amplitude(history.detected);
    }
    Assessment assessment;
    for (const std::string& id : core.vital_order) {
        const auto latest = core.latest_values.find(id);
        if (latest == core.latest_values.end()) continue;
        assessment.vitals.emplace(id, check(history, id, latest->second));
    }
    assessment.beats = beats_record(history);
    return assessment;
}

}  // namespace quorvanta
