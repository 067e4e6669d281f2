// SPDX-License-Identifier: Apache-2.0
#include "golden_outputs.h"

#include <algorithm>
#include <bit>
#include <cctype>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "geometry/roi.h"
#include "recording/recording.h"
#include "registry/registry.h"
#include "signal/hrv.h"
#include "signal/peaks.h"
#include "signal/rate.h"
#include "state/session.h"

namespace quorvanta::golden {
namespace {

constexpr float kFs = 30.0f;

std::vector<float> prefix(const std::vector<float>& values, std::size_t count) {
    return {values.begin(), values.begin() + static_cast<std::ptrdiff_t>(count)};
}

// Every `step`-th value.
std::vector<float> sampled(const std::vector<float>& values, std::size_t step) {
    std::vector<float> picked;
    for (std::size_t i = 0; i < values.size(); i += step)
        picked.push_back(values[i]);
    return picked;
}

// Calls of the functions that every door exports, each named as the doors' tests make it:
// "function:argument=value,...", numbers in decimal, a tuple as values joined by '/'. Arguments
// left out take the function's defaults; the detector and metric names, which are
// case-insensitive, are given in mixed case. `signal` and `confidence` are the first `frames`
// frames of the sample's PPG. Each option but the default detector changes the result of its call.
constexpr const char* kDoorCalls[] = {
    "estimate_heart_rate:frames=300,fs=29.97",
    "find_peaks:frames=1800,fs=30,refine=true",
    "find_peaks:frames=1800,fs=25,refine=false,rate_hint=72",
    "find_peaks:frames=1800,fs=29.97,refine=true,min_rate=55,max_rate=150,"
    "detection_threshold=0.3,window_cycles=4",
    "find_peaks:frames=1800,fs=30,refine=false,rate_hint=66,max_rate_change=3",
    "estimate_hrv_metric:frames=1800,fs=30,metric_name=HRV_SDNN",
    "estimate_hrv_metric:frames=1800,fs=30,metric_name=RMSSD,rate_hint=72",
    "estimate_hrv_metric:frames=1800,fs=30,metric_name=hrv_LfHf",
    "estimate_hrv_metric:frames=1800,fs=30,metric_name=Si,rate_hint=72.5",
    "calculate_roi:face=10.3/5.5/101.7/99.1,method=face",
    "calculate_roi:face=10.3/5.5/101.7/99.1,method=forehead,detector=Default,force_even=true",
    "calculate_roi:face=10.3/5.5/101.7/99.1,method=upper_body,detector=Apple_Vision",
    "calculate_roi:face=10.3/5.5/101.7/99.1,method=upper_body_cropped,detector=APPLEVISION,"
    "container=640/480",
    "calculate_roi:face=10.3/5.5/101.7/99.1,method=0.1/0.2/-0.3/0.4,detector=vision,"
    "container=150.5/130,force_even=true",
};

// A call's arguments: each value's text by name.
using CallArguments = std::map<std::string, std::string, std::less<>>;

CallArguments call_arguments(std::string_view text) {
    CallArguments arguments;
    for (std::size_t end = 0, at = 0; end != std::string_view::npos; at = end + 1) {
        end = text.find(',', at);
        const std::string_view pair = text.substr(at, end - at);
        arguments.emplace(pair.substr(0, pair.find('=')), pair.substr(pair.find('=') + 1));
    }
    return arguments;
}

// The value's '/'-separated numbers, each read as a double and narrowed as the doors narrow it;
// none for an argument left out.
std::vector<float> numbers(const CallArguments& arguments, std::string_view name) {
    const auto found = arguments.find(name);
    std::istringstream parts(found == arguments.end() ? "" : found->second);
    std::vector<float> values;
    for (std::string part; std::getline(parts, part, '/');)
        values.push_back(static_cast<float>(std::stod(part)));
    return values;
}

std::optional<float> number(const CallArguments& arguments, std::string_view name) {
    const std::vector<float> values = numbers(arguments, name);
    return values.empty() ? std::nullopt : std::optional(values[0]);
}

std::string lowered(std::string text) {
    std::ranges::transform(text, text.begin(), [](char c) { return char(std::tolower(c)); });
    return text;
}

std::vector<float> door_call(std::string_view function, const CallArguments& arguments,
                             const RecordedSignal& ppg) {
    const auto frames = static_cast<std::size_t>(number(arguments, "frames").value_or(0));
    const std::vector<float> signal = prefix(ppg.data, frames);
    const float fs = number(arguments, "fs").value_or(0);
    const auto rate_hint = number(arguments, "rate_hint");
    const RateBand heart = rate_band("heart_rate");
    const auto flag = [&](std::string_view name) {
        return arguments.contains(name) && arguments.find(name)->second == "true";
    };
    if (function == "estimate_heart_rate") {
        const RateEstimate e = estimate_heart_rate(signal, fs);
        return {e.rate, e.confidence};
    }
    if (function == "estimate_hrv_metric") {
        const HrvMetric metric = hrv_metric_named(lowered(arguments.at("metric_name"))).value();
        const HrvEstimate e = estimate_hrv(signal, metric, {}, prefix(ppg.confidence, frames),
                                           rate_hint, fs, heart.min_rate, heart.max_rate);
        return {e.value, e.confidence};
    }
    if (function == "find_peaks") {
        PeakDetectorConfig config = beat_detector(rate_hint, fs, heart.min_rate, heart.max_rate);
        config.refine = flag("refine");
        for (auto [name, field] : {std::pair{"min_rate", &config.min_rate},
                                   {"max_rate", &config.max_rate},
                                   {"detection_threshold", &config.detection_threshold},
                                   {"window_cycles", &config.window_cycles},
                                   {"max_rate_change", &config.max_rate_change}})
            *field = number(arguments, name).value_or(*field);
        std::vector<float> positions;
        for (const auto& segment : detect_peaks(signal, config)) {
            for (const Peak& peak : segment)
                positions.push_back(peak.position);
        }
        return positions;
    }
    const std::vector<float> face = numbers(arguments, "face");
    const std::vector<float> container = numbers(arguments, "container");
    const auto method = [&]() -> RoiMethod {
        if (const auto named = roi_method_named(arguments.at("method"))) return *named;
        const std::vector<float> offsets = numbers(arguments, "method");
        return roi_method::Custom{offsets.at(0), offsets.at(1), offsets.at(2), offsets.at(3)};
    };
    const auto detector =
        arguments.contains("detector") ? lowered(arguments.at("detector")) : "default";
    const Rect roi = calculate_roi(
        {face.at(0), face.at(1), face.at(2), face.at(3)}, method(),
        face_detector_named(detector).value(),
        container.empty() ? std::nullopt : std::optional(container.at(0)),
        container.empty() ? std::nullopt : std::optional(container.at(1)), flag("force_even"));
    return {roi.x, roi.y, roi.width, roi.height};
}

void add_door_calls(const Recording& recording, std::vector<Output>& outputs) {
    const auto ppg = std::ranges::find(recording.signals, "ppg_waveform", &RecordedSignal::id);
    if (ppg == recording.signals.end()) throw std::runtime_error("the sample has no PPG");
    for (const std::string_view call : kDoorCalls) {
        const std::size_t colon = call.find(':');
        outputs.push_back(
            {std::string(call),
             door_call(call.substr(0, colon), call_arguments(call.substr(colon + 1)), *ppg)});
    }
}

// A session with every vital and waveform, fed the sample in overlapping batches of 60 frames
// (15 repeated) in Incremental mode, then asked once in Global mode for the whole history. Every
// batch is processed, the results of every twentieth and of the last recorded: each batch runs the
// same arithmetic, so a platform that rounds differently differs in any of them.
void add_session(const Recording& recording, std::vector<Output>& outputs) {
    std::vector<std::string> ids(vital_ids().begin(), vital_ids().end());
    Session session(SessionConfig{"golden", ids,
                                  std::vector<std::string>{"ppg_waveform", "respiratory_waveform"},
                                  kFs, 40, 4, "face"});
    const auto batch = [&](std::size_t first, std::size_t count) {
        SessionInput input;
        for (std::size_t i = first; i < first + count; ++i)
            input.timestamp.push_back(recording.timestamps[i]);
        const auto slice = [&](const std::vector<float>& v) {
            return std::vector<float>(v.data() + first, v.data() + first + count);
        };
        for (const RecordedSignal& s : recording.signals)
            input.signals[s.id] = {slice(s.data), slice(s.confidence)};
        return input;
    };
    const auto record = [&](const std::string& label, const SessionResult& result) {
        const std::map<std::string, VitalResult> vitals(result.vitals.begin(), result.vitals.end());
        for (const auto& [id, vital] : vitals)
            outputs.push_back({label + ".vital." + id, {vital.value, vital.confidence}});
        const std::map<std::string, WaveformResult> waveforms(result.waveforms.begin(),
                                                              result.waveforms.end());
        for (const auto& [id, waveform] : waveforms)
            outputs.push_back({label + ".waveform." + id, sampled(waveform.data, 16)});
        outputs.push_back({label + ".fps", {result.fps}});
    };
    constexpr std::size_t kBatch = 60;
    constexpr std::size_t kStep = 45;
    constexpr std::size_t kRecordEvery = 20;
    for (std::size_t first = 0; first + kBatch <= recording.frames(); first += kStep) {
        const SessionResult result =
            session.process(batch(first, kBatch), waveform_mode::Incremental{});
        const bool last = first + kStep + kBatch > recording.frames();
        if (first / kStep % kRecordEvery != 0 && !last) continue;
        std::string label = std::to_string(first / kStep);
        label.insert(0, 3 - std::min<std::size_t>(label.size(), 3), '0');
        record("session.batch_" + label, result);
    }
    record("session.global", session.process(SessionInput{}, waveform_mode::Global{}));
}

}  // namespace

std::vector<Output> compute_outputs(const std::filesystem::path& sample) {
    std::vector<std::string> warnings;
    const Recording recording = read_recording(sample, warnings);
    std::vector<Output> outputs;
    add_door_calls(recording, outputs);
    add_session(recording, outputs);
    return outputs;
}

void write_outputs(const std::vector<Output>& outputs, const std::filesystem::path& file) {
    std::ofstream out(file);
    out << "# Exact outputs on the bundled sample recording, as float bits; written by\n"
           "# cmake --build BUILD --target rewrite_golden_vectors.\n";
    for (const Output& output : outputs) {
        out << output.name;
        for (const float value : output.values) {
            char hex[16];
            std::snprintf(hex, sizeof hex, " %08" PRIx32, std::bit_cast<std::uint32_t>(value));
            out << hex;
        }
        out << '\n';
    }
    if (!out) throw std::runtime_error("cannot write " + file.string());
}

std::vector<Output> read_outputs(const std::filesystem::path& file) {
    std::ifstream in(file);
    if (!in) throw std::runtime_error("cannot read " + file.string());
    std::vector<Output> outputs;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        Output output;
        fields >> output.name;
        for (std::string hex; fields >> hex;)
            output.values.push_back(
                std::bit_cast<float>(static_cast<std::uint32_t>(std::stoul(hex, nullptr, 16))));
        outputs.push_back(std::move(output));
    }
    return outputs;
}

}  // namespace quorvanta::golden
