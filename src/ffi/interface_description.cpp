// SPDX-License-Identifier: Apache-2.0
#include "ffi/interface_description.h"

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "types/callable_docs.h"
#include "types/fields.h"

namespace quorvanta::interface {
namespace {

Type scalar(TypeKind kind) {
    return {kind, {}, {}};
}
Type named(TypeKind kind, std::string name) {
    return {kind, std::move(name), {}};
}
Type optional(Type inner) {
    return {TypeKind::Optional, {}, {std::move(inner)}};
}
Type sequence(Type inner) {
    return {TypeKind::Sequence, {}, {std::move(inner)}};
}
Type map_of(Type value) {
    return {TypeKind::Map, {}, {scalar(TypeKind::String), std::move(value)}};
}
Type record(std::string name) {
    return named(TypeKind::Record, std::move(name));
}
Type enumeration(std::string name) {
    return named(TypeKind::Enum, std::move(name));
}
Type object(std::string name) {
    return named(TypeKind::Object, std::move(name));
}

const Type u32 = scalar(TypeKind::U32);
const Type u64 = scalar(TypeKind::U64);
const Type f32 = scalar(TypeKind::F32);
const Type f64 = scalar(TypeKind::F64);
const Type boolean = scalar(TypeKind::Bool);
const Type string = scalar(TypeKind::String);

template <class T>
inline constexpr bool kIsOptional = false;
template <class T>
inline constexpr bool kIsOptional<std::optional<T>> = true;
template <class T>
inline constexpr bool kIsSequence = false;
template <class T>
inline constexpr bool kIsSequence<std::vector<T>> = true;
template <class T>
inline constexpr bool kIsMap = false;
template <class V>
inline constexpr bool kIsMap<std::unordered_map<std::string, V>> = true;

// The wire type of a field from its C++ type.
template <class T>
Type wire_type() {
    if constexpr (std::is_same_v<T, float>) {
        return f32;
    } else if constexpr (std::is_same_v<T, double>) {
        return f64;
    } else if constexpr (std::is_same_v<T, std::uint32_t>) {
        return u32;
    } else if constexpr (std::is_same_v<T, std::uint64_t>) {
        return u64;
    } else if constexpr (std::is_same_v<T, bool>) {
        return boolean;
    } else if constexpr (std::is_same_v<T, std::string>) {
        return string;
    } else if constexpr (kIsOptional<T>) {
        return optional(wire_type<typename T::value_type>());
    } else if constexpr (kIsSequence<T>) {
        return sequence(wire_type<typename T::value_type>());
    } else if constexpr (kIsMap<T>) {
        return map_of(wire_type<typename T::mapped_type>());
    } else if constexpr (PlainEnum<T>) {
        return enumeration(std::string(Variants<T>::kName));
    } else {
        static_assert(NamedRecord<T>, "a field type the interface cannot carry");
        return record(std::string(Fields<T>::kName));
    }
}

template <NamedRecord T, std::size_t... I>
std::vector<Field> fields_of(std::index_sequence<I...>) {
    return {Field{std::string(Fields<T>::kNames[I]), wire_type<FieldTypeAt<T, I>>()}...};
}

template <NamedRecord T>
Record describe() {
    return {std::string(Fields<T>::kName),
            fields_of<T>(std::make_index_sequence<Fields<T>::kFieldCount>{}),
            std::string(Fields<T>::kDoc)};
}

std::vector<Record> records() {
    return {describe<Rect>(),           describe<FaceInput>(),
            describe<FaceResult>(),     describe<SignalInput>(),
            describe<SessionConfig>(),  describe<SessionInput>(),
            describe<SessionResult>(),  describe<VitalResult>(),
            describe<WaveformResult>(), describe<VitalDisplayMeta>(),
            describe<BufferConfig>(),   describe<BufferMetadata>(),
            describe<BufferAction>(),   describe<InferenceCommand>(),
            describe<ExecutionPlan>(),  describe<VitalAssessment>(),
            describe<Beats>(),          describe<Assessment>()};
}

// Variants without fields or documentation.
std::vector<Variant> plain_variants(const std::vector<std::string_view>& names) {
    std::vector<Variant> variants;
    variants.reserve(names.size());
    for (const std::string_view name : names)
        variants.push_back({std::string(name), {}, {}});
    return variants;
}

template <PlainEnum E>
Enum describe() {
    return {std::string(Variants<E>::kName),
            plain_variants({Variants<E>::kVariants.begin(), Variants<E>::kVariants.end()}),
            std::string(Variants<E>::kDoc)};
}

std::vector<Enum> enums() {
    std::vector<Variant> roi_methods =
        plain_variants({"Face", "Forehead", "UpperBody", "UpperBodyCropped"});
    roi_methods.push_back(
        {"Custom", {{"left", f32}, {"top", f32}, {"right", f32}, {"bottom", f32}}, {}});
    return {
        {"RoiMethod", std::move(roi_methods),
         "Pre-defined and custom methods for extracting physical ROIs from a base face bounding "
         "box."},
        describe<FaceDetector>(),
        {"WaveformMode",
         {{"Incremental", {}, "Returns only newly added frames, discarding older history."},
          {"Windowed", {{"seconds", f32}}, "Returns a fixed trailing window of data (in seconds)."},
          {"Global", {}, "Returns the entire history and disables state pruning."}},
         "Dictates how the session should prune state and yield output waveforms."},
        describe<InferenceMode>(),
        describe<BufferActionType>(),
        describe<BeatStatus>(),
        describe<PulseMethod>(),
    };
}

Object describe(const ObjectDescription& object) {
    return {std::string(object.name), std::string(object.doc)};
}

std::vector<Object> objects() {
    return {describe(kSessionObject), describe(kBufferPlannerObject)};
}

std::vector<Callable> functions() {
    const Type rect = record("Rect");
    return {
        {CallableKind::Function,
         "",
         "calculate_roi",
         {{"face", rect},
          {"method", enumeration("RoiMethod")},
          {"detector", enumeration("FaceDetector")},
          {"container_width", optional(f32)},
          {"container_height", optional(f32)},
          {"force_even", boolean}},
         rect,
         std::string(docs::kCalculateRoi),
         "\t\t \t\n\n\n \n"},
        {CallableKind::Function,
         "",
         "compute_buffer_config",
         {{"config", record("SessionConfig")}},
         record("BufferConfig"),
         std::string(docs::kComputeBufferConfig),
         "  \t \n\n \n\t"},
        {CallableKind::Function,
         "",
         "compute_iou",
         {{"a", rect}, {"b", rect}},
         f32,
         std::string(docs::kComputeIou),
         "\t\t\t\t \t  \n"},
        {CallableKind::Function,
         "",
         "extract_pulse",
         {{"red", sequence(f32)},
          {"green", sequence(f32)},
          {"blue", sequence(f32)},
          {"timestamps", sequence(f64)},
          {"method", enumeration("PulseMethod")}},
         record("SignalInput"),
         std::string(docs::kExtractPulse),
         ""},
        {CallableKind::Function,
         "",
         "extract_respiration",
         {{"reference_rows", sequence(f32)}, {"frame_rows", sequence(f32)}},
         record("SignalInput"),
         std::string(docs::kExtractRespiration),
         ""},
        {CallableKind::Function,
         "",
         "get_vital_info",
         {{"vital_id", string}},
         optional(record("VitalDisplayMeta")),
         std::string(docs::kGetVitalInfo),
         " \t\t\n\n\t\n\n \n"},
        {CallableKind::Function,
         "",
         "is_contained",
         {{"inner", rect}, {"outer", rect}, {"min_overlap_pct", f32}},
         boolean,
         std::string(docs::kIsContained),
         " \t\t    \n\n"},
    };
}

std::vector<Callable> session_operations() {
    return {
        {CallableKind::Constructor,
         "Session",
         "new",
         {{"config", record("SessionConfig")}},
         object("Session"),
         std::string(docs::kSessionNew),
         "\n\t\t \t\n\t \n  "},
        {CallableKind::Method,
         "Session",
         "process",
         {{"input", record("SessionInput")}, {"mode", enumeration("WaveformMode")}},
         record("SessionResult"),
         std::string(docs::kSessionProcess),
         "  \n \n  \t\n "},
        {CallableKind::Method,
         "Session",
         "assess",
         {},
         record("Assessment"),
         std::string(docs::kSessionAssess),
         ""},
        {CallableKind::Method,
         "Session",
         "reset",
         {},
         std::nullopt,
         std::string(docs::kSessionReset),
         "\t  \t\t \n "},
    };
}

std::vector<Callable> planner_operations() {
    const Type active_buffers = sequence(record("BufferMetadata"));
    const Type mode = enumeration("InferenceMode");
    return {
        {CallableKind::Constructor,
         "BufferPlanner",
         "new",
         {{"config", record("BufferConfig")}},
         object("BufferPlanner"),
         std::string(docs::kBufferPlannerNew),
         " \t \n\n \n "},
        {CallableKind::Method,
         "BufferPlanner",
         "evaluate_target",
         {{"target_roi", record("Rect")}, {"timestamp", f64}, {"active_buffers", active_buffers}},
         record("BufferAction"),
         std::string(docs::kBufferPlannerEvaluateTarget),
         "\n\t \n   \t  \t"},
        {CallableKind::Method,
         "BufferPlanner",
         "is_ready",
         {{"count", u32}, {"mode", mode}, {"has_state", boolean}, {"flush", boolean}},
         boolean,
         std::string(docs::kBufferPlannerIsReady),
         " \n\n\n \n\n \n"},
        {CallableKind::Method,
         "BufferPlanner",
         "poll",
         {{"active_buffers", active_buffers},
          {"current_time", f64},
          {"mode", mode},
          {"has_state", boolean},
          {"flush", boolean}},
         record("ExecutionPlan"),
         std::string(docs::kBufferPlannerPoll),
         "\n\n \n\n\n\t\t\n "},
    };
}

Interface build() {
    std::vector<Callable> callables = functions();
    for (auto&& group : {session_operations(), planner_operations()})
        callables.insert(callables.end(), group.begin(), group.end());
    return {"quorvanta_core", records(), enums(), objects(), std::move(callables)};
}

}  // namespace

const Interface& interface_description() {
    static const Interface description = build();
    return description;
}

}  // namespace quorvanta::interface
