// SPDX-License-Identifier: Apache-2.0
#include "report.h"

#include <algorithm>
#include <cmath>
#include <iomanip>
#include <limits>
#include <map>
#include <sstream>
#include <utility>
#include <variant>

#include "json_writer.h"
#include "registry/registry.h"
#include "state/session_core.h"
#include "types/fields.h"

namespace quorvanta::cli {
namespace {

constexpr double kDefaultWindow = 10.0;  // seconds, for vitals whose methods set none
constexpr double kMarkedShare = 0.1;     // a checked value this far off the session's is starred

const std::string& catalogue_id(const BatchVital& vital) {
    static const std::vector<std::string> ids(vital_ids().begin(), vital_ids().end());
    return ids[vital.vital];
}

std::string short_name(const std::string& id) {
    const auto info = get_vital_info(id);
    return info ? info->short_name : id;
}

// A record's fields under their interface names.
template <NamedRecord T, std::size_t... I>
nlohmann::json record_json(const T& record, std::index_sequence<I...> /*fields*/) {
    nlohmann::json json = nlohmann::json::object();
    ((json[std::string(Fields<T>::kNames[I])] = record.*kMember<T, I>), ...);
    return json;
}

template <NamedRecord T>
nlohmann::json record_json(const T& record) {
    return record_json(record, std::make_index_sequence<Fields<T>::kFieldCount>{});
}

nlohmann::json vital_json(const VitalResult& vital, const std::optional<VitalCheck>& check) {
    nlohmann::json json = record_json(vital);
    if (check) {
        json["checked_value"] = check->checked_value;
        json["quality"] = check->quality;
        json["reasons"] = check->reason_names();
    }
    return json;
}

nlohmann::json beats_json(const GatheredBeats& beats) {
    nlohmann::json status = nlohmann::json::array();
    for (const BeatStatus s : beats.status)
        status.push_back(Variants<BeatStatus>::kVariants[static_cast<std::size_t>(s)]);
    return {{"times", beats.times}, {"status", std::move(status)}};
}

// The checked value, starred where it is more than kMarkedShare away from the session's value.
std::string checked_cell(const VitalRow& row) {
    if (!row.check) return "-";
    const std::string checked = fixed(row.check->checked_value, 2);
    const double apart = std::fabs(row.check->checked_value - row.result.value);
    return apart > kMarkedShare * std::fabs(row.result.value) ? checked + " *" : checked;
}

std::string reasons_cell(const VitalRow& row) {
    if (!row.check || row.check->reasons == 0) return "-";
    return row.check->reasons_text();
}

nlohmann::json batch_json(const Recording& recording, const Analysis& analysis,
                          const BatchSummary& batch) {
    nlohmann::json vitals = nlohmann::json::object();
    for (const BatchVital& vital : batch.vitals)
        vitals[catalogue_id(vital)] = vital_json(analysis.vital_result(vital), vital.check);
    return {{"first_timestamp", recording.timestamps[batch.first_frame]},
            {"last_timestamp", recording.timestamps[batch.last_frame]},
            {"frames", batch.frames},
            {"fps", batch.fps},
            {"message", analysis.texts[batch.message]},
            {"vitals", vitals}};
}

nlohmann::json waveforms_json(const Analysis& analysis) {
    nlohmann::json waveforms = nlohmann::json::object();
    for (const auto& [id, waveform] : analysis.waveforms) {
        nlohmann::json data = nlohmann::json::array();
        nlohmann::json confidence = nlohmann::json::array();
        for (const WaveformSample& sample : waveform.frames.samples) {
            data.push_back(sample.value);
            confidence.push_back(sample.confidence);
        }
        waveforms[id] = {{"timestamp", waveform.frames.timestamps},
                         {"data", std::move(data)},
                         {"confidence", std::move(confidence)},
                         {"unprocessed_frames", waveform.unprocessed},
                         {"unit", waveform.unit},
                         {"note", waveform.note}};
    }
    return waveforms;
}

nlohmann::json face_json(const Analysis& analysis) {
    nlohmann::json track = {{"timestamp", nlohmann::json::array()},
                            {"coordinates", nlohmann::json::array()},
                            {"confidence", nlohmann::json::array()}};
    if (!analysis.face) return track;
    track["timestamp"] = analysis.face->timestamps;
    for (const FaceSample& sample : analysis.face->samples) {
        track["coordinates"].push_back(sample.box);
        track["confidence"].push_back(sample.confidence);
    }
    return track;
}

}  // namespace

std::string fixed(double value, int decimals) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(decimals) << value;
    return text.str();
}

void print_aligned(std::ostream& out, const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()));
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    }
    for (const auto& row : rows) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            line += row[i];
            if (i + 1 < row.size()) line += std::string(widths[i] - row[i].size() + 2, ' ');
        }
        out << line << '\n';
    }
}

