// SPDX-License-Identifier: Apache-2.0
#include "report.h"

#include <algorithm>
#include <cstdio>
#include <iomanip>
#include <limits>
#include <sstream>
#include <variant>

#include "registry/registry.h"

namespace quorvanta::cli {
namespace {

constexpr double kDefaultWindow = 10.0;  // seconds, for vitals whose methods set none

std::string fixed(double value, int decimals) {
    std::ostringstream text;
    text << std::fixed << std::setprecision(decimals) << value;
    return text.str();
}

// Catalogue ids that occur among `present`, in catalogue order.
template <class Present>
std::vector<std::string> in_catalogue_order(const Present& present) {
    std::vector<std::string> ids;
    for (const std::string_view id : vital_ids()) {
        if (present.count(std::string(id)) != 0) ids.emplace_back(id);
    }
    return ids;
}

std::string display_name(const std::string& id) {
    const auto info = get_vital_info(id);
    return info ? info->display_name : id;
}

std::string short_name(const std::string& id) {
    const auto info = get_vital_info(id);
    return info ? info->short_name : id;
}

nlohmann::json vital_json(const VitalResult& vital) {
    return {{"value", vital.value},
            {"confidence", vital.confidence},
            {"unit", vital.unit},
            {"note", vital.note}};
}

nlohmann::json batch_json(const Recording& recording, const Batch& batch) {
    nlohmann::json vitals = nlohmann::json::object();
    for (const auto& [id, vital] : batch.result.vitals)
        vitals[id] = vital_json(vital);
    return {{"first_timestamp", recording.timestamps[batch.frames.front()]},
            {"last_timestamp", recording.timestamps[batch.frames.back()]},
            {"frames", batch.frames.size()},
            {"fps", batch.result.fps},
            {"message", batch.result.message},
            {"vitals", vitals}};
}

// The face track over the whole analysis: each returned frame's latest box.
nlohmann::json face_json(const Analysis& analysis) {
    std::map<double, std::pair<std::vector<float>, float>> frames;
    for (const Batch& batch : analysis.batches) {
        const auto& face = batch.result.face;
        if (!face) continue;
        const std::size_t count = std::min(
            {face->coordinates.size(), face->confidence.size(), batch.result.timestamp.size()});
        for (std::size_t i = 0; i < count; ++i) {
            frames.insert_or_assign(batch.result.timestamp[i],
                                    std::pair{face->coordinates[i], face->confidence[i]});
        }
    }
    nlohmann::json track = {{"timestamp", nlohmann::json::array()},
                            {"coordinates", nlohmann::json::array()},
                            {"confidence", nlohmann::json::array()}};
    for (const auto& [time, frame] : frames) {
        track["timestamp"].push_back(time);
        track["coordinates"].push_back(frame.first);
        track["confidence"].push_back(frame.second);
    }
    return track;
}

}  // namespace

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

std::map<std::string, CollectedWaveform> collect_waveforms(const Analysis& analysis) {
    struct Sample {
        float value;
        float confidence;
    };
    std::map<std::string, std::map<double, Sample>> samples;
    std::map<std::string, CollectedWaveform> waveforms;
    for (const Batch& batch : analysis.batches) {
        const SessionResult& result = batch.result;
        for (const auto& [id, waveform] : result.waveforms) {
            auto& series = samples[id];
            const std::size_t count = std::min(
                {result.timestamp.size(), waveform.data.size(), waveform.confidence.size()});
            for (std::size_t i = 0; i < count; ++i) {
                series.insert_or_assign(result.timestamp[i],
                                        Sample{waveform.data[i], waveform.confidence[i]});
            }
            waveforms[id].unit = waveform.unit;
            waveforms[id].note = waveform.note;
        }
    }
    for (const auto& [id, series] : samples) {
        CollectedWaveform& waveform = waveforms[id];
        for (const auto& [time, sample] : series) {
            waveform.timestamps.push_back(time);
            waveform.data.push_back(sample.value);
            waveform.confidence.push_back(sample.confidence);
        }
    }
    return waveforms;
}

double estimator_window(const std::string& vital) {
    const auto spec = lookup_vital(vital);
    if (!spec || spec->methods.empty() || !(spec->methods.front().max_seconds > 0)) {
        return kDefaultWindow;
    }
    return spec->methods.front().max_seconds;
}

double last_batch_time(const Recording& recording, const Analysis& analysis) {
    return recording.timestamps[analysis.batches.back().frames.back()];
}

std::vector<VitalRow> final_vitals(const Recording& recording, const Analysis& analysis,
                                   const Truth* truth) {
    if (analysis.batches.empty()) return {};
    const SessionResult& last = analysis.batches.back().result;
    const double end = last_batch_time(recording, analysis);
    const bool global = std::holds_alternative<waveform_mode::Global>(analysis.waveform_mode);
    std::vector<VitalRow> rows;
    for (const std::string& id : in_catalogue_order(last.vitals)) {
        VitalRow row{id, last.vitals.at(id), std::nullopt};
        if (truth != nullptr) {
            const double window =
                global ? std::numeric_limits<double>::infinity() : estimator_window(id);
            row.truth = truth->mean_over(id, end, window);
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void print_vitals_table(std::ostream& out, const std::vector<VitalRow>& rows, bool with_truth) {
    std::vector<std::vector<std::string>> table;
    table.push_back({"Vital", "Value", "Unit", "Confidence"});
    if (with_truth) table.back().push_back("Truth");
    table.back().push_back("Note");
    for (const VitalRow& row : rows) {
        std::vector<std::string> cells{display_name(row.id), fixed(row.result.value, 2),
                                       row.result.unit, fixed(row.result.confidence, 2)};
        if (with_truth) cells.push_back(row.truth ? fixed(*row.truth, 2) : "-");
        cells.push_back(row.result.note);
        table.push_back(std::move(cells));
    }
    print_aligned(out, table);
}

void print_timeline(std::ostream& out, const Recording& recording, const Analysis& analysis) {
    std::map<std::string, bool> present;
    for (const Batch& batch : analysis.batches) {
        for (const auto& entry : batch.result.vitals)
            present[entry.first] = true;
    }
    const std::vector<std::string> ids = in_catalogue_order(present);
    std::vector<std::vector<std::string>> table;
    table.push_back({"Time (s)", "Frames"});
    for (const std::string& id : ids)
        table.back().push_back(short_name(id));
    for (const Batch& batch : analysis.batches) {
        std::vector<std::string> cells{fixed(recording.timestamps[batch.frames.back()], 2),
                                       std::to_string(batch.frames.size())};
        for (const std::string& id : ids) {
            const auto found = batch.result.vitals.find(id);
            cells.push_back(found == batch.result.vitals.end() ? "-"
                                                               : fixed(found->second.value, 2));
        }
        table.push_back(std::move(cells));
    }
    print_aligned(out, table);
}

nlohmann::json analysis_json(const Recording& recording, const Analysis& analysis,
                             const std::vector<VitalRow>& final_rows, JsonContent content) {
    const SessionConfig& config = analysis.config;
    const BufferConfig& buffers = analysis.buffers;
    nlohmann::json document = {
        {"frames", recording.frames()},
        {"config",
         {{"model_name", config.model_name},
          {"supported_vitals", config.supported_vitals},
          {"return_waveforms", config.return_waveforms.value_or(std::vector<std::string>{})},
          {"fps_target", config.fps_target},
          {"input_size", config.input_size},
          {"n_inputs", config.n_inputs}}},
        {"buffers",
         {{"min_no_state", buffers.min_no_state},
          {"min_with_state", buffers.min_with_state},
          {"stream_max", buffers.stream_max},
          {"file_max", buffers.file_max},
          {"overlap", buffers.overlap}}},
        {"dropped_frames", analysis.dropped_frames},
        {"batches", nlohmann::json::array()},
        {"vitals", nlohmann::json::object()}};
    for (const Batch& batch : analysis.batches) {
        document["batches"].push_back(batch_json(recording, batch));
    }
    for (const VitalRow& row : final_rows) {
        nlohmann::json vital = vital_json(row.result);
        if (row.truth) vital["truth"] = *row.truth;
        document["vitals"][row.id] = std::move(vital);
    }
    if (content.waveforms) {
        nlohmann::json waveforms = nlohmann::json::object();
        for (const auto& [id, waveform] : collect_waveforms(analysis)) {
            waveforms[id] = {{"timestamp", waveform.timestamps},
                             {"data", waveform.data},
                             {"confidence", waveform.confidence},
                             {"unit", waveform.unit},
                             {"note", waveform.note}};
        }
        document["waveforms"] = std::move(waveforms);
    }
    if (content.face) document["face"] = face_json(analysis);
    return document;
}

}  // namespace quorvanta::cli
