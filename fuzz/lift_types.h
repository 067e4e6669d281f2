// SPDX-License-Identifier: Apache-2.0
// The argument types of the C interface that fuzz_lift lifts, numbered by its selector byte.
#pragma once

#include <cstdint>

namespace fuzz {

enum class LiftedType : std::uint8_t {
    SessionConfig,
    SessionInput,
    WaveformMode,
    RoiMethod,
    FaceDetector,
    InferenceMode,
    Rect,
    BufferConfig,
    BufferMetadataList,
    String,       // length-prefixed, as inside records
    OptionalF32,  // container_width and container_height
    PulseMethod,
    F32List,  // the colour channels
    Text,     // a top-level string argument: the whole buffer, no length prefix
};

inline constexpr std::uint8_t kLiftedTypeCount = static_cast<std::uint8_t>(LiftedType::Text) + 1;

}  // namespace fuzz