double truth_window(const Analysis& analysis, const std::string& vital) {
    if (std::holds_alternative<waveform_mode::Global>(analysis.waveform_mode))
        return std::numeric_limits<double>::infinity();
    const auto spec = lookup_vital(vital);
    if (!spec || spec->methods.empty() || !(spec->methods.front().max_seconds > 0)) {
        return kDefaultWindow;
    }
    return spec->methods.front().max_seconds;
}

double batch_time(const Recording& recording, const BatchSummary& batch) {
    return recording.timestamps[batch.last_frame];
}

namespace {

// Why the last batch has no estimate of `spec`: too little history for any of its methods that
// the recording feeds, or none of them gave a value in its range.
std::string missing_reason(const Recording& recording, const VitalSpec& spec, double held) {
    float needed = std::numeric_limits<float>::infinity();
    for (const EstimationMethod& method : spec.methods) {
        const bool fed =
            std::all_of(method.signals.begin(), method.signals.end(), [&](const std::string& id) {
                return std::ranges::find(recording.signals, id, &RecordedSignal::id) !=
                       recording.signals.end();
            });
        if (fed) needed = std::min(needed, method.min_seconds);
    }
    if (held < needed) {
        return "no estimate: not enough history (" + fixed(held, 1) + " s of the " +
               fixed(needed, 1) + " s it needs)";
    }
    return "no estimate in range";
}

// Rows for the configured vitals that the last batch has no estimate of.
void add_missing_vitals(const Recording& recording, const Analysis& analysis,
                        std::vector<VitalRow>& rows) {
    const auto span = time_span(recording);
    const double held = span
                            ? std::min(batch_time(recording, analysis.batches.back()) - span->first,
                                       static_cast<double>(kHistorySeconds))
                            : 0;
    for (const std::string& id : analysis.config.supported_vitals) {
        const auto spec = lookup_vital(id);
        if (!spec || spec->methods.empty() ||
            std::ranges::find(rows, spec->id, &VitalRow::id) != rows.end()) {
            continue;
        }
        rows.push_back(
            {spec->id, {}, std::nullopt, std::nullopt, missing_reason(recording, *spec, held)});
    }
}

}  // namespace

std::vector<VitalRow> final_vitals(const Recording& recording, const Analysis& analysis,
                                   const Truth* truth) {
    if (analysis.batches.empty()) return {};
    const BatchSummary& last = analysis.batches.back();
    const double end = batch_time(recording, last);
    std::vector<VitalRow> rows;
    for (const BatchVital& vital : last.vitals) {
        VitalRow row{catalogue_id(vital), analysis.vital_result(vital), std::nullopt, vital.check,
                     std::nullopt};
        if (truth != nullptr)
            row.truth = truth->mean_over(row.id, end, truth_window(analysis, row.id));
        rows.push_back(std::move(row));
    }
    add_missing_vitals(recording, analysis, rows);
    return rows;
}

void print_vitals_table(std::ostream& out, const std::vector<VitalRow>& rows, bool with_truth) {
    std::vector<std::vector<std::string>> table;
    table.push_back({"Vital", "Value", "Unit", "Confidence", "Checked", "Quality"});
    if (with_truth) table.back().push_back("Truth");
    table.back().push_back("Checks");
    table.back().push_back("Note");
    bool starred = false;
    for (const VitalRow& row : rows) {
        if (row.missing) {
            std::vector<std::string> cells{
                get_vital_info(row.id)->display_name, "-", "-", "-", "-", "-"};
            if (with_truth) cells.emplace_back("-");
            cells.emplace_back("-");
            cells.push_back(*row.missing);
            table.push_back(std::move(cells));
            continue;
        }
        std::vector<std::string> cells{get_vital_info(row.id)->display_name,
                                       fixed(row.result.value, 2),
                                       row.result.unit,
                                       fixed(row.result.confidence, 2),
                                       checked_cell(row),
                                       row.check ? fixed(row.check->quality, 2) : "-"};
        starred = starred || cells[4].ends_with(" *");
        if (with_truth) cells.push_back(row.truth ? fixed(*row.truth, 2) : "-");
        cells.push_back(reasons_cell(row));
        cells.push_back(row.result.note);
        table.push_back(std::move(cells));
    }
    print_aligned(out, table);
    if (starred)
        out << "* more than 10% from the session's value; Checks names what the checks saw\n";
}

void print_timeline(std::ostream& out, const Recording& recording, const Analysis& analysis) {
    std::vector<bool> present(vital_ids().size(), false);
    for (const BatchSummary& batch : analysis.batches) {
        for (const BatchVital& vital : batch.vitals)
            present[vital.vital] = true;
    }
    std::vector<std::vector<std::string>> table;
    table.push_back({"Time (s)", "Frames"});
    for (std::size_t i = 0; i < present.size(); ++i) {
        if (present[i]) table.back().push_back(short_name(std::string(vital_ids()[i])));
    }
    for (const BatchSummary& batch : analysis.batches) {
        std::vector<std::string> cells{fixed(batch_time(recording, batch), 2),
                                       std::to_string(batch.frames)};
        auto vital = batch.vitals.begin();
        for (std::size_t i = 0; i < present.size(); ++i) {
            if (!present[i]) continue;
            const bool has = vital != batch.vitals.end() && vital->vital == i;
            cells.push_back(has ? fixed(vital->value, 2) : "-");
            if (has) ++vital;
        }
        table.push_back(std::move(cells));
    }
    print_aligned(out, table);
}

