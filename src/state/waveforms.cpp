// SPDX-License-Identifier: Apache-2.0
#include "state/waveforms.h"

#include <variant>
#include <vector>

#include "signal/filters.h"
#include "state/vitals.h"
#include "types/numeric.h"

namespace quorvanta {
namespace {

constexpr float kDefaultDetrendCutoff = 0.5f;    // Hz, for waveforms without their own
constexpr float kDefaultSmoothingCutoff = 3.0f;  // Hz, for waveforms without their own

float detrend_cutoff(const Detrend& detrend) {
    const auto* cutoff = std::get_if<detrend::Cutoff>(&detrend);
    return cutoff ? cutoff->hz : kDefaultDetrendCutoff;
}

std::vector<float> postprocess(std::vector<float> values, const VitalSpec& spec, float fs) {
    const auto smooth = [&](const std::vector<float>& v) {
        const float cutoff = spec.smoothing_cutoff.value_or(kDefaultSmoothingCutoff);
        return moving_average(v, smoothing_window_length(cutoff, fs));
    };
    const auto detrend = [&](const std::vector<float>& v) {
        return detrend_signal(v, fs, detrend_cutoff(spec.detrend));
    };
    switch (spec.postprocess) {
        case Postprocess::None:
            return values;
        case Postprocess::Detrend:
            return detrend(values);
        case Postprocess::Smooth:
            return smooth(values);
        case Postprocess::Normalize:
            return standardize(values);
        case Postprocess::SmoothNormalize:
            return standardize(smooth(values));
        case Postprocess::DetrendSmoothNormalize:
            break;
    }
    return standardize(smooth(detrend(values)));
}

std::vector<float> tail_from(const std::vector<float>& values, std::size_t start) {
    if (values.size() <= start) return {};
    return {values.begin() + static_cast<std::ptrdiff_t>(start), values.end()};
}

std::optional<WaveformResult> build_waveform(const SessionCore& core, const std::string& id,
                                             std::size_t start, float fs_history, bool global) {
    const std::optional<VitalSpec> spec = lookup_vital(id);
    if (!spec || spec->scalar_only) return std::nullopt;
    const auto series = core.signal_series.find(id);
    if (series == core.signal_series.end()) return std::nullopt;

    std::vector<float> values = series->second.values();
    if (waveform_processed(*spec, values.size(), fs_history)) {
        values = postprocess(std::move(values), *spec, fs_history);
    }
    WaveformResult waveform;
    waveform.data = tail_from(values, start);
    if (waveform.data.empty()) return std::nullopt;
    const auto confidence = core.confidence_series.find(id);
    waveform.confidence = confidence == core.confidence_series.end()
                              ? std::vector<float>(waveform.data.size(), 1.0f)
                              : tail_from(confidence->second.values(), start);
    waveform.unit = spec->unit;
    waveform.note = estimate_note(global, spec->display_name, "frame-wise confidence scores",
                                  core.config.model_name);
    return waveform;
}

}  // namespace

bool waveform_processed(const VitalSpec& spec, std::size_t samples, float fs_history) {
    if (std::holds_alternative<detrend::Raw>(spec.detrend)) return false;
    return samples >= saturating_cast<std::uint64_t>(fs_history * spec.min_seconds);
}

std::unordered_map<std::string, WaveformResult> build_waveforms(const SessionCore& core,
                                                                std::size_t start, bool global) {
    std::unordered_map<std::string, WaveformResult> waveforms;
    if (!core.config.return_waveforms) return waveforms;
    const float fs_history = frame_rate(core.timestamps, core.config.fps_target);
    for (const std::string& id : *core.config.return_waveforms) {
        if (auto waveform = build_waveform(core, id, start, fs_history, global)) {
            waveforms.insert_or_assign(id, std::move(*waveform));
        }
    }
    return waveforms;
}

}  // namespace quorvanta
