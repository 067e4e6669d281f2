// SPDX-License-Identifier: Apache-2.0
// The records and enums that cross the library's boundary, as plain values. Field and variant
// order is the order of the interface: both front doors encode and convert in this order.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>

namespace quorvanta {

struct Rect {
    float x = 0;
    float y = 0;
    float width = 0;
    float height = 0;
    bool operator==(const Rect&) const = default;
};

struct FaceInput {
    std::vector<std::vector<float>> coordinates;
    std::vector<float> confidence;
    bool operator==(const FaceInput&) const = default;
};

struct FaceResult {
    std::vector<std::vector<float>> coordinates;
    std::vector<float> confidence;
    std::optional<std::string> note;
    bool operator==(const FaceResult&) const = default;
};

struct SignalInput {
    std::vector<float> data;
    std::vector<float> confidence;
    bool operator==(const SignalInput&) const = default;
};

struct SessionConfig {
    std::string model_name;
    std::vector<std::string> supported_vitals;
    std::optional<std::vector<std::string>> return_waveforms;
    float fps_target = 0;
    std::uint64_t input_size = 0;
    std::uint64_t n_inputs = 0;
    std::string roi_method;
    bool operator==(const SessionConfig&) const = default;
};

struct SessionInput {
    std::optional<FaceInput> face;
    std::unordered_map<std::string, SignalInput> signals;
    std::vector<double> timestamp;
    bool operator==(const SessionInput&) const = default;
};

struct VitalResult {
    float value = 0;
    float confidence = 0;
    std::string unit;
    std::string note;
    bool operator==(const VitalResult&) const = default;
};

struct WaveformResult {
    std::vector<float> data;
    std::vector<float> confidence;
    std::string unit;
    std::string note;
    bool operator==(const WaveformResult&) const = default;
};

struct SessionResult {
    std::vector<double> timestamp;
    std::optional<FaceResult> face;
    std::unordered_map<std::string, WaveformResult> waveforms;
    std::unordered_map<std::string, VitalResult> vitals;
    float fps = 0;
    std::string message;
    bool operator==(const SessionResult&) const = default;
};

struct VitalDisplayMeta {
    std::string id;
    std::string display_name;
    std::string short_name;
    std::string unit;
    std::string color;
    std::string emoji;
    bool operator==(const VitalDisplayMeta&) const = default;
};

struct BufferConfig {
    std::uint32_t min_no_state = 0;
    std::uint32_t min_with_state = 0;
    std::uint32_t stream_max = 0;
    std::uint32_t file_max = 0;
    std::uint32_t overlap = 0;
    bool operator==(const BufferConfig&) const = default;
};

struct BufferMetadata {
    std::string id;
    Rect roi;
    std::uint32_t count = 0;
    double created_at = 0;
    double last_seen = 0;
    bool operator==(const BufferMetadata&) const = default;
};

enum class BufferActionType { Create, KeepAlive, Ignore };

struct BufferAction {
    BufferActionType action = BufferActionType::Create;
    std::optional<std::string> matched_id;
    std::optional<Rect> roi;
    bool operator==(const BufferAction&) const = default;
};

struct InferenceCommand {
    std::string buffer_id;
    std::uint32_t take_count = 0;
    std::uint32_t keep_count = 0;
    bool operator==(const InferenceCommand&) const = default;
};

struct ExecutionPlan {
    std::optional<InferenceCommand> command;
    std::vector<std::string> buffers_to_drop;
    bool operator==(const ExecutionPlan&) const = default;
};

// Enums whose variants carry no data.
enum class FaceDetector { Default, AppleVision };
enum class InferenceMode { Stream, File };
// How a pulse is projected from a region's mean skin colour.
enum class PulseMethod { Pos, Chrom };

// The checks beside the session's estimators: how far each vital can be trusted, and the beats.
enum class BeatStatus : std::uint8_t {
    Normal = 0,  // as detected
    Corrected,   // inserted where one was missed, or moved where it was ectopic or misplaced
    Rejected,    // an extra beat, left out of the intervals
};

struct VitalAssessment {
    float value = 0;          // the session's value
    float checked_value = 0;  // the value the checks stand behind
    float quality = 0;        // 0 to 1, from the signal itself
    std::vector<std::string> reasons;
    bool operator==(const VitalAssessment&) const = default;
};

struct Beats {
    std::vector<double> times;       // seconds
    std::vector<BeatStatus> status;  // one per time
    std::vector<float> intervals;    // normal-to-normal intervals, ms
    bool operator==(const Beats&) const = default;
};

struct Assessment {
    std::unordered_map<std::string, VitalAssessment> vitals;
    Beats beats;
    bool operator==(const Assessment&) const = default;
};

// Enums with data-carrying variants: one alternative per variant, in variant order.
namespace roi_method {
struct Face {
    bool operator==(const Face&) const = default;
};
struct Forehead {
    bool operator==(const Forehead&) const = default;
};
struct UpperBody {
    bool operator==(const UpperBody&) const = default;
};
struct UpperBodyCropped {
    bool operator==(const UpperBodyCropped&) const = default;
};
// Fractions of the face's width (left, right) and height (top, bottom) by which each side moves
// outward; note the order differs from Rect's.
struct Custom {
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;
    bool operator==(const Custom&) const = default;
};
}  // namespace roi_method
using RoiMethod = std::variant<roi_method::Face, roi_method::Forehead, roi_method::UpperBody,
                               roi_method::UpperBodyCropped, roi_method::Custom>;

namespace waveform_mode {
struct Incremental {
    bool operator==(const Incremental&) const = default;
};
struct Windowed {
    float seconds = 0;
    bool operator==(const Windowed&) const = default;
};
struct Global {
    bool operator==(const Global&) const = default;
};
}  // namespace waveform_mode
using WaveformMode =
    std::variant<waveform_mode::Incremental, waveform_mode::Windowed, waveform_mode::Global>;

}  // namespace quorvanta
