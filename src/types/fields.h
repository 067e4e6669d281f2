// SPDX-License-Identifier: Apache-2.0
// The interface's records, plain enums and objects, each described once: a record's name, its
// documentation and its fields in interface order (member pointers with their names); an enum's
// name, documentation and variant names; an object's name and documentation. Every door derives
// what it needs from these tables: the C door encodes fields in this order and generates its
// interface metadata (with each field's wire type from its C++ type) from them, the Python door
// makes its classes, attributes and class documentation from them, the JavaScript door its plain
// objects.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>

#include "types/records.h"

namespace quorvanta {

template <auto... Members>
struct FieldList {
    static constexpr std::size_t kFieldCount = sizeof...(Members);
};

// Specialised for every record: a FieldList, plus kName, kDoc and kNames (one name per member, in
// the same order). Variant payloads carry only the FieldList and the names.
template <class T>
struct Fields {};

template <class T>
concept Record = requires {
    Fields<T>::kFieldCount;
};

// Records that the interface names: variant payloads are records too, without a name.
template <class T>
concept NamedRecord = Record<T> && requires {
    Fields<T>::kName;
};

template <class T, auto Member>
using FieldType = std::remove_cvref_t<decltype(std::declval<T&>().*Member)>;

namespace detail {
template <auto... Members>
constexpr auto member_tuple(FieldList<Members...>) {
    return std::tuple{Members...};
}

// Converts to any type, only where nothing is evaluated: counts an aggregate's members.
struct AnyField {
    template <class U>
    operator U() const;  // NOLINT(google-explicit-constructor)
};

template <class T, class... Given>
consteval std::size_t member_count() {
    if constexpr (requires { T{Given{}..., AnyField{}}; }) {
        return member_count<T, Given..., AnyField>();
    } else {
        return sizeof...(Given);
    }
}

// A record's field list names every member, and every field has a name: a member added to a
// record and missed in its table does not compile.
template <class T>
consteval bool lists_every_member() {
    static_assert(member_count<T>() == Fields<T>::kFieldCount,
                  "a member of the record is missing from its field list");
    if constexpr (requires { Fields<T>::kNames; }) {
        static_assert(Fields<T>::kNames.size() == Fields<T>::kFieldCount,
                      "every field of the record needs its interface name");
    }
    return true;
}

template <class T, std::size_t I>
consteval auto member_at() {
    static_assert(lists_every_member<T>());
    return std::get<I>(member_tuple(Fields<T>{}));
}
}  // namespace detail

// The member pointer of a record's I-th field, and that field's type.
template <Record T, std::size_t I>
inline constexpr auto kMember = detail::member_at<T, I>();

template <Record T, std::size_t I>
using FieldTypeAt = FieldType<T, kMember<T, I>>;

template <std::size_t N>
using FieldNames = std::array<std::string_view, N>;

// The index of the field called `name`; a name that is not a field fails to compile where it is
// used in a constant expression.
template <Record T>
constexpr std::size_t field_index(std::string_view name) {
    for (std::size_t i = 0; i < Fields<T>::kNames.size(); ++i) {
        if (Fields<T>::kNames[i] == name) return i;
    }
    throw "no such field";
}

template <>
struct Fields<Rect> : FieldList<&Rect::x, &Rect::y, &Rect::width, &Rect::height> {
    static constexpr std::string_view kName = "Rect";
    static constexpr std::string_view kDoc = "A simple bounding box definition.";
    static constexpr FieldNames<4> kNames{"x", "y", "width", "height"};
};
template <>
struct Fields<FaceInput> : FieldList<&FaceInput::coordinates, &FaceInput::confidence> {
    static constexpr std::string_view kName = "FaceInput";
    static constexpr std::string_view kDoc =
        "Input payload representing tracked face bounding boxes over a sequence of frames.";
    static constexpr FieldNames<2> kNames{"coordinates", "confidence"};
};
template <>
struct Fields<FaceResult>
    : FieldList<&FaceResult::coordinates, &FaceResult::confidence, &FaceResult::note> {
    static constexpr std::string_view kName = "FaceResult";
    static constexpr std::string_view kDoc = "Filtered/smoothed output face coordinates.";
    static constexpr FieldNames<3> kNames{"coordinates", "confidence", "note"};
};
template <>
struct Fields<SignalInput> : FieldList<&SignalInput::data, &SignalInput::confidence> {
    static constexpr std::string_view kName = "SignalInput";
    static constexpr std::string_view kDoc =
        "A generic wrapper for a single physical signal and its corresponding confidence array.";
    static constexpr FieldNames<2> kNames{"data", "confidence"};
};
template <>
struct Fields<SessionConfig>
    : FieldList<&SessionConfig::model_name, &SessionConfig::supported_vitals,
                &SessionConfig::return_waveforms, &SessionConfig::fps_target,
                &SessionConfig::input_size, &SessionConfig::n_inputs, &SessionConfig::roi_method> {
    static constexpr std::string_view kName = "SessionConfig";
    static constexpr std::string_view kDoc = "Configuration for initializing a Quorvanta session.";
    static constexpr FieldNames<7> kNames{"model_name", "supported_vitals", "return_waveforms",
                                          "fps_target", "input_size",       "n_inputs",
                                          "roi_method"};
};
template <>
struct Fields<SessionInput>
    : FieldList<&SessionInput::face, &SessionInput::signals, &SessionInput::timestamp> {
    static constexpr std::string_view kName = "SessionInput";
    static constexpr std::string_view kDoc =
        "The core batch input object submitted to the session engine for processing.";
    static constexpr FieldNames<3> kNames{"face", "signals", "timestamp"};
};
template <>
struct Fields<SessionResult>
    : FieldList<&SessionResult::timestamp, &SessionResult::face, &SessionResult::waveforms,
                &SessionResult::vitals, &SessionResult::fps, &SessionResult::message> {
    static constexpr std::string_view kName = "SessionResult";
    static constexpr std::string_view kDoc =
        "The final payload aggregated from a session processing tick.";
    static constexpr FieldNames<6> kNames{"timestamp", "face", "waveforms",
                                          "vitals",    "fps",  "message"};
};
template <>
struct Fields<VitalResult> : FieldList<&VitalResult::value, &VitalResult::confidence,
                                       &VitalResult::unit, &VitalResult::note> {
    static constexpr std::string_view kName = "VitalResult";
    static constexpr std::string_view kDoc = "Derived scalar physiological value.";
    static constexpr FieldNames<4> kNames{"value", "confidence", "unit", "note"};
};
template <>
struct Fields<WaveformResult> : FieldList<&WaveformResult::data, &WaveformResult::confidence,
                                          &WaveformResult::unit, &WaveformResult::note> {
    static constexpr std::string_view kName = "WaveformResult";
    static constexpr std::string_view kDoc =
        "Derived continuous waveform data alongside unit metadata.";
    static constexpr FieldNames<4> kNames{"data", "confidence", "unit", "note"};
};
template <>
struct Fields<VitalDisplayMeta> : FieldList<&VitalDisplayMeta::id, &VitalDisplayMeta::display_name,
                                            &VitalDisplayMeta::short_name, &VitalDisplayMeta::unit,
                                            &VitalDisplayMeta::color, &VitalDisplayMeta::emoji> {
    static constexpr std::string_view kName = "VitalDisplayMeta";
    static constexpr std::string_view kDoc =
        "Extracted UI/display properties for a specific vital sign.";
    static constexpr FieldNames<6> kNames{"id",   "display_name", "short_name",
                                          "unit", "color",        "emoji"};
};
template <>
struct Fields<BufferConfig>
    : FieldList<&BufferConfig::min_no_state, &BufferConfig::min_with_state,
                &BufferConfig::stream_max, &BufferConfig::file_max, &BufferConfig::overlap> {
    static constexpr std::string_view kName = "BufferConfig";
    static constexpr std::string_view kDoc =
        "Capacity constraints and threshold configuration for buffers.";
    static constexpr FieldNames<5> kNames{"min_no_state", "min_with_state", "stream_max",
                                          "file_max", "overlap"};
};
template <>
struct Fields<BufferMetadata>
    : FieldList<&BufferMetadata::id, &BufferMetadata::roi, &BufferMetadata::count,
                &BufferMetadata::created_at, &BufferMetadata::last_seen> {
    static constexpr std::string_view kName = "BufferMetadata";
    static constexpr std::string_view kDoc =
        "Identifiable state metadata attached to a specific processing buffer.";
    static constexpr FieldNames<5> kNames{"id", "roi", "count", "created_at", "last_seen"};
};
template <>
struct Fields<BufferAction>
    : FieldList<&BufferAction::action, &BufferAction::matched_id, &BufferAction::roi> {
    static constexpr std::string_view kName = "BufferAction";
    static constexpr std::string_view kDoc =
        "The concrete instruction resulting from evaluating a target.";
    static constexpr FieldNames<3> kNames{"action", "matched_id", "roi"};
};
template <>
struct Fields<InferenceCommand>
    : FieldList<&InferenceCommand::buffer_id, &InferenceCommand::take_count,
                &InferenceCommand::keep_count> {
    static constexpr std::string_view kName = "InferenceCommand";
    static constexpr std::string_view kDoc =
        "Command returned by the BufferPlanner indicating how many frames to extract.";
    static constexpr FieldNames<3> kNames{"buffer_id", "take_count", "keep_count"};
};
template <>
struct Fields<ExecutionPlan> : FieldList<&ExecutionPlan::command, &ExecutionPlan::buffers_to_drop> {
    static constexpr std::string_view kName = "ExecutionPlan";
    static constexpr std::string_view kDoc =
        "Aggregated output from the BufferPlanner dictating next steps for all buffers.";
    static constexpr FieldNames<2> kNames{"command", "buffers_to_drop"};
};

template <>
struct Fields<VitalAssessment> : FieldList<&VitalAssessment::value, &VitalAssessment::checked_value,
                                           &VitalAssessment::quality, &VitalAssessment::reasons> {
    static constexpr std::string_view kName = "VitalAssessment";
    static constexpr std::string_view kDoc =
        "How far one vital can be trusted: the session's value, the value that the checks stand "
        "behind (the fundamental where the spectrum took a harmonic, the breathing where drift "
        "won the band, the heart-rate variability of the corrected beats; otherwise the "
        "session's value), a quality from 0 to 1 measured on the signal itself, and the reasons "
        "that lowered it or changed the value.";
    static constexpr FieldNames<4> kNames{"value", "checked_value", "quality", "reasons"};
};
template <>
struct Fields<Beats> : FieldList<&Beats::times, &Beats::status, &Beats::intervals> {
    static constexpr std::string_view kName = "Beats";
    static constexpr std::string_view kDoc =
        "Beats of a pulse waveform: their times in seconds, each one's status, and the "
        "normal-to-normal intervals in milliseconds that heart-rate variability is computed "
        "from.";
    static constexpr FieldNames<3> kNames{"times", "status", "intervals"};
};
template <>
struct Fields<Assessment> : FieldList<&Assessment::vitals, &Assessment::beats> {
    static constexpr std::string_view kName = "Assessment";
    static constexpr std::string_view kDoc =
        "The checks of a session's latest vitals against its history, by vital id, and the "
        "beats of its pulse waveform.";
    static constexpr FieldNames<2> kNames{"vitals", "beats"};
};

// Variant payloads are records too.
template <>
struct Fields<roi_method::Face> : FieldList<> {};
template <>
struct Fields<roi_method::Forehead> : FieldList<> {};
template <>
struct Fields<roi_method::UpperBody> : FieldList<> {};
template <>
struct Fields<roi_method::UpperBodyCropped> : FieldList<> {};
template <>
struct Fields<roi_method::Custom>
    : FieldList<&roi_method::Custom::left, &roi_method::Custom::top, &roi_method::Custom::right,
                &roi_method::Custom::bottom> {
    static constexpr FieldNames<4> kNames{"left", "top", "right", "bottom"};
};
template <>
struct Fields<waveform_mode::Incremental> : FieldList<> {};
template <>
struct Fields<waveform_mode::Windowed> : FieldList<&waveform_mode::Windowed::seconds> {
    static constexpr FieldNames<1> kNames{"seconds"};
};
template <>
struct Fields<waveform_mode::Global> : FieldList<> {};

// Enums whose variants carry no data, which every door offers by the names of their variants:
// kName, kDoc and kVariants, one name per enumerator in enumerator order.
template <class E>
struct Variants {};

template <class E>
concept PlainEnum = requires {
    Variants<E>::kVariants;
};

template <>
struct Variants<InferenceMode> {
    static constexpr std::string_view kName = "InferenceMode";
    static constexpr std::string_view kDoc = "Operational paradigm dictating buffer fill limits.";
    static constexpr std::array<std::string_view, 2> kVariants{"Stream", "File"};
};
template <>
struct Variants<BufferActionType> {
    static constexpr std::string_view kName = "BufferActionType";
    static constexpr std::string_view kDoc = "Action to be taken on a target ROI after evaluation.";
    static constexpr std::array<std::string_view, 3> kVariants{"Create", "KeepAlive", "Ignore"};
};

template <>
struct Variants<FaceDetector> {
    static constexpr std::string_view kName = "FaceDetector";
    static constexpr std::string_view kDoc =
        "The origin detector format of the incoming bounding box.";
    static constexpr std::array<std::string_view, 2> kVariants{"Default", "AppleVision"};
};

template <>
struct Variants<PulseMethod> {
    static constexpr std::string_view kName = "PulseMethod";
    static constexpr std::string_view kDoc =
        "How a pulse is projected from a region's mean skin colour: Pos by the plane orthogonal to "
        "the skin (Wang et al. 2017), Chrom by chrominance (de Haan and Jeanne 2013).";
    static constexpr std::array<std::string_view, 2> kVariants{"Pos", "Chrom"};
};

template <>
struct Variants<BeatStatus> {
    static constexpr std::string_view kName = "BeatStatus";
    static constexpr std::string_view kDoc =
        "Normal as detected; Corrected where a missed beat was inserted or an ectopic or "
        "misplaced one moved; Rejected where an extra beat was left out of the intervals.";
    static constexpr std::array<std::string_view, 3> kVariants{"Normal", "Corrected", "Rejected"};
};

// The interface's objects.
struct ObjectDescription {
    std::string_view name;
    std::string_view doc;
};
inline constexpr ObjectDescription kSessionObject{
    "Session",
    "A thread-safe, stateful session object for processing continuous frame data natively across "
    "FFI and Wasm."};
inline constexpr ObjectDescription kBufferPlannerObject{
    "BufferPlanner",
    "Manages the tracking, matching, and lifecycle of video frame buffers across a session."};

}  // namespace quorvanta
