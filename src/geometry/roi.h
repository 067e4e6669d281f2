// Region of interest derived from a detected face box.
#pragma once

#include <optional>

#include "types/records.h"

namespace quorvanta {

// Fractions of the face's width (left, right) and height (top, bottom) by which each side of the
// box moves outward; negative values move it inward.
struct RoiOffsets {
    float left = 0;
    float top = 0;
    float right = 0;
    float bottom = 0;
    bool operator==(const RoiOffsets&) const = default;
};

// The offsets that `method` applies: fixed for the built-in methods, the payload for Custom.
RoiOffsets roi_offsets(const RoiMethod& method);

// The region to crop for `face`. AppleVision boxes are first brought into the default framing.
// The result is clipped to the container only when both its width and height are given; with
// `force_even` it is rounded to whole pixels with an even width and height.
Rect calculate_roi(Rect face, const RoiMethod& method, FaceDetector detector,
                   std::optional<float> container_width, std::optional<float> container_height,
                   bool force_even);

}  // namespace quorvanta
