// SPDX-License-Identifier: Apache-2.0
// The recording reader for JavaScript, in a WebAssembly module of its own
// (quorvanta_recording_wasm, shipped in the package beside the core's), so that the library's
// module stays the core alone: the reader brings a JSON parser and stream I/O, which would double
// its size. readRecording(text, fileName, options) takes the options {fs, columns, timeUnit} and
// gives the command's warnings and messages.
#include <emscripten/bind.h>

#include <algorithm>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "recording/recording.h"
#include "wasm/door.h"
#include "wasm/values.h"

namespace quorvanta::wasm {
namespace {

val recording_to_js(const Recording& recording) {
    val signals = val::array();
    for (const RecordedSignal& signal : recording.signals) {
        val entry = val::object();
        entry.set("id", signal.id);
        entry.set("data", Js<std::vector<float>>::to(signal.data));
        entry.set("confidence", Js<std::vector<float>>::to(signal.confidence));
        signals.call<void>("push", entry);
    }
    val face = val::null();
    if (recording.face) {
        val boxes = val::array();
        for (const auto& box : recording.face->boxes)
            boxes.call<void>("push", Js<std::vector<float>>::to({box.begin(), box.end()}));
        face = val::object();
        face.set("coordinates", boxes);
        face.set("confidence", Js<std::vector<float>>::to(recording.face->confidence));
    }
    val result = val::object();
    result.set("timestamp", Js<std::vector<double>>::to(recording.timestamps));
    result.set("signals", signals);
    result.set("face", face);
    return result;
}

TimeUnit time_unit_from(const std::optional<std::string>& text) {
    if (!text || *text == "s") return TimeUnit::Seconds;
    if (*text == "ms") return TimeUnit::Milliseconds;
    if (*text == "us") return TimeUnit::Microseconds;
    throw ArgumentError(ArgumentError::Kind::Range,
                        "options.timeUnit must be \"s\", \"ms\" or \"us\", not \"" + *text + "\"");
}

ReadOptions read_options(const val& options) {
    ReadOptions read;
    if (detail::is_absent(options)) return read;
    if (!detail::is_object(options)) detail::refuse("options", "an object", options);
    read.sample_rate = argument<std::optional<double>>(options["fs"], "options.fs");
    read.resample_rate = argument<std::optional<double>>(options["resample"], "options.resample");
    for (const auto& [rate, name] : {std::pair{read.sample_rate, "options.fs"},
                                     std::pair{read.resample_rate, "options.resample"}}) {
        if (rate && !(*rate > 0)) {
            throw ArgumentError(
                ArgumentError::Kind::Range,
                std::string(name) + " must be a positive number of frames a second");
        }
    }
    const auto columns = argument<std::optional<std::unordered_map<std::string, std::string>>>(
        options["columns"], "options.columns");
    if (columns) {
        read.columns.assign(columns->begin(), columns->end());
        std::sort(read.columns.begin(), read.columns.end());
    }
    read.time_unit = time_unit_from(
        argument<std::optional<std::string>>(options["timeUnit"], "options.timeUnit"));
    return read;
}

val read_recording(val text, val file_name, val options) {
    return guarded([&] {
        const auto contents = argument<std::string>(text, "text");
        const auto name = argument<std::string>(file_name, "fileName");
        const ReadOptions read = read_options(options);
        std::vector<std::string> warnings;
        const Recording recording = parse_recording(contents, name, warnings, read);
        warn_of_long_frame_interval(
            name, recording, read.time_unit,
            [](std::string_view symbol) {
                return "pass timeUnit: \"" + std::string(symbol) + "\"";
            },
            warnings);
        val result = recording_to_js(recording);
        result.set("warnings", Js<std::vector<std::string>>::to(warnings));
        return result;
    });
}

}  // namespace
}  // namespace quorvanta::wasm

EMSCRIPTEN_BINDINGS(quorvanta_recording) {
    emscripten::function("readRecording", &quorvanta::wasm::read_recording);
}
