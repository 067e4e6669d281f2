// SPDX-License-Identifier: Apache-2.0
// The recording reader for JavaScript, in a WebAssembly module of its own
// (quorvanta_recording_wasm), so that the library's module stays the core alone: the reader brings
// a JSON parser and stream I/O, which would double its size. The web page reads dropped files
// with it and gets the command's messages.
#include <emscripten/bind.h>

#include <string>
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

val read_recording(val text, val file_name) {
    return guarded([&] {
        const auto contents = argument<std::string>(text, "text");
        const auto name = argument<std::string>(file_name, "fileName");
        std::vector<std::string> warnings;
        val result = recording_to_js(parse_recording(contents, name, warnings));
        result.set("warnings", Js<std::vector<std::string>>::to(warnings));
        return result;
    });
}

}  // namespace
}  // namespace quorvanta::wasm

EMSCRIPTEN_BINDINGS(quorvanta_recording) {
    emscripten::function("readRecording", &quorvanta::wasm::read_recording);
}
