#include "geometry/roi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace quorvanta {
namespace {

using roi_method::Custom;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr std::optional<float> kNone;

// Identical bit patterns, except that any NaN matches any NaN.
testing::AssertionResult same_float(float actual, float expected) {
    const bool both_nan = std::isnan(actual) && std::isnan(expected);
    if (both_nan ||
        std::bit_cast<std::uint32_t>(actual) == std::bit_cast<std::uint32_t>(expected)) {
        return testing::AssertionSuccess();
    }
    return testing::AssertionFailure() << std::hexfloat << actual << " != " << expected;
}

void expect_same_bits(const Rect& actual, const Rect& expected) {
    EXPECT_TRUE(same_float(actual.x, expected.x)) << "x";
    EXPECT_TRUE(same_float(actual.y, expected.y)) << "y";
    EXPECT_TRUE(same_float(actual.width, expected.width)) << "width";
    EXPECT_TRUE(same_float(actual.height, expected.height)) << "height";
}

struct Options {
    FaceDetector detector = FaceDetector::Default;
    std::optional<float> container_width = std::nullopt;
    std::optional<float> container_height = std::nullopt;
    bool force_even = false;
};

TEST(Roi, Cases) {
    struct Case {
        const char* name;
        Rect face;
        RoiMethod method;
        Options options;
        Rect expected;
    };
    const Options plain{};
    const Options apple{.detector = FaceDetector::AppleVision};
    const Options frame{.container_width = 640.0f, .container_height = 480.0f};
    const Options width_only{.container_width = 640.0f};
    const Options height_only{.container_height = 480.0f};
    const Options even{.force_even = true};
    const Options frame100{.container_width = 100.0f, .container_height = 100.0f};
    const Options even_in_frame100{
        .container_width = 100.0f, .container_height = 100.0f, .force_even = true};
    const roi_method::Face face;
    const roi_method::UpperBody upper_body;
    const Custom same{};
    const Custom narrowing{-1, 0, -0.5f, 0};
    const Rect box{100, 100, 200, 200};
    const Rect small{10, 10, 100, 100};
    const Rect wide{0, 0, 100, 10};
    const Case cases[] = {
        {"face", box, face, plain, {140, 120, 120, 160}},
        {"apple framing", box, same, apple, {110, 80, 180, 270}},
        {"apple face", box, face, apple, {146, 107, 108, 216}},
        {"upper body clipped", small, upper_body, frame, {0, 0, 135, 150}},
        {"width-only container", small, upper_body, width_only, {-15, -10, 150, 160}},
        {"height-only container", small, upper_body, height_only, {-15, -10, 150, 160}},
        {"right of frame keeps x", {700, 10, 50, 50}, same, frame, {700, 10, 0, 50}},
        {"NaN left edge clips to frame", {kNaN, 0, 10, 10}, same, frame100, {0, 0, 100, 10}},
        {"even: 121.5 rounds up", {0, 0, 121.5f, 8}, same, even, {0, 0, 122, 8}},
        {"even: 123.4 loses one", {0, 0, 123.4f, 8}, same, even, {0, 0, 122, 8}},
        {"even: 0.6 becomes 0", {0, 0, 0.6f, 8}, same, even, {0, 0, 0, 8}},
        {"even: edges round halves away", {-2.5f, 2.5f, 4, 4}, same, even, {-3, 3, 4, 4}},
        {"even after clipping", {10.5f, 0, 89.5f, 50}, same, even_in_frame100, {11, 0, 90, 50}},
        {"negative width", wide, narrowing, plain, {100, 0, -50, 10}},
        {"negative even width kept", wide, narrowing, even, {100, 0, -50, 10}},
        {"negative odd width to 0", wide, Custom{-1, 0, -0.51f, 0}, even, {100, 0, 0, 10}},
        {"negative width clamped", wide, narrowing, frame, {100, 0, 0, 10}},
        {"even saturates", {0, 0, 1e10f, -1e10f}, same, even, {0, 0, 0x1p31f, -0x1p31f}},
        {"even NaN extent", {0, 0, kNaN, 4}, same, even, {kNaN, 0, 0, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Options& o = c.options;
        expect_same_bits(calculate_roi(c.face, c.method, o.detector, o.container_width,
                                       o.container_height, o.force_even),
                         c.expected);
    }
}

TEST(Roi, BuiltInMethodsGiveTheirBoxes) {
    struct Case {
        const char* name;
        RoiMethod method;
        Rect expected;  // for a face at (0, 0, 1000, 1000)
    };
    const Case cases[] = {
        {"face", roi_method::Face{}, {200, 100, 600, 800}},
        {"forehead", roi_method::Forehead{}, {350, 150, 300, 100}},
        {"upper body", roi_method::UpperBody{}, {-250, -200, 1500, 1600}},
        {"upper body cropped", roi_method::UpperBodyCropped{}, {-190, -145.5f, 1380, 1422.4f}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Rect roi =
            calculate_roi({0, 0, 1000, 1000}, c.method, FaceDetector::Default, kNone, kNone, false);
        EXPECT_NEAR(roi.x, c.expected.x, 1e-3);
        EXPECT_NEAR(roi.y, c.expected.y, 1e-3);
        EXPECT_NEAR(roi.width, c.expected.width, 1e-3);
        EXPECT_NEAR(roi.height, c.expected.height, 1e-3);
    }
    EXPECT_EQ(roi_offsets(Custom{1, 2, 3, 4}), (RoiOffsets{1, 2, 3, 4}));
}

TEST(Roi, RoundsInWrittenOrder) {
    const Rect face{12.3456f, 7.891f, 97.2937317f, 43.382267f};
    // AppleVision framing, then the Face offsets, each product formed before its sum.
    const float side = face.width * -0.05f;
    const float raise = face.height * 0.1f;
    const float x = face.x - side;
    const float y = face.y - raise;
    const float w = side + (face.width + side);
    const float h = face.height * 0.25f + (face.height + raise);
    const Rect expected{x - w * -0.2f, y - h * -0.1f, (w + w * -0.2f) + w * -0.2f,
                        (h + h * -0.1f) + h * -0.1f};
    ASSERT_NE(expected.width, face.width * 0.9f * 0.6f);  // the order matters for this input
    ASSERT_NE(expected.height, face.height * 1.35f * 0.8f);
    expect_same_bits(
        calculate_roi(face, roi_method::Face{}, FaceDetector::AppleVision, kNone, kNone, false),
        expected);
}

// Double-precision reference on inputs that are multiples of 1/8 with few significant bits,
// where every f32 operation is exact: the documented closed form of each step.
Rect reference_roi(const Rect& f, const Custom& m, std::optional<double> cw,
                   std::optional<double> ch, bool force_even) {
    double x = f.x - m.left * double{f.width};
    double y = f.y - m.top * double{f.height};
    double w = f.width * (1.0 + m.left + m.right);
    double h = f.height * (1.0 + m.top + m.bottom);
    if (cw && ch) {
        const double right = std::min(x + w, *cw);
        const double bottom = std::min(y + h, *ch);
        x = std::max(x, 0.0);
        y = std::max(y, 0.0);
        w = std::max(right - x, 0.0);
        h = std::max(bottom - y, 0.0);
    }
    if (force_even) {
        const auto even = [](double v) {
            const long long n = std::llround(v);
            return static_cast<double>(n % 2 == 0 ? n : std::max(n - 1, 0LL));
        };
        x = std::round(x);
        y = std::round(y);
        w = even(w);
        h = even(h);
    }
    return {static_cast<float>(x), static_cast<float>(y), static_cast<float>(w),
            static_cast<float>(h)};
}

TEST(Roi, MatchesDoubleReferenceOnExactInputs) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> edge(-64, 640);
    std::uniform_int_distribution<int> extent(1, 256);
    std::uniform_int_distribution<int> eighths(-8, 8);
    std::uniform_int_distribution<int> coin(0, 1);
    const auto offset = [&] { return static_cast<float>(eighths(rng)) / 8.0f; };
    for (int i = 0; i < 2000; ++i) {
        const Rect face{static_cast<float>(edge(rng)), static_cast<float>(edge(rng)),
                        static_cast<float>(extent(rng)), static_cast<float>(extent(rng))};
        const Custom method{offset(), offset(), offset(), offset()};
        const bool clip = coin(rng) == 1;
        const bool even = coin(rng) == 1;
        const std::optional<float> cw = clip ? std::optional<float>(edge(rng) + 64.0f) : kNone;
        const std::optional<float> ch = clip ? std::optional<float>(edge(rng) + 64.0f) : kNone;
        SCOPED_TRACE(testing::Message() << "case " << i);
        expect_same_bits(calculate_roi(face, method, FaceDetector::Default, cw, ch, even),
                         reference_roi(face, method, cw, ch, even));
    }
}

}  // namespace
}  // namespace quorvanta
