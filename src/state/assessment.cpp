// SPDX-License-Identifier: Apache-2.0
// assess_history. Each vital is checked on the window that its first registry method whose signals
// the session holds analyses: the last fps_target x max_seconds frames (every frame after a Global
// call), ending at the newest frame. The history's frame rate fs is measured over its timestamps.
//
// Beats come from the whole retained pulse waveform ("ppg_waveform"), detected block by block
// (BeatBlocks), then correct_beats; a window's beats are those at or after its first frame's
// timestamp, and a is the median amplitude of every detected beat of the history. A check lowers
// the quality to the smallest of the components it uses, each clamped to [0, 1], and names the
// reason of every component below 0.5:
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
// Respiratory rate, on the window's trace, with flat and clipped: x = block_means(trace, k),
// k = floor(fs / (4 x the band's top)) frames (at least 1), so that breathing is filtered at a
// rate it needs; b = band_pass(x, fs / k, 6 /min, the band's top) holds the breathing without
// drift; the drift share is 1 - sum b^2 / sum (x - mean x)^2, with reason drift where it is above
// 0.5 or the value below 6 /min. The checked value is crossing_rate(b, fs / k), one upward zero
// crossing a breath; its intervals' variation v limits the quality as 1 - v / 0.3 (reason
// irregular), and reason disagree marks a value more than 20% off it without drift. No breath rate:
// quality 0, irregular, checked value = value. Any other vital: the checked value is the value;
// flat and clipped of its first signal's window limit the quality.
#include "state/assessment.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "signal/band_pass.h"
#include "signal/beat_correction.h"
#include "signal/beat_detection.h"
#include "signal/beats.h"
#include "signal/block_means.h"
#include "signal/crossing_rate.h"
#include "signal/hrv.h"
#include "signal/hrv_detail.h"
#include "signal/signal_defects.h"
#include "types/numeric.h"

namespace quorvanta {
namespace detail {
namespace {

constexpr float kMinSimilarity = 0.8f;
constexpr float kAmplitudeScale = 1.5f;
constexpr float kCoveredShare = 0.8f;
constexpr std::size_t kMinRateIntervals = 3;
constexpr float kHarmonicTolerance[] = {0.15f, 0.2f};  // around 2 and 3 times the beat rate
constexpr float kAgreement = 0.1f;
constexpr float kMaxBreathVariation = 0.3f;
constexpr float kBreathAgreement = 0.2f;
constexpr float kMinPlausibleBreathing = 6.0f;
constexpr float kDriftShare = 0.5f;
constexpr float kBreathingOversampling = 4.0f;  // working rate over the band's top
constexpr float kReasonBelow = 0.5f;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

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

// What every check reads of the history, and what checks on the same window share.
class History {
public:
    explicit History(const SessionCore& core)
        : core_(core), timestamps_(core.timestamps.begin(), core.timestamps.end()) {
        fs_ = frame_rate(timestamps_, core.config.fps_target);
    }

    const SessionCore& core() const { return core_; }
    std::span<const double> timestamps() const { return timestamps_; }
    float fs() const { return fs_; }

    // The per-frame means of at least the newest `frames` frames of signal `id` (all it holds
    // when fewer), or null when the session has none.
    const std::vector<float>* signal(const std::string& id, std::size_t frames) {
        const auto found = core_.signal_series.find(id);
        if (found == core_.signal_series.end()) return nullptr;
        const std::size_t wanted = std::min(frames, found->second.size());
        std::vector<float>& means = means_[id];
        if (means.size() < wanted) means = found->second.newest_values(wanted);
        return &means;
    }

    // The defects of the last `frames` frames of signal `id`.
    const SignalDefects& defects(const std::string& id, std::span<const float> window) {
        const auto key = std::pair{id, window.size()};
        if (const auto cached = defects_.find(key); cached != defects_.end()) return cached->second;
        return defects_.emplace(key, find_signal_defects(window, fs_)).first->second;
    }

    // The beats of the whole pulse waveform (frames aligned at the newest), detected block by
    // block and corrected once.
    void find_beats(BeatBlocks& blocks, std::span<const float> pulse) {
        const std::size_t frames = std::min(pulse.size(), timestamps_.size());
        const std::size_t unheld = timestamps_.size() - frames;
        detected = blocks.beats(pulse.last(frames), std::span(timestamps_).subspan(unheld),
                                core_.dropped_frames + unheld, core_.config.fps_target);
        std::vector<double> times;
        times.reserve(detected.size());
        for (const DetectedBeat& b : detected)
            times.push_back(b.time);
        beats = correct_beats(times);
        typical_amplitude = median_amplitude(detected);
    }

    std::vector<DetectedBeat> detected;
    std::vector<Beat> beats;
    float typical_amplitude = 0;  // the median amplitude of the detected beats

    // The detected and the corrected beats at or after `begin` (both are in time order).
    std::span<const DetectedBeat> detected_from(double begin) const {
        return std::span(detected).subspan(first_at_or_after(detected, begin));
    }
    std::span<const Beat> beats_from(double begin) const {
        return std::span(beats).subspan(first_at_or_after(beats, begin));
    }

