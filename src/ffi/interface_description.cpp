// SPDX-License-Identifier: Apache-2.0
#include "ffi/interface_description.h"

#include <cstdint>
#include <optional>
#include <string>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <vector>

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
        {"FaceDetector", plain_variants({"Default", "AppleVision"}),
         "The origin detector format of the incoming bounding box."},
        {"WaveformMode",
         {{"Incremental", {}, "Returns only newly added frames, discarding older history."},
          {"Windowed", {{"seconds", f32}}, "Returns a fixed trailing window of data (in seconds)."},
          {"Global", {}, "Returns the entire history and disables state pruning."}},
         "Dictates how the session should prune state and yield output waveforms."},
        describe<InferenceMode>(),
        describe<BufferActionType>(),
        describe<BeatStatus>(),
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
         "Derives the region of interest to crop from a detected face box. The box is first "
         "brought into the default detector's framing, then each side moves by the method's "
         "fraction of the face's size; when both container dimensions are given the region is "
         "clipped to them, and force_even rounds it to whole pixels with even width and height.",
         "\t\t \t\n\n\n \n"},
        {CallableKind::Function,
         "",
         "compute_buffer_config",
         {{"config", record("SessionConfig")}},
         record("BufferConfig"),
         "Sizes the inference buffers for the model's input size and frames per inference: the "
         "frames a buffer needs before inference with and without carried state, the most "
         "frames one inference takes in stream and in file mode, and the frames kept as overlap.",
         "  \t \n\n \n\t"},
        {CallableKind::Function,
         "",
         "compute_iou",
         {{"a", rect}, {"b", rect}},
         f32,
         "Returns the intersection over union of two rectangles: 0 when they do not overlap, 1 "
         "when they coincide.",
         "\t\t\t\t \t  \n"},
        {CallableKind::Function,
         "",
         "get_vital_info",
         {{"vital_id", string}},
         optional(record("VitalDisplayMeta")),
         "Looks up the display name, short name, unit, colour and emoji of a vital sign by its "
         "identifier or one of its aliases; returns nothing for an identifier the registry does "
         "not know.",
         " \t\t\n\n\t\n\n \n"},
        {CallableKind::Function,
         "",
         "is_contained",
         {{"inner", rect}, {"outer", rect}, {"min_overlap_pct", f32}},
         boolean,
         "Tells whether the part of inner that lies inside outer spans at least min_overlap_pct "
         "of inner's width and of its height; min_overlap_pct is a fraction (0.8 means 80 per "
         "cent).",
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
         "Creates a new stateful session using the provided configuration. Vital identifiers "
         "that the registry does not know are ignored.",
         "\n\t\t \t\n\t \n  "},
        {CallableKind::Method,
         "Session",
         "process",
         {{"input", record("SessionInput")}, {"mode", enumeration("WaveformMode")}},
         record("SessionResult"),
         "Processes a new batch of inputs, updating the session's internal state, and returns "
         "the calculated vital signs and waveforms. The mode selects the frames returned and "
         "whether the history is pruned; a batch whose per-frame lengths disagree changes "
         "nothing and is reported in the result's message.",
         "  \n \n  \t\n "},
        {CallableKind::Method,
         "Session",
         "assess",
         {},
         record("Assessment"),
         "Checks the vitals of the last processed batch against the session's history: for each "
         "one a quality from 0 to 1 measured on the signal itself, the reasons behind a low one, "
         "and the value the checks stand behind; and the beats of the pulse waveform. Changes "
         "nothing.",
         ""},
        {CallableKind::Method,
         "Session",
         "reset",
         {},
         std::nullopt,
         "Resets the internal state of the session, clearing all historical buffers.",
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
         "Creates a buffer planner that applies the given buffer limits, usually those of "
         "compute_buffer_config.",
         " \t \n\n \n "},
        {CallableKind::Method,
         "BufferPlanner",
         "evaluate_target",
         {{"target_roi", record("Rect")}, {"timestamp", f64}, {"active_buffers", active_buffers}},
         record("BufferAction"),
         "Matches a newly detected region against the active buffers: KeepAlive with the id of "
         "the fresh buffer that overlaps it best when their intersection over union is at least "
         "0.6, otherwise Create with the region for a new buffer.",
         "\n\t \n   \t  \t"},
        {CallableKind::Method,
         "BufferPlanner",
         "is_ready",
         {{"count", u32}, {"mode", mode}, {"has_state", boolean}, {"flush", boolean}},
         boolean,
         "Tells whether a buffer holding count frames may run inference: it needs the minimum "
         "for the engine's state and, in file mode without flush, a full file_max frames.",
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
         "Plans the next inference: picks the most recently created ready buffer, says how many "
         "frames to take from it and keep as overlap, and lists the stale and superseded "
         "buffers to drop.",
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
