// SPDX-License-Identifier: Apache-2.0
// Estimation of the configured vitals over the retained history.
//
// Each vital tries its registry methods in order; a method runs on the most recent max_seconds
// of its signals (all of them in Global mode) once min_seconds are available, at the rate
// measured over the window's timestamps, and its value is accepted when it lies within the
// method's [min_value, max_value]. Vitals estimated earlier in the call (heart rate, respiratory
// rate) serve as hints to later ones.
#include "state/vitals.h"

#include <algorithm>
#include <map>
#include <tuple>
#include <vector>

#include "signal/hrv.h"
#include "signal/peak_measures.h"
#include "signal/rate.h"
#include "types/numeric.h"

namespace quorvanta {
namespace {

// Per-sample means of a family of series, computed at most once per call.
class MeansCache {
public:
    explicit MeansCache(const std::unordered_map<std::string, Series>& series) : series_(series) {}

    // The means of the series named `id`, or null when there is none.
    const std::vector<float>* find(const std::string& id) {
        if (const auto cached = cache_.find(id); cached != cache_.end()) return &cached->second;
        const auto series = series_.find(id);
        if (series == series_.end()) return nullptr;
        return &cache_.emplace(id, series->second.values()).first->second;
    }

private:
    const std::unordered_map<std::string, Series>& series_;
    std::unordered_map<std::string, std::vector<float>> cache_;
};

// The HRV vitals analyse the same window with the same hint: their beats are detected once.
struct HrvBeatsKey {
    std::string signal;
    std::size_t frames;
    std::optional<float> rate_hint;
    bool operator<(const HrvBeatsKey& other) const {
        return std::tie(signal, frames, rate_hint) <
               std::tie(other.signal, other.frames, other.rate_hint);
    }
};

// What one call's estimation reads and accumulates.
struct EstimationContext {
    SessionCore& core;
    bool global;
    MeansCache data;
    MeansCache confidence;
    VitalEstimates estimates;
    std::map<HrvBeatsKey, HrvIntervals> hrv_beats;

