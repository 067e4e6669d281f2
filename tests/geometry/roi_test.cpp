// SPDX-License-Identifier: Apache-2.0
#include "geometry/roi.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <tuple>

namespace quorvanta {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// The fields' bit patterns, with every NaN written as the same pattern.
std::array<std::uint32_t, 4> bits(const Rect& r) {
    const auto one = [](float v) {
        return std::isnan(v) ? 0x7FC00000 : std::bit_cast<std::uint32_t>(v);
    };
    return {one(r.x), one(r.y), one(r.width), one(r.height)};
}

struct Options {
    std::optional<float> cw{}, ch{};  // container width and height
    bool even = false;
};
using Cases = std::initializer_list<std::tuple<const char*, Rect, RoiMethod, Options, Rect>>;

// Each case: its name, a default-detector face box, the method and options, and the exact ROI.
void expect_rois(Cases cases) {
    for (const auto& [name, face, method, o, expected] : cases) {
        SCOPED_TRACE(name);
        EXPECT_EQ(bits(calculate_roi(face, method, FaceDetector::Default, o.cw, o.ch, o.even)),
                  bits(expected));
    }
}

// Default-detector boxes; the AppleVision framing is pinned below and end to end.
TEST(Roi, WorkedExamples) {
    const Options plain, even{.even = true}, frame{.cw = 640, .ch = 480}, cw_only{.cw = 640};
    const Options even100{.cw = 100, .ch = 100, .even = true};
    const Rect big{0, 0, 1000, 1000}, small{10, 10, 100, 100}, wide{0, 0, 100, 10};
    const roi_method::Custom same, narrowing{-1, 0, -0.5f, 0};
    expect_rois({
        {"face", big, roi_method::Face{}, plain, {200, 100, 600, 800}},
        {"forehead", big, roi_method::Forehead{}, plain, {350, 150, 300, 100}},
        {"cropped", big, roi_method::UpperBodyCropped{}, plain, {-190, -145.5f, 1380, 1422.4f}},
        {"upper body clipped", small, roi_method::UpperBody{}, frame, {0, 0, 135, 150}},
        {"width only: not clipped", small, roi_method::UpperBody{}, cw_only, {-15, -10, 150, 160}},
        {"right of frame keeps x", {700, 10, 50, 50}, same, frame, {700, 10, 0, 50}},
        {"NaN left edge skipped", {kNaN, 0, 10, 10}, same, frame, {0, 0, 640, 10}},
        {"negative width clamped", wide, narrowing, frame, {100, 0, 0, 10}},
        {"even: 121.5 rounds up", {0, 0, 121.5f, 8}, same, even, {0, 0, 122, 8}},
        {"even: 123.4 loses one", {0, 0, 123.4f, 8}, same, even, {0, 0, 122, 8}},
        {"even: edges round halves away", {-2.5f, 2.5f, 4, 4}, same, even, {-3, 3, 4, 4}},
        {"even after clipping", {10.5f, 0, 89.5f, 50}, same, even100, {11, 0, 90, 50}},
        {"negative even width kept", wide, narrowing, even, {100, 0, -50, 10}},
        {"odd negative to 0", wide, roi_method::Custom{-1, 0, -0.51f, 0}, even, {100, 0, 0, 10}},
        {"even saturates to int32", {0, 0, 1e10f, -1e10f}, same, even, {0, 0, 0x1p31f, -0x1p31f}},
        {"even NaN extent gives 0", {0, 0, kNaN, 4}, same, even, {kNaN, 0, 0, 4}},
    });
}

// Infinite, denormal and NaN edges, extents, offsets and containers: min and max skip NaN, an
// infinite extent times a zero offset is NaN, and force_even saturates every extent into the int32
// range (2^31 - 1 is odd and loses one, which rounds back to 2^31 in f32) while the edges keep
// their infinities.
TEST(Roi, HostileNumbers) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    const Options even{.even = true};
    const Rect box{10, 10, 100, 100}, infinite{0, 0, kInf, -kInf}, wide{0, 0, kInf, 4};
    const Rect tiny{1e-45f, -1e-45f, 1e-45f, 1e-45f};
    const roi_method::Custom same, infinite_left{kInf, 0, 0, 0}, nan_left{kNaN, 0, 0, 0};
    const roi_method::UpperBody upper_body;
    expect_rois({
        {"infinite extents", infinite, upper_body, even, {-kInf, kInf, 0x1p31f, -0x1p31f}},
        {"infinite extent times a zero offset", wide, same, even, {kNaN, 0, 0, 4}},
        {"denormal edges and extents", tiny, same, even, {0, -0.0f, 0, 0}},
        {"NaN container", box, same, {.cw = kNaN, .ch = kNaN}, box},
        {"container at minus infinity", box, same, {.cw = -kInf, .ch = -kInf}, {10, 10, 0, 0}},
        {"infinite offset", box, infinite_left, even, {-kInf, 10, 0x1p31f, 100}},
        {"NaN offset", box, nan_left, even, {kNaN, 10, 0, 100}},
    });
}

// Each product is formed before its sum, in the written order; for this input any regrouping
// changes the last bits.
TEST(Roi, RoundsInWrittenOrder) {
    const Rect f{336.841278f, 139.970093f, 228.530655f, 236.366837f};
    const float s = f.width * -0.05f, g = f.height * 0.1f;  // AppleVision framing
    const float x = f.x - s, y = f.y - g, w = s + (f.width + s);
    const float h = f.height * 0.25f + (f.height + g);
    const Rect face_roi{x - w * -0.2f, y - h * -0.1f, (w + w * -0.2f) + w * -0.2f,
                        (h + h * -0.1f) + h * -0.1f};
    ASSERT_NE(face_roi.width, f.width * 0.9f * 0.6f);
    EXPECT_EQ(bits(calculate_roi(f, roi_method::Face{}, FaceDetector::AppleVision, {}, {}, false)),
              bits(face_roi));
}

}  // namespace
}  // namespace quorvanta