    // The normal-to-normal intervals of the corrected beats at or after `begin`, found once.
    const NnIntervals& nn_from(double begin) {
        const std::size_t first = first_at_or_after(beats, begin);
        if (const auto cached = nn_.find(first); cached != nn_.end()) return cached->second;
        return nn_.emplace(first, nn_intervals(std::span(beats).subspan(first))).first->second;
    }

    // The pulse's analysis over the last `frames` frames, made once per window length.
    struct PulseWindow {
        NnIntervals nn;
        Quality quality;
    };
    template <class Make>
    const PulseWindow& pulse_window(std::size_t frames, Make make) {
        if (const auto cached = pulse_windows_.find(frames); cached != pulse_windows_.end())
            return cached->second;
        return pulse_windows_.emplace(frames, make()).first->second;
    }

private:
    template <class B>
    static std::size_t first_at_or_after(const std::vector<B>& in_time_order, double begin) {
        const auto first = std::partition_point(in_time_order.begin(), in_time_order.end(),
                                                [&](const B& b) { return b.time < begin; });
        return static_cast<std::size_t>(first - in_time_order.begin());
    }

    static float median_amplitude(std::span<const DetectedBeat> beats) {
        if (beats.empty()) return 0.0f;
        std::vector<float> amplitudes;
        amplitudes.reserve(beats.size());
        for (const DetectedBeat& b : beats)
            amplitudes.push_back(b.amplitude);
        const auto middle = amplitudes.begin() + static_cast<std::ptrdiff_t>(amplitudes.size() / 2);
        std::nth_element(amplitudes.begin(), middle, amplitudes.end());
        return *middle;
    }

