// SPDX-License-Identifier: Apache-2.0
#include "golden_outputs.h"

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>

#include "recording.h"
#include "registry/registry.h"
#include "signal/filters.h"
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

// Every `step`-th value, and all of [first, last).
std::vector<float> sampled(const std::vector<float>& values, std::size_t step, std::size_t first,
                           std::size_t last) {
    std::vector<float> picked;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i % step == 0 || (i >= first && i < last)) picked.push_back(values[i]);
    }
    return picked;
}

std::vector<float> peak_positions(const PeakSegments& segments) {
    std::vector<float> positions;
    for (const auto& segment : segments) {
        for (const Peak& peak : segment)
            positions.push_back(peak.position);
    }
    return positions;
}

const cli::RecordedSignal& signal_named(const cli::Recording& recording, std::string_view id) {
    const auto found = std::find_if(recording.signals.begin(), recording.signals.end(),
                                    [&](const cli::RecordedSignal& s) { return s.id == id; });
    if (found == recording.signals.end()) {
        throw std::runtime_error("the sample has no " + std::string(id) + " column");
    }
    return *found;
}

void add_signal_routines(const cli::Recording& recording, std::vector<Output>& outputs) {
    const cli::RecordedSignal& ppg = signal_named(recording, "ppg_waveform");
    const std::vector<float> pulse = prefix(ppg.data, 1800);
    const std::vector<float> pulse_confidence = prefix(ppg.confidence, 1800);
    const std::vector<float> breathing =
        prefix(signal_named(recording, "respiratory_waveform").data, 900);

    SpectrumWorkspace workspace;
    compute_spectrum(prefix(pulse, 300), workspace, true, kFs, 0.005f);
    outputs.push_back({"spectrum.pulse_300_in_8192", sampled(workspace.power, 128, 300, 340)});
    compute_spectrum(breathing, workspace, false, kFs, 0.01f);
    outputs.push_back({"spectrum.breathing_900_in_4096", sampled(workspace.power, 64, 0, 24)});

    const auto rate = [&](std::span<const float> x, RateMethod method, float low, float high) {
        const RateEstimate e = estimate_rate(x, method, std::nullopt, nullptr, kFs, low, high);
        return std::vector<float>{e.rate, e.confidence};
    };
    outputs.push_back({"rate.periodogram_heart",
                       rate(prefix(pulse, 300), {MethodKind::Periodogram, 0, 0.005f}, 40, 220)});
    outputs.push_back({"rate.periodogram_breathing",
                       rate(breathing, {MethodKind::Periodogram, 0, 0.01f}, 3, 60)});
    outputs.push_back({"rate.peaks_heart",
                       rate(prefix(pulse, 900), {MethodKind::PeakDetection, 1, 0.25f}, 40, 220)});

    outputs.push_back({"peaks.hrv_detector_1800",
                       peak_positions(detect_peaks(pulse, beat_detector(72.0f, kFs, 40, 220)))});
    outputs.push_back(
        {"filters.detrend_300", prefix(detrend_signal(prefix(pulse, 300), kFs, 0.5f), 24)});
    outputs.push_back(
        {"filters.moving_average_300",
         prefix(moving_average(prefix(pulse, 300), smoothing_window_length(4.0f, kFs)), 24)});
    outputs.push_back({"filters.standardize_300", prefix(standardize(prefix(pulse, 300)), 24)});

    for (const auto& [name, metric] : {std::pair{"sdnn", HrvMetric::Sdnn},
                                       {"rmssd", HrvMetric::Rmssd},
                                       {"lfhf", HrvMetric::LfHf},
                                       {"stress_index", HrvMetric::StressIndex},
                                       {"pnn50", HrvMetric::Pnn50},
                                       {"sd1sd2", HrvMetric::Sd1Sd2}}) {
        const HrvEstimate e =
            estimate_hrv(pulse, metric, {}, pulse_confidence, std::nullopt, kFs, 40, 220);
        outputs.push_back({std::string("hrv.") + name, {e.value, e.confidence}});
    }
}

// A session with every vital and waveform, fed the sample in overlapping batches of 60 frames
// (15 repeated) in Incremental mode, then asked once in Global mode for the whole history. Every
// batch is processed, the results of every sixth and of the last recorded: each batch runs the
// same arithmetic, so a platform that rounds differently differs in any of them.
void add_session(const cli::Recording& recording, std::vector<Output>& outputs) {
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
        for (const cli::RecordedSignal& s : recording.signals)
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
            outputs.push_back({label + ".waveform." + id, sampled(waveform.data, 16, 0, 0)});
        outputs.push_back({label + ".fps", {result.fps}});
    };
    constexpr std::size_t kBatch = 60;
    constexpr std::size_t kStep = 45;
    constexpr std::size_t kRecordEvery = 6;
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
    const cli::Recording recording = cli::read_recording(sample, warnings);
    std::vector<Output> outputs;
    add_signal_routines(recording, outputs);
    add_session(recording, outputs);
    return outputs;
}

void write_outputs(const std::vector<Output>& outputs, const std::filesystem::path& file) {
    std::ofstream out(file);
    out << "# Exact outputs on the bundled sample recording, as float bits; written by\n"
           "# quorvanta_golden_vectors (cmake --build BUILD --target rewrite_golden_vectors).\n";
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
