// SPDX-License-Identifier: Apache-2.0
// ROI derivation in f32 pixels, each product formed before the sums in a fixed order so that
// results are reproducible bit for bit; min and max are IEEE minNum/maxNum.
//
//   AppleVision framing: s = w * -0.05, g = h * 0.1;
//     x - s, y - g, s + (w + s), h * 0.25 + (h + g)          (0.9 w, 1.35 h)
//   offsets (l, t, r, b): ol = w * l, ot = h * t;
//     (x - ol, y - ot, (w + ol) + w * r, (h + ot) + h * b)
//   clipping to (cw, ch): left and top at least 0, right and bottom at most cw and ch,
//     extents at least 0; the left and top edges are not limited by cw and ch.
//   force_even: x and y rounded half away from zero; each extent rounded the same way, saturated
//     to int32 (NaN gives 0) and, when odd, replaced by max(n, 1) - 1.
//
// Nothing fails: without clipping negative extents pass through, and NaN edges are skipped by
// min and max during clipping.
#include "geometry/roi.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>
#include <variant>

#include "types/numeric.h"

namespace quorvanta {
namespace {

constexpr RoiOffsets offsets_of(roi_method::Face) {
    return {-0.2f, -0.1f, -0.2f, -0.1f};
}
constexpr RoiOffsets offsets_of(roi_method::Forehead) {
    return {-0.35f, -0.15f, -0.35f, -0.75f};
}
constexpr RoiOffsets offsets_of(roi_method::UpperBody) {
    return {0.25f, 0.2f, 0.25f, 0.4f};
}
constexpr RoiOffsets offsets_of(roi_method::UpperBodyCropped) {
    return {0.19f, 0.1455f, 0.19f, 0.2769f};
}
constexpr RoiOffsets offsets_of(const roi_method::Custom& custom) {
    return custom;
}

// AppleVision boxes sit higher and wider than the default detector's: narrow the box by 0.05 of
// its width on each side, raise its top by 0.1 and extend its bottom by 0.25 of its height.
Rect to_default_framing(Rect face) {
    const float side = face.width * -0.05f;
    const float raise = face.height * 0.1f;
    const float extend = face.height * 0.25f;
    return {face.x - side, face.y - raise, side + (face.width + side),
            extend + (face.height + raise)};
}

Rect apply_offsets(Rect box, RoiOffsets offsets) {
    const float off_left = box.width * offsets.left;
    const float off_top = box.height * offsets.top;
    const float off_right = box.width * offsets.right;
    const float off_bottom = box.height * offsets.bottom;
    return {box.x - off_left, box.y - off_top, (box.width + off_left) + off_right,
            (box.height + off_top) + off_bottom};
}

Rect clip_to_container(Rect roi, float container_width, float container_height) {
    const float left = max_num(roi.x, 0.0f);
    const float top = max_num(roi.y, 0.0f);
    const float right = min_num(roi.x + roi.width, container_width);
    const float bottom = min_num(roi.y + roi.height, container_height);
    return {left, top, max_num(right - left, 0.0f), max_num(bottom - top, 0.0f)};
}

float even_extent(float extent) {
    const std::int32_t pixels = saturating_cast<std::int32_t>(round_half_away(extent));
    const bool odd = pixels % 2 != 0;
    return static_cast<float>(odd ? std::max(pixels, std::int32_t{1}) - 1 : pixels);
}

Rect round_to_even_pixels(Rect roi) {
    return {round_half_away(roi.x), round_half_away(roi.y), even_extent(roi.width),
            even_extent(roi.height)};
}

constexpr std::array<std::pair<std::string_view, RoiMethod>, 4> kRoiMethods{{
    {"face", roi_method::Face{}},
    {"forehead", roi_method::Forehead{}},
    {"upper_body", roi_method::UpperBody{}},
    {"upper_body_cropped", roi_method::UpperBodyCropped{}},
}};

constexpr std::array<std::pair<std::string_view, FaceDetector>, 4> kFaceDetectors{{
    {"default", FaceDetector::Default},
    {"apple_vision", FaceDetector::AppleVision},
    {"applevision", FaceDetector::AppleVision},
    {"vision", FaceDetector::AppleVision},
}};

template <class Value, std::size_t N>
std::optional<Value> find_name(std::string_view name,
                               const std::array<std::pair<std::string_view, Value>, N>& names) {
    for (const auto& [known, value] : names) {
        if (known == name) return value;
    }
    return std::nullopt;
}

}  // namespace

std::optional<RoiMethod> roi_method_named(std::string_view name) {
    return find_name(name, kRoiMethods);
}

std::optional<FaceDetector> face_detector_named(std::string_view lowered_name) {
    return find_name(lowered_name, kFaceDetectors);
}

RoiOffsets roi_offsets(const RoiMethod& method) {
    return std::visit([](const auto& alternative) { return offsets_of(alternative); }, method);
}

Rect calculate_roi(Rect face, const RoiMethod& method, FaceDetector detector,
                   std::optional<float> container_width, std::optional<float> container_height,
                   bool force_even) {
    const Rect box = detector == FaceDetector::AppleVision ? to_default_framing(face) : face;
    Rect roi = apply_offsets(box, roi_offsets(method));
    if (container_width && container_height) {
        roi = clip_to_container(roi, *container_width, *container_height);
    }
    return force_even ? round_to_even_pixels(roi) : roi;
}

}  // namespace quorvanta
