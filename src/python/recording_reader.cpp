// SPDX-License-Identifier: Apache-2.0
// read_recording(source, fs=None, columns=None, time_unit="s", batch_frames=30, resample=None)
// reads a CSV or JSON recording file, or a pandas DataFrame (through its to_csv text, so that it
// obeys the same rules and gets the same messages), into a dict:
//   "timestamp": float64 array, seconds;
//   "signals":   {id: {"data": float32 array, "confidence": float32 array}};
//   "face":      {"coordinates": float32 array of rows [x, y, w, h], "confidence": ...} or None;
//   "warnings":  the reader's warnings, as the command prints them, and a median frame interval
//                too long for any vital (the command refuses such a file);
//   "batches":   SessionInput objects of batch_frames consecutive frames each (the last may be
//                shorter), ready for Session.process.
// A file that cannot be read raises ValueError with the command's message.
#include "python/recording_reader.h"

#include <algorithm>
#include <array>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "python/arguments.h"
#include "python/conversions.h"
#include "python/errors.h"
#include "python/numpy_arrays.h"
#include "recording/recording.h"

namespace quorvanta::python {
namespace {

// How a DataFrame is named in messages.
constexpr const char* kDataFrameName = "DataFrame";

TimeUnit time_unit_from(const ObjectRef& value) {
    if (!value) return TimeUnit::Seconds;
    const auto text = argument<std::string>("time_unit", value.get());
    if (text == "s") return TimeUnit::Seconds;
    if (text == "ms") return TimeUnit::Milliseconds;
    if (text == "us") return TimeUnit::Microseconds;
    raise(PyExc_ValueError, "time_unit must be 's', 'ms' or 'us', not '" + text + "'");
}

ReadOptions read_options(std::array<ObjectRef, 6>& values) {
    ReadOptions options;
    options.sample_rate =
        values[1] ? argument<std::optional<double>>("fs", values[1].get()) : std::nullopt;
    options.resample_rate =
        values[5] ? argument<std::optional<double>>("resample", values[5].get()) : std::nullopt;
    for (const auto& [rate, name] :
         {std::pair{options.sample_rate, "fs"}, std::pair{options.resample_rate, "resample"}}) {
        if (rate && !(*rate > 0))
            raise(PyExc_ValueError,
                  std::string(name) + " must be a positive number of frames a second");
    }
    if (values[2] && values[2].get() != Py_None) {
        const auto mapped =
            argument<std::unordered_map<std::string, std::string>>("columns", values[2].get());
        options.columns.assign(mapped.begin(), mapped.end());
        std::sort(options.columns.begin(), options.columns.end());
    }
    options.time_unit = time_unit_from(values[3]);
    return options;
}

bool is_data_frame(PyObject* source) {
    return PyObject_HasAttrString(source, "to_csv") == 1 &&
           PyObject_HasAttrString(source, "columns") == 1 && !PyUnicode_Check(source);
}

// The DataFrame's rows as CSV text, without its index.
std::string data_frame_text(PyObject* source) {
    const ObjectRef to_csv = check(PyObject_GetAttrString(source, "to_csv"));
    const ObjectRef no_arguments = check(PyTuple_New(0));
    const ObjectRef keywords = check(Py_BuildValue("{s:O}", "index", Py_False));
    const ObjectRef text = check(PyObject_Call(to_csv.get(), no_arguments.get(), keywords.get()));
    return argument<std::string>("source", text.get());
}

Recording read(PyObject* source, const ReadOptions& options, std::vector<std::string>& warnings) {
    try {
        std::string name = kDataFrameName;
        Recording recording;
        if (is_data_frame(source)) {
            recording = parse_recording(data_frame_text(source), name, warnings, options);
        } else {
            const ObjectRef path = check(PyOS_FSPath(source));
            const ObjectRef encoded =
                check(PyUnicode_Check(path.get()) ? PyUnicode_EncodeFSDefault(path.get())
                                                  : Py_NewRef(path.get()));
            name = PyBytes_AsString(encoded.get());
            recording = read_recording(name, warnings, options);
        }
        warn_of_long_frame_interval(
            name, recording, options.time_unit,
            [](std::string_view symbol) { return "pass time_unit='" + std::string(symbol) + "'"; },
            warnings);
        return recording;
    } catch (const InputError& error) {
        raise(PyExc_ValueError, error.what());
    }
}

template <class T>
ObjectRef array_of(const std::vector<T>& values, std::size_t width = 1) {
    return new_array(std::span<const T>(values), width);
}

void set_item(const ObjectRef& dict, const char* key, const ObjectRef& value) {
    if (PyDict_SetItemString(dict.get(), key, value.get()) != 0) rethrow_python_error();
}

ObjectRef signals_dict(const Recording& recording) {
    ObjectRef signals = check(PyDict_New());
    for (const RecordedSignal& signal : recording.signals) {
        ObjectRef entry = check(PyDict_New());
        set_item(entry, "data", array_of(signal.data));
        set_item(entry, "confidence", array_of(signal.confidence));
        set_item(signals, signal.id.c_str(), entry);
    }
    return signals;
}

ObjectRef face_dict(const Recording& recording) {
    if (!recording.face) return ObjectRef::borrow(Py_None);
    std::vector<float> coordinates;
    coordinates.reserve(recording.face->boxes.size() * 4);
    for (const auto& box : recording.face->boxes)
        coordinates.insert(coordinates.end(), box.begin(), box.end());
    ObjectRef face = check(PyDict_New());
    set_item(face, "coordinates", array_of(coordinates, 4));
    set_item(face, "confidence", array_of(recording.face->confidence));
    return face;
}

template <class T>
std::vector<T> slice(const std::vector<T>& values, std::size_t first, std::size_t count) {
    const auto begin = values.begin() + static_cast<std::ptrdiff_t>(first);
    return {begin, begin + static_cast<std::ptrdiff_t>(count)};
}

SessionInput batch(const Recording& recording, std::size_t first, std::size_t count) {
    SessionInput input;
    input.timestamp = slice(recording.timestamps, first, count);
    for (const RecordedSignal& signal : recording.signals) {
        input.signals.emplace(signal.id, SignalInput{slice(signal.data, first, count),
                                                     slice(signal.confidence, first, count)});
    }
    if (recording.face) {
        FaceInput face;
        for (std::size_t i = first; i < first + count; ++i) {
            const auto& box = recording.face->boxes[i];
            face.coordinates.emplace_back(box.begin(), box.end());
        }
        face.confidence = slice(recording.face->confidence, first, count);
        input.face = std::move(face);
    }
    return input;
}

ObjectRef batches_list(const Recording& recording, std::size_t batch_frames) {
    ObjectRef batches = check(PyList_New(0));
    for (std::size_t first = 0; first < recording.frames(); first += batch_frames) {
        const std::size_t count = std::min(batch_frames, recording.frames() - first);
        const ObjectRef input = Convert<SessionInput>::to(batch(recording, first, count));
        if (PyList_Append(batches.get(), input.get()) != 0) rethrow_python_error();
    }
    return batches;
}

}  // namespace

ObjectRef read_recording_call(PyObject* /*module*/, std::array<ObjectRef, 6>& values) {
    const ReadOptions options = read_options(values);
    const std::uint64_t batch_frames =
        values[4] ? argument<std::uint64_t>("batch_frames", values[4].get()) : 30;
    if (batch_frames == 0) raise(PyExc_ValueError, "batch_frames must be at least 1");
    std::vector<std::string> warnings;
    const Recording recording = read(values[0].get(), options, warnings);
    ObjectRef result = check(PyDict_New());
    set_item(result, "timestamp", array_of(recording.timestamps));
    set_item(result, "signals", signals_dict(recording));
    set_item(result, "face", face_dict(recording));
    set_item(result, "warnings", Convert<std::vector<std::string>>::to(warnings));
    set_item(result, "batches", batches_list(recording, batch_frames));
    return result;
}

}  // namespace quorvanta::python
