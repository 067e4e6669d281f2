// SPDX-License-Identifier: Apache-2.0
#include "ffi/interface_description.h"

#include <utility>

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

std::vector<Record> records() {
    const Type rect = record("Rect");
    const Type buffer_metadata = record("BufferMetadata");
    return {
        {"Rect",
         {{"x", f32}, {"y", f32}, {"width", f32}, {"height", f32}},
         "A simple bounding box definition."},
        {"FaceInput",
         {{"coordinates", sequence(sequence(f32))}, {"confidence", sequence(f32)}},
         "Input payload representing tracked face bounding boxes over a sequence of frames."},
        {"FaceResult",
         {{"coordinates", sequence(sequence(f32))},
          {"confidence", sequence(f32)},
          {"note", optional(string)}},
         "Filtered/smoothed output face coordinates."},
        {"SignalInput",
         {{"data", sequence(f32)}, {"confidence", sequence(f32)}},
         "A generic wrapper for a single physical signal and its corresponding confidence array."},
        {"SessionConfig",
         {{"model_name", string},
          {"supported_vitals", sequence(string)},
          {"return_waveforms", optional(sequence(string))},
          {"fps_target", f32},
          {"input_size", u64},
          {"n_inputs", u64},
          {"roi_method", string}},
         "Configuration for initializing a Quorvanta session."},
        {"SessionInput",
         {{"face", optional(record("FaceInput"))},
          {"signals", map_of(record("SignalInput"))},
          {"timestamp", sequence(f64)}},
         "The core batch input object submitted to the session engine for processing."},
        {"SessionResult",
         {{"timestamp", sequence(f64)},
          {"face", optional(record("FaceResult"))},
          {"waveforms", map_of(record("WaveformResult"))},
          {"vitals", map_of(record("VitalResult"))},
          {"fps", f32},
          {"message", string}},
         "The final payload aggregated from a session processing tick."},
        {"VitalResult",
         {{"value", f32}, {"confidence", f32}, {"unit", string}, {"note", string}},
         "Derived scalar physiological value."},
        {"WaveformResult",
         {{"data", sequence(f32)},
          {"confidence", sequence(f32)},
          {"unit", string},
          {"note", string}},
         "Derived continuous waveform data alongside unit metadata."},
        {"VitalDisplayMeta",
         {{"id", string},
          {"display_name", string},
          {"short_name", string},
          {"unit", string},
          {"color", string},
          {"emoji", string}},
         "Extracted UI/display properties for a specific vital sign."},
        {"BufferConfig",
         {{"min_no_state", u32},
          {"min_with_state", u32},
          {"stream_max", u32},
          {"file_max", u32},
          {"overlap", u32}},
         "Capacity constraints and threshold configuration for buffers."},
        {"BufferMetadata",
         {{"id", string}, {"roi", rect}, {"count", u32}, {"created_at", f64}, {"last_seen", f64}},
         "Identifiable state metadata attached to a specific processing buffer."},
        {"BufferAction",
         {{"action", enumeration("BufferActionType")},
          {"matched_id", optional(string)},
          {"roi", optional(rect)}},
         "The concrete instruction resulting from evaluating a target."},
        {"InferenceCommand",
         {{"buffer_id", string}, {"take_count", u32}, {"keep_count", u32}},
         "Command returned by the BufferPlanner indicating how many frames to extract."},
        {"ExecutionPlan",
         {{"command", optional(record("InferenceCommand"))}, {"buffers_to_drop", sequence(string)}},
         "Aggregated output from the BufferPlanner dictating next steps for all buffers."},
    };
}

// Variants without fields or documentation.
std::vector<Variant> plain_variants(std::vector<std::string> names) {
    std::vector<Variant> variants;
    for (auto& name : names)
        variants.push_back({std::move(name), {}, {}});
    return variants;
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
        {"InferenceMode", plain_variants({"Stream", "File"}),
         "Operational paradigm dictating buffer fill limits."},
        {"BufferActionType", plain_variants({"Create", "KeepAlive", "Ignore"}),
         "Action to be taken on a target ROI after evaluation."},
    };
}

std::vector<Object> objects() {
    return {
        {"Session",
         "A thread-safe, stateful session object for processing continuous frame data natively "
         "across FFI and Wasm."},
        {"BufferPlanner",
         "Manages the tracking, matching, and lifecycle of video frame buffers across a session."},
    };
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