    const SessionCore& core_;
    std::vector<double> timestamps_;
    float fs_ = 0;
    std::unordered_map<std::string, std::vector<float>> means_;
    std::map<std::pair<std::string, std::size_t>, SignalDefects> defects_;
    std::map<std::size_t, PulseWindow> pulse_windows_;
    std::map<std::size_t, NnIntervals> nn_;  // by the index of the first beat
};

// The frames a method analyses, and the time its window starts.
struct Window {
    std::size_t frames = 0;
    double begin = 0;
};

// The frames a method analyses when the history holds enough.
std::size_t frames_wanted(const SessionCore& core, const EstimationMethod& method) {
    if (core.latest_global) return std::numeric_limits<std::size_t>::max();
    return saturating_cast<std::size_t>(core.config.fps_target * method.max_seconds);
}

Window window_of(const History& history, const EstimationMethod& method, std::size_t available) {
    const std::size_t frames = std::min(available, frames_wanted(history.core(), method));
    const std::span<const double> stamps = history.timestamps();
    const double begin =
        frames > 0 && frames <= stamps.size() ? stamps[stamps.size() - frames] : -kInfinity;
    return {frames, begin};
}

void limit_by_defects(Quality& quality, const SignalDefects& defects) {
    quality.limit(1 - 2 * defects.flat_share, QualityReason::Flat);
    quality.limit(1 - 2 * defects.clipped_share, QualityReason::Clipped);
}

template <class T>
float share(std::size_t count, std::span<const T> of, float when_empty) {
    return of.empty() ? when_empty : static_cast<float>(count) / static_cast<float>(of.size());
}

// The pulse components of the window of `frames` frames that starts at `begin`.
History::PulseWindow analyse_pulse(History& history, std::span<const float> pulse,
                                   const Window& window) {
    History::PulseWindow in;
    const std::span<const DetectedBeat> detected = history.detected_from(window.begin);
    const std::span<const Beat> beats = history.beats_from(window.begin);
    in.nn = history.nn_from(window.begin);
    const auto unlike = std::count_if(detected.begin(), detected.end(), [](const DetectedBeat& b) {
        return !(b.similarity >= kMinSimilarity) && !std::isnan(b.similarity);
    });
    const auto compared =
        std::count_if(detected.begin(), detected.end(),
                      [](const DetectedBeat& b) { return !std::isnan(b.similarity); });
    const float unlike_share =
        compared > 0 ? static_cast<float>(unlike) / static_cast<float>(compared) : 1.0f;
    in.quality.limit(1 - 2 * unlike_share, QualityReason::Motion);
    const float typical = history.typical_amplitude;
    const auto out_of_scale =
        std::count_if(detected.begin(), detected.end(), [&](const DetectedBeat& b) {
            return !(b.amplitude <= kAmplitudeScale * typical &&
                     b.amplitude * kAmplitudeScale >= typical);
        });
    in.quality.limit(1 - 2 * share(static_cast<std::size_t>(out_of_scale), detected, 0.0f),
                     QualityReason::Motion);
    const auto changed = std::count_if(
        beats.begin(), beats.end(), [](const Beat& b) { return b.status != BeatStatus::Normal; });
    in.quality.limit(1 - 2 * share(static_cast<std::size_t>(changed), beats, 0.5f),
                     QualityReason::Irregular);
    const float span_ms = static_cast<float>(window.frames) / history.fs() * 1000.0f;
    float covered_ms = 0.0f;
    for (const float ms : in.nn.ms)
        covered_ms += ms;
    in.quality.limit(covered_ms / (kCoveredShare * span_ms), QualityReason::FewBeats);
    limit_by_defects(in.quality,
                     history.defects(std::string(kCheckedPulseSignal), pulse.last(window.frames)));
    return in;
}

const History::PulseWindow& pulse_window(History& history, const EstimationMethod& method,
                                         std::span<const float> pulse) {
    const Window window = window_of(history, method, pulse.size());
    return history.pulse_window(window.frames,
                                [&] { return analyse_pulse(history, pulse, window); });
}

VitalAssessment finish(float value, float checked, const Quality& quality) {
    return {value, checked, quality.value(), quality.reason_names()};
}

bool near_multiple(float ratio, float multiple, float tolerance) {
    return std::fabs(ratio - multiple) <= tolerance;
}

VitalAssessment check_heart_rate(History& history, const EstimationMethod& method,
                                 std::span<const float> pulse, float value) {
    const History::PulseWindow& in = pulse_window(history, method, pulse);
    Quality quality = in.quality;
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

VitalAssessment check_hrv(History& history, const EstimationMethod& method,
                          std::span<const float> pulse, float value) {
    const History::PulseWindow& in = pulse_window(history, method, pulse);
    const float checked =
        metric_value(in.nn.ms, in.nn.run_ends, hrv_metric_from_selector(method.selector));
    return finish(value, checked, in.quality);
}

float energy(std::span<const float> x, float offset) {
    float sum = 0.0f;
    for (const float v : x)
        sum += (v - offset) * (v - offset);
    return sum;
}

VitalAssessment check_respiratory_rate(History& history, const EstimationMethod& method,
                                       std::span<const float> trace, float value) {
    const Window window = window_of(history, method, trace.size());
    const std::span<const float> x = trace.last(window.frames);
    Quality quality;
    limit_by_defects(quality, history.defects(method.signals.front(), x));
    const float top_hz = method.max_value / 60;
    const std::size_t k = std::max<std::size_t>(
        1,
        saturating_cast<std::size_t>(std::floor(history.fs() / (kBreathingOversampling * top_hz))));
    const std::vector<float> slow = block_means(x, k);
    const float slow_fs = history.fs() / static_cast<float>(k);
    const std::vector<float> breathing =
        band_pass(slow, slow_fs, kMinPlausibleBreathing / 60, top_hz);
    const float total = energy(slow, mean(slow));
    const float drift_share = total > 0 ? 1 - energy(breathing, 0.0f) / total : 0.0f;
    if (value < kMinPlausibleBreathing || drift_share > kDriftShare)
        quality.add(QualityReason::Drift);
    const CrossingRate breaths = crossing_rate(breathing, slow_fs);
    if (!(breaths.rate > 0)) {
        quality.limit(0.0f, QualityReason::Irregular);
        return finish(value, value, quality);
    }
    quality.limit(1 - breaths.variation / kMaxBreathVariation, QualityReason::Irregular);
    if (!near_multiple(value / breaths.rate, 1, kBreathAgreement) && drift_share <= kDriftShare &&
        value >= kMinPlausibleBreathing) {
        quality.add(QualityReason::Disagree);
    }
    return finish(value, breaths.rate, quality);
}

VitalAssessment check_signal(History& history, const EstimationMethod& method,
                             std::span<const float> x, float value) {
    const Window window = window_of(history, method, x.size());
    Quality quality;
    limit_by_defects(quality, history.defects(method.signals.front(), x.last(window.frames)));
    return finish(value, value, quality);
}

VitalAssessment check(History& history, const std::string& id, float value) {
    const VitalSpec& spec = history.core().vital_specs.at(id);
    for (const EstimationMethod& method : spec.methods) {
        if (method.signals.empty()) continue;
        const std::vector<float>* signal =
            history.signal(method.signals.front(), frames_wanted(history.core(), method));
        if (signal == nullptr) continue;
        if (id == "heart_rate") return check_heart_rate(history, method, *signal, value);
        if (id == "respiratory_rate")
            return check_respiratory_rate(history, method, *signal, value);
        if (method.method == MethodKind::Hrv) return check_hrv(history, method, *signal, value);
        return check_signal(history, method, *signal, value);
    }
    return finish(value, value, Quality{});
}

}  // namespace
}  // namespace detail

Assessment assess_history(SessionCore& core) {
    using namespace detail;
    History history(core);
    if (const std::vector<float>* pulse = history.signal(std::string(kCheckedPulseSignal),
                                                         std::numeric_limits<std::size_t>::max()))
        history.find_beats(core.beat_blocks, *pulse);
    Assessment assessment;
    for (const std::string& id : core.vital_order) {
        const auto latest = core.latest_values.find(id);
        if (latest == core.latest_values.end()) continue;
        assessment.vitals.emplace(id, check(history, id, latest->second));
    }
    assessment.beats = beats_record(history.beats, history.nn_from(-kInfinity).ms);
    return assessment;
}

}  // namespace quorvanta