RecordingSummary summarize(const std::filesystem::path& file, const Recording& recording,
                           const Analysis& analysis) {
    RecordingSummary summary{
        file.string(), recording.frames(), std::nullopt, analysis.batches.size(), {}};
    if (const auto span = time_span(recording)) summary.seconds = span->seconds();
    std::vector<std::vector<float>> values(vital_ids().size());
    for (const BatchSummary& batch : analysis.batches) {
        for (const BatchVital& vital : batch.vitals)
            values[vital.vital].push_back(vital.value);
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        auto& v = values[i];
        if (v.empty()) continue;
        const auto middle = v.begin() + static_cast<std::ptrdiff_t>(v.size() / 2);
        std::nth_element(v.begin(), middle, v.end());
        double median = *middle;
        if (v.size() % 2 == 0) median = (median + *std::max_element(v.begin(), middle)) / 2;
        summary.vitals.push_back({static_cast<std::uint8_t>(i), median, v.size()});
    }
    return summary;
}

void print_recordings_table(std::ostream& out, const std::vector<RecordingSummary>& recordings) {
    std::vector<bool> present(vital_ids().size(), false);
    for (const RecordingSummary& recording : recordings) {
        for (const VitalSummary& vital : recording.vitals)
            present[vital.vital] = true;
    }
    std::vector<std::vector<std::string>> table;
    table.push_back({"Recording", "Frames", "Duration (s)", "Batches"});
    for (std::size_t i = 0; i < present.size(); ++i) {
        if (!present[i]) continue;
        const std::string name = short_name(std::string(vital_ids()[i]));
        table.back().insert(table.back().end(), {name, name + " %"});
    }
    for (const RecordingSummary& recording : recordings) {
        table.push_back({recording.file, std::to_string(recording.frames),
                         recording.seconds ? fixed(*recording.seconds, 1) : "-",
                         std::to_string(recording.batches)});
        auto vital = recording.vitals.begin();
        for (std::size_t i = 0; i < present.size(); ++i) {
            if (!present[i]) continue;
            const bool has = vital != recording.vitals.end() && vital->vital == i;
            const double share = has ? 100.0 * static_cast<double>(vital->estimated) /
                                           static_cast<double>(recording.batches)
                                     : 0.0;
            table.back().insert(table.back().end(),
                                {has ? fixed(vital->median, 2) : "-", fixed(share, 0)});
            if (has) ++vital;
        }
    }
    print_aligned(out, table);
}

void write_analysis_json(std::ostream& out, const Recording& recording, const Analysis& analysis,
                         const std::vector<VitalRow>& final_rows, JsonContent content) {
    const SessionConfig& config = analysis.config;
    const BufferConfig& buffers = analysis.buffers;
    nlohmann::json vitals = nlohmann::json::object();
    nlohmann::json missing = nlohmann::json::object();
    for (const VitalRow& row : final_rows) {
        if (row.missing) {
            missing[row.id] = *row.missing;
            continue;
        }
        nlohmann::json vital = vital_json(row.result, row.check);
        if (row.truth) vital["truth"] = *row.truth;
        vitals[row.id] = std::move(vital);
    }
    JsonObjectWriter document(out);
    document.array_member("batches", [&](const auto& add) {
        for (const BatchSummary& batch : analysis.batches)
            add(batch_json(recording, analysis, batch));
    });
    document.member("beats", beats_json(analysis.beats));
    document.member("buffers", {{"min_no_state", buffers.min_no_state},
                                {"min_with_state", buffers.min_with_state},
                                {"stream_max", buffers.stream_max},
                                {"file_max", buffers.file_max},
                                {"overlap", buffers.overlap}});
    document.member("config", {{"model_name", config.model_name},
                               {"supported_vitals", config.supported_vitals},
                               {"return_waveforms",
                                config.return_waveforms.value_or(std::vector<std::string>{})},
                               {"fps_target", config.fps_target},
                               {"input_size", config.input_size},
                               {"n_inputs", config.n_inputs}});
    document.member("dropped_frames", analysis.dropped_frames);
    if (content.face) document.member("face", face_json(analysis));
    document.member("frames", recording.frames());
    document.member("missing_vitals", missing);
    document.member("vitals", vitals);
    if (content.waveforms) document.member("waveforms", waveforms_json(analysis));
    document.finish();
}

}  // namespace quorvanta::cli