    std::optional<float> hint(const std::string& vital_id) const {
        const auto found = estimates.find(vital_id);
        if (found == estimates.end()) return std::nullopt;
        return found->second.value;
    }
};

// The inputs of one method over its analysis window.
struct MethodWindow {
    std::vector<std::span<const float>> data;  // last `window` samples of each signal
    std::vector<float> confidence;             // of the first signal; 1.0 where none was sent
    std::vector<double> timestamps;            // the last `window` retained timestamps
    float fs = 0;                              // rate measured over those timestamps
    float mean_confidence = 0;                 // mean of `confidence`
};

template <class Values>
auto last_n(const Values& values, std::size_t n) {
    const std::size_t count = std::min(n, values.size());
    return std::span(values).subspan(values.size() - count);
}

std::size_t frames_for(float seconds, float fps_target) {
    return saturating_cast<std::size_t>(fps_target * seconds);
}

std::optional<MethodWindow> method_window(EstimationContext& context,
                                          const EstimationMethod& method) {
    if (method.signals.empty()) return std::nullopt;
    MethodWindow window;
    std::size_t available = SIZE_MAX;
    for (const std::string& id : method.signals) {
        const std::vector<float>* means = context.data.find(id);
        if (means == nullptr) return std::nullopt;
        window.data.emplace_back(*means);
        available = std::min(available, means->size());
    }
    const float fps_target = context.core.config.fps_target;
    if (available < frames_for(method.min_seconds, fps_target)) return std::nullopt;
    const std::size_t frames =
        context.global ? available
                       : std::min(available, frames_for(method.max_seconds, fps_target));

    for (auto& data : window.data)
        data = data.subspan(data.size() - frames);
    const std::vector<float>* confidence = context.confidence.find(method.signals.front());
    if (confidence == nullptr) {
        window.confidence.assign(frames, 1.0f);
    } else {
        const auto tail = last_n(*confidence, frames);
        window.confidence.assign(tail.begin(), tail.end());
    }
    const auto& stored = context.core.timestamps;
    const std::size_t stamps = std::min(frames, stored.size());
    window.timestamps.assign(stored.end() - static_cast<std::ptrdiff_t>(stamps), stored.end());
    window.fs = frame_rate(window.timestamps, fps_target);
    window.mean_confidence = mean(window.confidence);
    return window;
}

// Averages f(x0[i], x1[i]) over the samples both signals have: (0, 0) without a second signal
// or without samples, else (mean, 1).
template <class Combine>
VitalEstimate paired_mean(const MethodWindow& window, Combine combine) {
    if (window.data.size() < 2) return {};
    const auto x0 = window.data[0];
    const auto x1 = window.data[1];
    const std::size_t k = std::min(x0.size(), x1.size());
    if (k == 0) return {};
    float sum = 0.0f;
    for (std::size_t i = 0; i < k; ++i)
        sum += combine(x0[i], x1[i]);
    return {sum / static_cast<float>(k), 1.0f};
}

// The mean height of the peaks or troughs of a pulsatile window, at heart rates.
VitalEstimate pulse_extremum_mean(const MethodWindow& window, bool troughs) {
    const RateBand band = rate_band("heart_rate");
    const PeakMeasure measure = extremum_mean(window.data[0], window.confidence, troughs, window.fs,
                                              band.min_rate, band.max_rate);
    return {measure.value, measure.confidence};
}

VitalEstimate peak_trough_span(const MethodWindow& window) {
    const VitalEstimate peaks = pulse_extremum_mean(window, false);
    const VitalEstimate troughs = pulse_extremum_mean(window, true);
    if (!(peaks.value > 0.0f && troughs.value > 0.0f)) return {};
    return {peaks.value - troughs.value, (peaks.confidence + troughs.confidence) * 0.5f};
}

const HrvIntervals& hrv_beats(EstimationContext& context, const EstimationMethod& method,
                              const MethodWindow& window) {
    const std::optional<float> hint = context.hint("heart_rate");
    HrvBeatsKey key{method.signals.front(), window.data[0].size(), hint};
    if (const auto cached = context.hrv_beats.find(key); cached != context.hrv_beats.end()) {
        return cached->second;
    }
    const RateBand band = rate_band("heart_rate");
    HrvIntervals beats = detect_hrv_intervals(window.data[0], window.timestamps, window.confidence,
                                              hint, window.fs, band.min_rate, band.max_rate);
    return context.hrv_beats.emplace(std::move(key), std::move(beats)).first->second;
}

VitalEstimate evaluate(EstimationContext& context, const EstimationMethod& method,
                       const MethodWindow& window) {
    const auto x0 = window.data[0];
    switch (method.method) {
        case MethodKind::Periodogram:
        case MethodKind::PeakDetection: {
            const RateMethod rate_method{method.method, method.selector, method.param};
            const RateEstimate rate = estimate_rate(x0, rate_method, context.hint("heart_rate"),
                                                    &context.core.spectrum_workspace, window.fs,
                                                    method.min_value, method.max_value);
            return {rate.rate, window.mean_confidence};
        }
        case MethodKind::Hrv: {
            const HrvEstimate hrv =
                evaluate_hrv(hrv_beats(context, method, window),
                             hrv_metric_from_selector(method.selector), window.confidence);
            return {hrv.value, hrv.confidence};
        }
        case MethodKind::Mean:
            return {mean(x0), window.mean_confidence};
        case MethodKind::PeakMean:
            return pulse_extremum_mean(window, false);
        case MethodKind::TroughMean:
            return pulse_extremum_mean(window, true);
        case MethodKind::PeakTroughSpan:
            return peak_trough_span(window);
        case MethodKind::Difference:
            return paired_mean(window, [](float a, float b) { return a - b; });
        case MethodKind::MeanArterial:
            return paired_mean(window, [](float a, float b) { return (a + b + b) / 3.0f; });
        case MethodKind::IeRatio:
            break;
    }
    const RateBand band = rate_band("respiratory_rate");
    const PeakMeasure ratio = ie_ratio(x0, window.confidence, context.hint("respiratory_rate"),
                                       window.fs, band.min_rate, band.max_rate);
    return {ratio.value, ratio.confidence};
}

std::optional<VitalEstimate> first_accepted(EstimationContext& context, const VitalSpec& spec) {
    for (const EstimationMethod& method : spec.methods) {
        const std::optional<MethodWindow> window = method_window(context, method);
        if (!window) continue;
        const VitalEstimate estimate = evaluate(context, method, *window);
        if (method.min_value <= estimate.value && estimate.value <= method.max_value) {
            return estimate;
        }
    }
    return std::nullopt;
}

}  // namespace

VitalEstimates estimate_vitals(SessionCore& core, bool global) {
    EstimationContext context{
        core, global, MeansCache(core.signal_series), MeansCache(core.confidence_series), {}, {}};
    for (const std::string& id : core.vital_order) {
        if (auto estimate = first_accepted(context, core.vital_specs.at(id))) {
            context.estimates.insert_or_assign(id, *estimate);
        }
    }
    return std::move(context.estimates);
}

std::unordered_map<std::string, VitalResult> assemble_vitals(const VitalEstimates& estimates,
                                                             const SessionCore& core, bool global) {
    std::unordered_map<std::string, VitalResult> vitals;
    for (const std::string& id : core.vital_order) {
        const auto estimate = estimates.find(id);
        if (estimate == estimates.end()) continue;
        const VitalSpec& spec = core.vital_specs.at(id);
        vitals.insert_or_assign(
            id, VitalResult{estimate->second.value, estimate->second.confidence, spec.unit,
                            estimate_note(global, spec.display_name, "confidence score",
                                          core.config.model_name)});
    }
    return vitals;
}

std::string estimate_note(bool global, std::string_view display_name, std::string_view what,
                          std::string_view model_name) {
    std::string note = global ? "Global estimate of " : "Latest estimate of ";
    note.append(display_name).append(" with ").append(what).append(" using ");
    note.append(model_name).append(".");
    return note;
}

}  // namespace quorvanta
