// SPDX-License-Identifier: Apache-2.0
// Instances of the module's classes: each wraps one native value by value, and each class knows
// its Python name and documentation. The class objects are created once, at module
// initialisation, and kept for the life of the process.
#pragma once

#include "python/errors.h"
#include "python/object_ref.h"

#include <array>
#include <cstddef>
#include <memory>
#include <new>
#include <string_view>
#include <utility>

#include "state/session.h"
#include "types/records.h"

namespace quorvanta::python {

template <class T>
struct Instance {
    PyObject_HEAD T value;
};

// The Python class of T; null until module initialisation created it.
template <class T>
inline PyTypeObject* g_class = nullptr;

template <class T>
T& value_of(PyObject* object) {
    return reinterpret_cast<Instance<T>*>(object)->value;
}

// A new instance of `type` (T's class or a subclass) holding `value`.
template <class T>
ObjectRef new_instance_of(PyTypeObject* type, T value) {
    ObjectRef object = check(type->tp_alloc(type, 0));
    new (&value_of<T>(object.get())) T(std::move(value));
    return object;
}

template <class T>
ObjectRef new_instance(T value) {
    return new_instance_of<T>(g_class<T>, std::move(value));
}

// The Session class holds the native session behind a pointer: it owns a mutex and never moves.
using SessionHandle = std::unique_ptr<Session>;

enum class Access { ReadWrite, ReadOnly };

// Per class: kName, kDoc (with the constructor's signature first when there is one), and for
// records the access of their attributes and, when they have a constructor, kConstructor: the
// field indexes that its parameters fill, in parameter order, the first kRequired without default.
template <class T>
struct ClassTraits;

template <Access access>
struct RecordClass {
    static constexpr Access kAccess = access;
};

template <std::size_t required, std::size_t... fields>
struct ConstructedRecordClass : RecordClass<Access::ReadWrite> {
    static constexpr std::array<std::size_t, sizeof...(fields)> kConstructor{fields...};
    static constexpr std::size_t kRequired = required;
};

template <>
struct ClassTraits<SessionHandle> {
    static constexpr const char* kName = "Session";
    static constexpr const char* kDoc =
        "Session(config)\n--\n\nA thread-safe, stateful session object for processing continuous "
        "frame data natively across FFI and Wasm.";
};
template <>
struct ClassTraits<SessionConfig> : ConstructedRecordClass<6, 0, 1, 3, 4, 5, 6, 2> {
    static constexpr const char* kName = "SessionConfig";
    static constexpr const char* kDoc =
        "SessionConfig(model_name, supported_vitals, fps_target, input_size, n_inputs, "
        "roi_method, return_waveforms=None)\n--\n\nConfiguration for initializing a Quorvanta "
        "session.";
};
template <>
struct ClassTraits<SessionInput> : ConstructedRecordClass<3, 0, 1, 2> {
    static constexpr const char* kName = "SessionInput";
    static constexpr const char* kDoc =
        "SessionInput(face, signals, timestamp)\n--\n\nThe core batch input object submitted to "
        "the session engine for processing.";
};
template <>
struct ClassTraits<SignalInput> : ConstructedRecordClass<2, 0, 1> {
    static constexpr const char* kName = "SignalInput";
    static constexpr const char* kDoc =
        "SignalInput(data, confidence)\n--\n\nA generic wrapper for a single physical signal and "
        "its corresponding confidence array.";
};
template <>
struct ClassTraits<FaceInput> : ConstructedRecordClass<2, 0, 1> {
    static constexpr const char* kName = "FaceInput";
    static constexpr const char* kDoc =
        "FaceInput(coordinates, confidence)\n--\n\nInput payload representing tracked face "
        "bounding boxes over a sequence of frames.";
};
template <>
struct ClassTraits<SessionResult> : RecordClass<Access::ReadOnly> {
    static constexpr const char* kName = "SessionResult";
    static constexpr const char* kDoc =
        "The final payload aggregated from a session processing tick.";
};
template <>
struct ClassTraits<WaveformResult> : RecordClass<Access::ReadOnly> {
    static constexpr const char* kName = "WaveformResult";
    static constexpr const char* kDoc = "Derived continuous waveform data alongside unit metadata.";
};
template <>
struct ClassTraits<VitalResult> : RecordClass<Access::ReadOnly> {
    static constexpr const char* kName = "VitalResult";
    static constexpr const char* kDoc = "Derived scalar physiological value.";
};
template <>
struct ClassTraits<FaceResult> : RecordClass<Access::ReadOnly> {
    static constexpr const char* kName = "FaceResult";
    static constexpr const char* kDoc = "Filtered/smoothed output face coordinates.";
};
template <>
struct ClassTraits<Rect> : ConstructedRecordClass<4, 0, 1, 2, 3> {
    static constexpr const char* kName = "Rect";
    static constexpr const char* kDoc =
        "Rect(x, y, width, height)\n--\n\nA simple bounding box definition.";
};
template <>
struct ClassTraits<InferenceMode> {
    static constexpr const char* kName = "InferenceMode";
    static constexpr const char* kDoc = "Operational paradigm dictating buffer fill limits.";
    static constexpr std::array<std::string_view, 2> kVariants{"Stream", "File"};
};
template <>
struct ClassTraits<BufferConfig> : RecordClass<Access::ReadWrite> {
    static constexpr const char* kName = "BufferConfig";
    static constexpr const char* kDoc =
        "Capacity constraints and threshold configuration for buffers.";
};
template <>
struct ClassTraits<BufferActionType> {
    static constexpr const char* kName = "BufferActionType";
    static constexpr const char* kDoc = "Action to be taken on a target ROI after evaluation.";
    static constexpr std::array<std::string_view, 3> kVariants{"Create", "KeepAlive", "Ignore"};
};
template <>
struct ClassTraits<BufferAction> : RecordClass<Access::ReadWrite> {
    static constexpr const char* kName = "BufferAction";
    static constexpr const char* kDoc =
        "The concrete instruction resulting from evaluating a target.";
};
template <>
struct ClassTraits<BufferMetadata> : ConstructedRecordClass<5, 0, 1, 2, 3, 4> {
    static constexpr const char* kName = "BufferMetadata";
    static constexpr const char* kDoc =
        "BufferMetadata(id, roi, count, created_at, last_seen)\n--\n\nIdentifiable state metadata "
        "attached to a specific processing buffer.";
};
template <>
struct ClassTraits<InferenceCommand> : RecordClass<Access::ReadWrite> {
    static constexpr const char* kName = "InferenceCommand";
    static constexpr const char* kDoc =
        "Command returned by the BufferPlanner indicating how many frames to extract.";
};
template <>
struct ClassTraits<ExecutionPlan> : RecordClass<Access::ReadWrite> {
    static constexpr const char* kName = "ExecutionPlan";
    static constexpr const char* kDoc =
        "Aggregated output from the BufferPlanner dictating next steps for all buffers.";
};
template <>
struct ClassTraits<VitalDisplayMeta> : RecordClass<Access::ReadWrite> {
    static constexpr const char* kName = "VitalDisplayMeta";
    static constexpr const char* kDoc =
        "Extracted UI/display properties for a specific vital sign.";
};

}  // namespace quorvanta::python
