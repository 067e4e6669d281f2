// SPDX-License-Identifier: Apache-2.0
// The vital catalogue as constant tables, copied into owned records on each lookup.
//
// Lookup compares the whole name byte for byte, case-sensitively, first with the canonical
// identifiers and then with the aliases; there is no trimming or case folding, and any other text
// (including the empty one) finds nothing. Numbers in the tables are the nearest f32 values.
#include "registry/registry.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <iterator>
#include <utility>

namespace quorvanta {
namespace {

struct MethodRow {
    std::span<const std::string_view> signals;
    MethodKind method;
    std::uint8_t selector;
    float param;
    float min_seconds;
    float max_seconds;
    float min_value;
    float max_value;
    std::uint8_t stage;
};

// How the session returns the vital: its waveform processing, or scalar_only for vitals that are
// never returned as a waveform.
struct OutputRow {
    Detrend detrend;
    std::optional<float> smoothing_cutoff;
    float min_seconds;
    Postprocess postprocess;
    bool scalar_only;
};

struct VitalRow {
    std::string_view id;
    std::string_view display_name;
    std::string_view short_name;
    std::string_view unit;
    std::string_view color;
    std::string_view emoji;
    std::span<const MethodRow> methods;
    OutputRow output;
};

struct Alias {
    std::string_view name;
    std::string_view id;
};

// Emoji as UTF-8; U+FE0F selects the emoji presentation of the preceding code point.
constexpr std::string_view kRedHeart = "\xE2\x9D\xA4\xEF\xB8\x8F";     // U+2764 U+FE0F
constexpr std::string_view kLungs = "\xF0\x9F\xAB\x81";                // U+1FAC1
constexpr std::string_view kBubbles = "\xF0\x9F\xAB\xA7";              // U+1FAE7
constexpr std::string_view kBeatingHeart = "\xF0\x9F\x92\x93";         // U+1F493
constexpr std::string_view kHighVoltage = "\xE2\x9A\xA1\xEF\xB8\x8F";  // U+26A1 U+FE0F
constexpr std::string_view kDropOfBlood = "\xF0\x9F\xA9\xB8";          // U+1FA78

constexpr std::string_view kPpg[] = {"ppg_waveform"};
constexpr std::string_view kResp[] = {"respiratory_waveform"};
constexpr std::string_view kAbp[] = {"abp_waveform"};
constexpr std::string_view kSpo2[] = {"spo2"};
constexpr std::string_view kSbp[] = {"sbp"};
constexpr std::string_view kDbp[] = {"dbp"};
constexpr std::string_view kSbpAndDbp[] = {"sbp", "dbp"};

using enum MethodKind;

// Columns: signals, method, selector, param, min/max seconds, min/max value, stage. Hrv selectors:
// 0 SDNN, 1 RMSSD, 2 LF/HF, 3 stress index, 4 pNN50, 5 SD1/SD2.
constexpr MethodRow kHeartRate[] = {{kPpg, Periodogram, 0, 0.005f, 5.0f, 10.0f, 40.0f, 220.0f, 0}};
constexpr MethodRow kRespiratoryRate[] = {
    {kResp, Periodogram, 0, 0.01f, 10.0f, 30.0f, 3.0f, 60.0f, 0}};
constexpr MethodRow kSpo2Methods[] = {{kSpo2, Mean, 0, 0.0f, 1.0f, 5.0f, 70.0f, 100.0f, 0}};
constexpr MethodRow kSdnn[] = {{kPpg, Hrv, 0, 0.0f, 20.0f, 120.0f, 1.0f, 200.0f, 1}};
constexpr MethodRow kRmssd[] = {{kPpg, Hrv, 1, 0.0f, 20.0f, 60.0f, 1.0f, 200.0f, 1}};
constexpr MethodRow kLfHf[] = {{kPpg, Hrv, 2, 0.0f, 55.0f, 120.0f, 0.0f, 10.0f, 1}};
constexpr MethodRow kStressIndex[] = {{kPpg, Hrv, 3, 0.0f, 55.0f, 120.0f, 0.0f, 1000.0f, 1}};
constexpr MethodRow kPnn50[] = {{kPpg, Hrv, 4, 0.0f, 30.0f, 60.0f, 0.0f, 100.0f, 1}};
constexpr MethodRow kSd1Sd2[] = {{kPpg, Hrv, 5, 0.0f, 55.0f, 120.0f, 0.0f, 1.0f, 1}};
constexpr MethodRow kIeRatio[] = {{kResp, IeRatio, 0, 0.0f, 15.0f, 30.0f, 0.2f, 5.0f, 1}};
constexpr MethodRow kSbpMethods[] = {{kAbp, PeakMean, 0, 0.0f, 5.0f, 10.0f, 60.0f, 200.0f, 1},
                                     {kSbp, Mean, 0, 0.0f, 5.0f, 10.0f, 60.0f, 200.0f, 1}};
constexpr MethodRow kDbpMethods[] = {{kAbp, TroughMean, 0, 0.0f, 5.0f, 10.0f, 40.0f, 120.0f, 1},
                                     {kDbp, Mean, 0, 0.0f, 5.0f, 10.0f, 40.0f, 120.0f, 1}};
constexpr MethodRow kMap[] = {{kAbp, Mean, 0, 0.0f, 5.0f, 10.0f, 40.0f, 200.0f, 1},
                              {kSbpAndDbp, MeanArterial, 0, 0.0f, 5.0f, 10.0f, 40.0f, 200.0f, 2}};
constexpr MethodRow kPulsePressure[] = {
    {kAbp, PeakTroughSpan, 0, 0.0f, 5.0f, 10.0f, 10.0f, 100.0f, 1},
    {kSbpAndDbp, Difference, 0, 0.0f, 5.0f, 10.0f, 10.0f, 100.0f, 2}};

constexpr std::span<const MethodRow> kNoMethods{};
constexpr OutputRow kScalarOnly{detrend::Raw{}, std::nullopt, 0.0f, Postprocess::None, true};
constexpr OutputRow kRawWaveform{detrend::Raw{}, std::nullopt, 0.0f, Postprocess::None, false};
constexpr OutputRow kPpgWaveform{detrend::Cutoff{0.67f}, 3.67f, 5.0f, Postprocess::SmoothNormalize,
                                 false};
constexpr OutputRow kRespWaveform{detrend::Cutoff{0.05f}, 1.0f, 10.0f, Postprocess::SmoothNormalize,
                                  false};
constexpr OutputRow kAbpWaveform{detrend::Default{}, std::nullopt, 5.0f, Postprocess::None, false};

// Columns: id, display name, short name, unit, colour, emoji, methods, output.
constexpr VitalRow kVitals[] = {
    {"heart_rate", "Heart Rate", "HR", "bpm", "#E62100", kRedHeart, kHeartRate, kScalarOnly},
    {"respiratory_rate", "Respiratory Rate", "RR", "bpm", "#00A3FC", kLungs, kRespiratoryRate,
     kScalarOnly},
    {"spo2", "SpO2", "SpO2", "%", "#00C7BE", kBubbles, kSpo2Methods, kRawWaveform},
    {"hrv_sdnn", "Heart Rate Variability (SDNN)", "SDNN", "ms", "#D81BA7", kBeatingHeart, kSdnn,
     kScalarOnly},
    {"hrv_rmssd", "Heart Rate Variability (RMSSD)", "RMSSD", "ms", "#D81BA7", kBeatingHeart, kRmssd,
     kScalarOnly},
    {"hrv_lfhf", "Heart Rate Variability (LF/HF)", "LF/HF", "ratio", "#D81BA7", kBeatingHeart,
     kLfHf, kScalarOnly},
    {"hrv_pnn50", "Heart Rate Variability (pNN50)", "pNN50", "%", "#D81BA7", kBeatingHeart, kPnn50,
     kScalarOnly},
    {"hrv_sd1sd2", "Heart Rate Variability (SD1/SD2)", "SD1/SD2", "ratio", "#D81BA7", kBeatingHeart,
     kSd1Sd2, kScalarOnly},
    {"stress_index", "Stress Index", "SI", "SI", "#FF8A00", kHighVoltage, kStressIndex,
     kScalarOnly},
    {"ie_ratio", "I:E Ratio", "I:E", "ratio", "#00A3FC", kLungs, kIeRatio, kScalarOnly},
    {"sbp", "Systolic Blood Pressure", "SBP", "mmHg", "#7B61FF", kDropOfBlood, kSbpMethods,
     kScalarOnly},
    {"dbp", "Diastolic Blood Pressure", "DBP", "mmHg", "#7B61FF", kDropOfBlood, kDbpMethods,
     kScalarOnly},
    {"map", "Mean Arterial Pressure", "MAP", "mmHg", "#7B61FF", kDropOfBlood, kMap, kScalarOnly},
    {"pulse_pressure", "Pulse Pressure", "PP", "mmHg", "#7B61FF", kDropOfBlood, kPulsePressure,
     kScalarOnly},
    {"ppg_waveform", "PPG Waveform", "PPG", "unitless", "#E62100", kRedHeart, kNoMethods,
     kPpgWaveform},
    {"respiratory_waveform", "Resp Waveform", "RESP", "unitless", "#00A3FC", kLungs, kNoMethods,
     kRespWaveform},
    {"abp_waveform", "ABP Waveform", "ABP", "mmHg", "#7B61FF", kDropOfBlood, kNoMethods,
     kAbpWaveform},
};

constexpr Alias kAliases[] = {
    {"hr", "heart_rate"},
    {"pulse", "heart_rate"},
    {"rr", "respiratory_rate"},
    {"resp_rate", "respiratory_rate"},
    {"sdnn", "hrv_sdnn"},
    {"rmssd", "hrv_rmssd"},
    {"lfhf", "hrv_lfhf"},
    {"pnn50", "hrv_pnn50"},
    {"sd1sd2", "hrv_sd1sd2"},
    {"si", "stress_index"},
    {"resp_ie", "ie_ratio"},
    {"bp_sys", "sbp"},
    {"systolic", "sbp"},
    {"bp_dia", "dbp"},
    {"diastolic", "dbp"},
    {"mean_arterial_pressure", "map"},
    {"pp", "pulse_pressure"},
    {"ppg", "ppg_waveform"},
    {"resp", "respiratory_waveform"},
    {"resp_waveform", "respiratory_waveform"},
};

constexpr auto kVitalIds = [] {
    std::array<std::string_view, std::size(kVitals)> ids{};
    for (std::size_t i = 0; i < ids.size(); ++i)
        ids[i] = kVitals[i].id;
    return ids;
}();

const VitalRow* find_by_id(std::string_view id) {
    const auto* row = std::find_if(std::begin(kVitals), std::end(kVitals),
                                   [&](const VitalRow& r) { return r.id == id; });
    return row == std::end(kVitals) ? nullptr : row;
}

// The row that `name` names, as a canonical identifier or as an alias.
const VitalRow* find_by_name(std::string_view name) {
    if (const VitalRow* row = find_by_id(name)) return row;
    const auto* alias = std::find_if(std::begin(kAliases), std::end(kAliases),
                                     [&](const Alias& a) { return a.name == name; });
    return alias == std::end(kAliases) ? nullptr : find_by_id(alias->id);
}

EstimationMethod to_method(const MethodRow& row) {
    return {{row.signals.begin(), row.signals.end()},
            row.method,
            row.selector,
            row.param,
            row.min_seconds,
            row.max_seconds,
            row.min_value,
            row.max_value,
            row.stage};
}

VitalSpec to_record(const VitalRow& row) {
    std::vector<EstimationMethod> methods;
    methods.reserve(row.methods.size());
    std::transform(row.methods.begin(), row.methods.end(), std::back_inserter(methods), to_method);
    const OutputRow& output = row.output;
    return {std::string(row.id),         std::move(methods),
            std::string(row.unit),       std::string(row.display_name),
            std::string(row.short_name), std::string(row.color),
            std::string(row.emoji),      output.detrend,
            output.smoothing_cutoff,     output.min_seconds,
            output.postprocess,          output.scalar_only};
}

VitalDisplayMeta to_meta(const VitalRow& row) {
    return {std::string(row.id),   std::string(row.display_name), std::string(row.short_name),
            std::string(row.unit), std::string(row.color),        std::string(row.emoji)};
}

}  // namespace

std::optional<VitalSpec> lookup_vital(std::string_view name) {
    const VitalRow* row = find_by_name(name);
    if (row == nullptr) return std::nullopt;
    return to_record(*row);
}

RateBand rate_band(std::string_view vital_id) {
    const VitalRow* row = find_by_name(vital_id);
    if (row == nullptr || row->methods.empty()) return {};
    return {row->methods.front().min_value, row->methods.front().max_value};
}

std::optional<VitalDisplayMeta> get_vital_info(std::string_view vital_id) {
    const VitalRow* row = find_by_name(vital_id);
    if (row == nullptr) return std::nullopt;
    return to_meta(*row);
}

std::vector<std::string_view> vital_aliases(std::string_view id) {
    std::vector<std::string_view> aliases;
    for (const Alias& alias : kAliases) {
        if (alias.id == id) aliases.push_back(alias.name);
    }
    return aliases;
}

std::span<const std::string_view> vital_ids() {
    return kVitalIds;
}

}  // namespace quorvanta
