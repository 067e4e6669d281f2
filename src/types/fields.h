// SPDX-License-Identifier: Apache-2.0
// Every record's fields, in interface order, as member pointers with their names. Both front
// doors walk records through these lists: the C door encodes fields in this order, the Python door
// exposes them as attributes in this order under these names.
#pragma once

#include <array>
#include <cstddef>
#include <string_view>
#include <type_traits>
#include <utility>

#include "types/records.h"

namespace quorvanta {

template <auto... Members>
struct FieldList {
    static constexpr std::size_t kFieldCount = sizeof...(Members);
};

// Specialised for every record: a FieldList plus kNames, one name per member in the same order.
template <class T>
struct Fields {};

template <class T>
concept Record = requires {
    Fields<T>::kFieldCount;
};

template <class T, auto Member>
using FieldType = std::remove_cvref_t<decltype(std::declval<T&>().*Member)>;

template <std::size_t N>
using FieldNames = std::array<std::string_view, N>;

template <>
struct Fields<Rect> : FieldList<&Rect::x, &Rect::y, &Rect::width, &Rect::height> {
    static constexpr FieldNames<4> kNames{"x", "y", "width", "height"};
};
template <>
struct Fields<FaceInput> : FieldList<&FaceInput::coordinates, &FaceInput::confidence> {
    static constexpr FieldNames<2> kNames{"coordinates", "confidence"};
};
template <>
struct Fields<FaceResult>
    : FieldList<&FaceResult::coordinates, &FaceResult::confidence, &FaceResult::note> {
    static constexpr FieldNames<3> kNames{"coordinates", "confidence", "note"};
};
template <>
struct Fields<SignalInput> : FieldList<&SignalInput::data, &SignalInput::confidence> {
    static constexpr FieldNames<2> kNames{"data", "confidence"};
};
template <>
struct Fields<SessionConfig>
    : FieldList<&SessionConfig::model_name, &SessionConfig::supported_vitals,
                &SessionConfig::return_waveforms, &SessionConfig::fps_target,
                &SessionConfig::input_size, &SessionConfig::n_inputs, &SessionConfig::roi_method> {
    static constexpr FieldNames<7> kNames{"model_name", "supported_vitals", "return_waveforms",
                                          "fps_target", "input_size",       "n_inputs",
                                          "roi_method"};
};
template <>
struct Fields<SessionInput>
    : FieldList<&SessionInput::face, &SessionInput::signals, &SessionInput::timestamp> {
    static constexpr FieldNames<3> kNames{"face", "signals", "timestamp"};
};
template <>
struct Fields<VitalResult> : FieldList<&VitalResult::value, &VitalResult::confidence,
                                       &VitalResult::unit, &VitalResult::note> {
    static constexpr FieldNames<4> kNames{"value", "confidence", "unit", "note"};
};
template <>
struct Fields<WaveformResult> : FieldList<&WaveformResult::data, &WaveformResult::confidence,
                                          &WaveformResult::unit, &WaveformResult::note> {
    static constexpr FieldNames<4> kNames{"data", "confidence", "unit", "note"};
};
template <>
struct Fields<SessionResult>
    : FieldList<&SessionResult::timestamp, &SessionResult::face, &SessionResult::waveforms,
                &SessionResult::vitals, &SessionResult::fps, &SessionResult::message> {
    static constexpr FieldNames<6> kNames{"timestamp", "face", "waveforms",
                                          "vitals",    "fps",  "message"};
};
template <>
struct Fields<VitalDisplayMeta> : FieldList<&VitalDisplayMeta::id, &VitalDisplayMeta::display_name,
                                            &VitalDisplayMeta::short_name, &VitalDisplayMeta::unit,
                                            &VitalDisplayMeta::color, &VitalDisplayMeta::emoji> {
    static constexpr FieldNames<6> kNames{"id",   "display_name", "short_name",
                                          "unit", "color",        "emoji"};
};
template <>
struct Fields<BufferConfig>
    : FieldList<&BufferConfig::min_no_state, &BufferConfig::min_with_state,
                &BufferConfig::stream_max, &BufferConfig::file_max, &BufferConfig::overlap> {
    static constexpr FieldNames<5> kNames{"min_no_state", "min_with_state", "stream_max",
                                          "file_max", "overlap"};
};
template <>
struct Fields<BufferMetadata>
    : FieldList<&BufferMetadata::id, &BufferMetadata::roi, &BufferMetadata::count,
                &BufferMetadata::created_at, &BufferMetadata::last_seen> {
    static constexpr FieldNames<5> kNames{"id", "roi", "count", "created_at", "last_seen"};
};
template <>
struct Fields<BufferAction>
    : FieldList<&BufferAction::action, &BufferAction::matched_id, &BufferAction::roi> {
    static constexpr FieldNames<3> kNames{"action", "matched_id", "roi"};
};
template <>
struct Fields<InferenceCommand>
    : FieldList<&InferenceCommand::buffer_id, &InferenceCommand::take_count,
                &InferenceCommand::keep_count> {
    static constexpr FieldNames<3> kNames{"buffer_id", "take_count", "keep_count"};
};
template <>
struct Fields<ExecutionPlan> : FieldList<&ExecutionPlan::command, &ExecutionPlan::buffers_to_drop> {
    static constexpr FieldNames<2> kNames{"command", "buffers_to_drop"};
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

}  // namespace quorvanta
