// SPDX-License-Identifier: Apache-2.0
// Region of interest derived from a detected face box.
#pragma once

#include <optional>
#include <string_view>

#include "types/records.h"

namespace quorvanta {

// Every method moves the sides of the box as a Custom method does: by fractions of the face's
// width (left, right) and height (top, bottom), outward when positive.
using RoiOffsets = roi_method::Custom;

// The offsets that `method` applies: fixed for the built-in methods, the payload for Custom.
RoiOffsets roi_offsets(const RoiMethod& method);

// The built-in method that hosts name "face", "forehead", "upper_body" or "upper_body_cropped"
// (exact case), or nothing.
std::optional<RoiMethod> roi_method_named(std::string_view name);

// The detector that hosts name "default", or "apple_vision", "applevision" or "vision", given in
// lower case; or nothing.
std::optional<FaceDetector> face_detector_named(std::string_view lowered_name);

// The region to crop for `face`. AppleVision boxes are first brought into the default framing.
// The result is clipped to the container only when both its width and height are given; with
// `force_even` it is rounded to whole pixels with an even width and height.
Rect calculate_roi(Rect face, const RoiMethod& method, FaceDetector detector,
                   std::optional<float> container_width, std::optional<float> container_height,
                   bool force_even);

}  // namespace quorvanta
