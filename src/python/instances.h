// SPDX-License-Identifier: Apache-2.0
// Instances of the module's classes: each wraps one native value by value. The class objects are
// created once, at module initialisation, and kept for the life of the process.
#pragma once

#include "python/errors.h"
#include "python/object_ref.h"

#include <array>
#include <cstddef>
#include <memory>
#include <new>
#include <string_view>
#include <type_traits>
#include <utility>

#include "planning/buffer_planner.h"
#include "state/session.h"
#include "types/fields.h"
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

// The classes whose instances hold native state behind methods rather than attributes: the Session
// and the BufferPlanner (held by value: it only holds its limits).
template <class T>
inline constexpr const ObjectDescription* kObjectOf = nullptr;
template <>
inline constexpr const ObjectDescription* kObjectOf<SessionHandle> = &kSessionObject;
template <>
inline constexpr const ObjectDescription* kObjectOf<BufferPlanner> = &kBufferPlannerObject;

template <class T>
concept NativeObject = kObjectOf<T>
!= nullptr;

enum class Access { ReadWrite, ReadOnly };

// What the Python classes add to the interface tables of types/fields.h: whether a record's
// attributes may be written and, for a record with a constructor, kConstructor: the fields its
// parameters fill, by name, in parameter order; those after the first kRequired default to None.
template <class T>
struct ClassTraits;

template <Access access>
struct RecordClass {
    static constexpr Access kAccess = access;
};

template <>
struct ClassTraits<SessionConfig> : RecordClass<Access::ReadWrite> {
    static constexpr std::array<std::string_view, 7> kConstructor{
        "model_name", "supported_vitals", "fps_target",      "input_size",
        "n_inputs",   "roi_method",       "return_waveforms"};
    static constexpr std::size_t kRequired = 6;
};
template <>
struct ClassTraits<SessionInput> : RecordClass<Access::ReadWrite> {
    static constexpr std::array<std::string_view, 3> kConstructor{"face", "signals", "timestamp"};
    static constexpr std::size_t kRequired = 3;
};
template <>
struct ClassTraits<SignalInput> : RecordClass<Access::ReadWrite> {
    static constexpr std::array<std::string_view, 2> kConstructor{"data", "confidence"};
    static constexpr std::size_t kRequired = 2;
};
template <>
struct ClassTraits<FaceInput> : RecordClass<Access::ReadWrite> {
    static constexpr std::array<std::string_view, 2> kConstructor{"coordinates", "confidence"};
    static constexpr std::size_t kRequired = 2;
};
template <>
struct ClassTraits<Rect> : RecordClass<Access::ReadWrite> {
    static constexpr std::array<std::string_view, 4> kConstructor{"x", "y", "width", "height"};
    static constexpr std::size_t kRequired = 4;
};
template <>
struct ClassTraits<BufferMetadata> : RecordClass<Access::ReadWrite> {
    static constexpr std::array<std::string_view, 5> kConstructor{"id", "roi", "count",
                                                                  "created_at", "last_seen"};
    static constexpr std::size_t kRequired = 5;
};
template <>
struct ClassTraits<SessionResult> : RecordClass<Access::ReadOnly> {};
template <>
struct ClassTraits<WaveformResult> : RecordClass<Access::ReadOnly> {};
template <>
struct ClassTraits<VitalResult> : RecordClass<Access::ReadOnly> {};
template <>
struct ClassTraits<FaceResult> : RecordClass<Access::ReadOnly> {};
template <>
struct ClassTraits<BufferConfig> : RecordClass<Access::ReadWrite> {};
template <>
struct ClassTraits<BufferAction> : RecordClass<Access::ReadWrite> {};
template <>
struct ClassTraits<InferenceCommand> : RecordClass<Access::ReadWrite> {};
template <>
struct ClassTraits<ExecutionPlan> : RecordClass<Access::ReadWrite> {};
template <>
struct ClassTraits<VitalDisplayMeta> : RecordClass<Access::ReadWrite> {};
template <>
struct ClassTraits<Assessment> : RecordClass<Access::ReadOnly> {};
template <>
struct ClassTraits<VitalAssessment> : RecordClass<Access::ReadOnly> {};
template <>
struct ClassTraits<Beats> : RecordClass<Access::ReadOnly> {};

// The Python name of T's class, from the interface tables.
template <class T>
constexpr std::string_view class_name() {
    if constexpr (NativeObject<T>) {
        return kObjectOf<T>->name;
    } else if constexpr (PlainEnum<T>) {
        return Variants<T>::kName;
    } else {
        return Fields<T>::kName;
    }
}

}  // namespace quorvanta::python
