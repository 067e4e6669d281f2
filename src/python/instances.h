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
// records the access of their attributes and kConstructor, the field indexes that the
// constructor's parameters fill, in parameter order (absent: no constructor).
template <class T>
struct ClassTraits;

template <>
struct ClassTraits<SessionHandle> {
    static constexpr const char* kName = "Session";
    static constexpr const char* kDoc =
        "Session(config)\n--\n\nA thread-safe, stateful session object for processing continuous "
        "frame data natively across FFI and Wasm.";
};
template <>
struct ClassTraits<SessionConfig> {
    static constexpr const char* kName = "SessionConfig";
    static constexpr const char* kDoc =
        "SessionConfig(model_name, supported_vitals, fps_target, input_size, n_inputs, "
        "roi_method, return_waveforms=None)\n--\n\nConfiguration for initializing a Quorvanta "
        "session.";
    static constexpr Access kAccess = Access::ReadWrite;
    static constexpr std::array<std::size_t, 7> kConstructor{0, 1, 3, 4, 5, 6, 2};
    static constexpr std::size_t kRequired = 6;
};
template <>
struct ClassTraits<SessionInput> {
    static constexpr const char* kName = "SessionInput";
    static constexpr const char* kDoc =
        "SessionInput(face, signals, timestamp)\n--\n\nThe core batch input object submitted to "
        "the session engine for processing.";
    static constexpr Access kAccess = Access::ReadWrite;
    static constexpr std::array<std::size_t, 3> kConstructor{0, 1, 2};
    static constexpr std::size_t kRequired = 3;
};
template <>
struct ClassTraits<SignalInput> {
    static constexpr const char* kName = "SignalInput";
    static constexpr const char* kDoc =
        "SignalInput(data, confidence)\n--\n\nA generic wrapper for a single physical signal and "
        "its corresponding confidence array.";
    static constexpr Access kAccess = Access::ReadWrite;
    static constexpr std::array<std::size_t, 2> kConstructor{0, 1};
    static constexpr std::size_t kRequired = 2;
};
template <>
struct ClassTraits<FaceInput> {
    static constexpr const char* kName = "FaceInput";
    static constexpr const char* kDoc =
        "FaceInput(coordinates, confidence)\n--\n\nInput payload representing tracked face "
        "bounding boxes over a sequence of frames.";
    static constexpr Access kAccess = Access::ReadWrite;
    static constexpr std::array<std::size_t, 2> kConstructor{0, 1};
    static constexpr std::size_t kRequired = 2;
};
template <>
struct ClassTraits<SessionResult> {
    static constexpr const char* kName = "SessionResult";
    static constexpr const char* kDoc =
        "The final payload aggregated from a session processing tick.";
    static constexpr Access kAccess = Access::ReadOnly;
};
template <>
struct ClassTraits<WaveformResult> {
    static constexpr const char* kName = "WaveformResult";
    static constexpr const char* kDoc = "Derived continuous waveform data alongside unit metadata.";
    static constexpr Access kAccess = Access::ReadOnly;
};
template <>
struct ClassTraits<VitalResult> {
    static constexpr const char* kName = "VitalResult";
    static constexpr const char* kDoc = "Derived scalar physiological value.";
    static constexpr Access kAccess = Access::ReadOnly;
};
template <>
struct ClassTraits<FaceResult> {
    static constexpr const char* kName = "FaceResult";
    static constexpr const char* kDoc = "Filtered/smoothed output face coordinates.";
    static constexpr Access kAccess = Access::ReadOnly;
};
template <>
struct ClassTraits<Rect> {
    static constexpr const char* kName = "Rect";
    static constexpr const char* kDoc =
        "Rect(x, y, width, height)\n--\n\nA simple bounding box definition.";
    static constexpr Access kAccess = Access::ReadWrite;
    static constexpr std::array<std::size_t, 4> kConstructor{0, 1, 2, 3};
    static constexpr std::size_t kRequired = 4;
};
template <>
struct ClassTraits<InferenceMode> {
    static constexpr const char* kName = "InferenceMode";
    static constexpr const char* kDoc = "Operational paradigm dictating buffer fill limits.";
    static constexpr std::array<std::string_view, 2> kVariants{"Stream", "File"};
};
template <>
struct ClassTraits<BufferConfig> {
    static constexpr const char* kName = "BufferConfig";
    static constexpr const char* kDoc =
        "Capacity constraints and threshold configuration for buffers.";
    static constexpr Access kAccess = Access::ReadWrite;
};
template <>
struct ClassTraits<BufferActionType> {
    static constexpr const char* kName = "BufferActionType";
    static constexpr const char* kDoc = "Action to be taken on a target ROI after evaluation.";
    static constexpr std::array<std::string_view, 3> kVariants{"Create", "KeepAlive", "Ignore"};
};
template <>
struct ClassTraits<BufferAction> {
    static constexpr const char* kName = "BufferAction";
    static constexpr const char* kDoc =
        "The concrete instruction resulting from evaluating a target.";
    static constexpr Access kAccess = Access::ReadWrite;
};
template <>
struct ClassTraits<BufferMetadata> {
    static constexpr const char* kName = "BufferMetadata";
    static constexpr const char* kDoc =
        "BufferMetadata(id, roi, count, created_at, last_seen)\n--\n\nIdentifiable state metadata "
        "attached to a specific processing buffer.";
    static constexpr Access kAccess = Access::ReadWrite;
    static constexpr std::array<std::size_t, 5> kConstructor{0, 1, 2, 3, 4};
    static constexpr std::size_t kRequired = 5;
};
template <>
struct ClassTraits<InferenceCommand> {
    static constexpr const char* kName = "InferenceCommand";
    static constexpr const char* kDoc =
        "Command returned by the BufferPlanner indicating how many frames to extract.";
    static constexpr Access kAccess = Access::ReadWrite;
};
template <>
struct ClassTraits<ExecutionPlan> {
    static constexpr const char* kName = "ExecutionPlan";
    static constexpr const char* kDoc =
        "Aggregated output from the BufferPlanner dictating next steps for all buffers.";
    static constexpr Access kAccess = Access::ReadWrite;
};
template <>
struct ClassTraits<VitalDisplayMeta> {
    static constexpr const char* kName = "VitalDisplayMeta";
    static constexpr const char* kDoc =
        "Extracted UI/display properties for a specific vital sign.";
    static constexpr Access kAccess = Access::ReadWrite;
};

}  // namespace quorvanta::python
