// SPDX-License-Identifier: Apache-2.0
// The built-in catalogue of vitals and waveforms: canonical identifiers, display texts, the
// methods that estimate each scalar vital and the processing of each returned waveform.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "types/records.h"

namespace quorvanta {

// How an estimation method turns its input signals into a value.
enum class MethodKind : std::uint8_t {
    Periodogram = 0,
    PeakDetection = 1,
    Hrv = 2,
    Mean = 3,
    PeakMean = 4,
    TroughMean = 5,
    PeakTroughSpan = 6,
    Difference = 7,
    MeanArterial = 8,
    IeRatio = 9,
};

// Post-processing applied to a returned waveform.
enum class Postprocess : std::uint8_t {
    None = 0,
    Detrend = 1,
    Smooth = 2,
    Normalize = 3,
    SmoothNormalize = 4,
    DetrendSmoothNormalize = 5,
};

// Baseline treatment of a waveform: the session's default, a high-pass cutoff, or none at all.
namespace detrend {
struct Default {
    bool operator==(const Default&) const = default;
};
struct Cutoff {
    float hz = 0;
    bool operator==(const Cutoff&) const = default;
};
struct Raw {
    bool operator==(const Raw&) const = default;
};
}  // namespace detrend
using Detrend = std::variant<detrend::Default, detrend::Cutoff, detrend::Raw>;

// One way to estimate a scalar vital. Fields that a method kind does not use are 0.
struct EstimationMethod {
    std::vector<std::string> signals;  // keys of SessionInput.signals that the method reads
    MethodKind method = MethodKind::Periodogram;
    std::uint8_t selector = 0;  // Hrv: the metric; PeakDetection: refine flag in bit 0
    float param = 0;            // Periodogram: resolution in Hz; PeakDetection: refractory fraction
    float min_seconds = 0;      // shortest history on which the method runs
    float max_seconds = 0;      // longest history that the method analyses
    float min_value = 0;        // lowest accepted estimate
    float max_value = 0;        // highest accepted estimate
    std::uint8_t stage = 0;     // evaluation stage; vitals run in ascending stage
    bool operator==(const EstimationMethod&) const = default;
};

// The catalogue record of one vital. For Raw detrend the waveform fields are absent or 0.
struct VitalSpec {
    std::string id;
    std::vector<EstimationMethod>
        methods;  // in the order the session tries them; empty for waveforms
    std::string unit;
    std::string display_name;
    std::string short_name;
    std::string color;  // "#" and six upper-case hexadecimal digits
    std::string emoji;  // UTF-8
    Detrend detrend = detrend::Raw{};
    std::optional<float> smoothing_cutoff;  // Hz
    float min_seconds = 0;                  // history needed before the waveform is processed
    Postprocess postprocess = Postprocess::None;
    bool scalar_only = false;  // never offered as a waveform
    bool operator==(const VitalSpec&) const = default;
};

// A fresh copy of the record that `name` (a canonical identifier or an alias, matched exactly and
// case-sensitively) names, or nothing. The record always carries the canonical identifier.
std::optional<VitalSpec> lookup_vital(std::string_view name);

// The plausible range of a rate vital: the bounds of its first method (heart_rate 40 to 220,
// respiratory_rate 3 to 60 per minute); (0, 0) for an unknown id or a vital without methods.
struct RateBand {
    float min_rate = 0;
    float max_rate = 0;
};
RateBand rate_band(std::string_view vital_id);

// The display data of the vital that `vital_id` names, matched as by lookup_vital.
std::optional<VitalDisplayMeta> get_vital_info(std::string_view vital_id);

// The canonical identifiers of the catalogue, in catalogue order.
std::span<const std::string_view> vital_ids();

// The aliases that name the vital with canonical identifier `id`, in alias-table order.
std::vector<std::string_view> vital_aliases(std::string_view id);

}  // namespace quorvanta
