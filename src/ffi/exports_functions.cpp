// SPDX-License-Identifier: Apache-2.0
// Exports of the stateless functions: ROI derivation, rectangle overlap, the vital registry and the
// pulse from skin colour and the respiration from a region's motion.
#include <stdexcept>
#include <vector>

#include "ffi/call.h"
#include "geometry/overlap.h"
#include "geometry/roi.h"
#include "quorvanta_core.h"
#include "registry/registry.h"
#include "signal/region_motion.h"
#include "signal/skin_pulse.h"

using namespace quorvanta;
using namespace quorvanta::ffi;

extern "C" {

RustBuffer uniffi_quorvanta_core_fn_func_calculate_roi(RustBuffer face, RustBuffer method,
                                                       RustBuffer detector,
                                                       RustBuffer container_width,
                                                       RustBuffer container_height,
                                                       int8_t force_even, RustCallStatus* status) {
    const OwnedBuffer face_arg{face}, method_arg{method}, detector_arg{detector},
        width_arg{container_width}, height_arg{container_height};
    return guarded_call(status, [&] {
        const auto face_rect = lift<Rect>("face", face_arg);
        const auto roi_method = lift<RoiMethod>("method", method_arg);
        const auto face_detector = lift<FaceDetector>("detector", detector_arg);
        const auto width = lift<std::optional<float>>("container_width", width_arg);
        const auto height = lift<std::optional<float>>("container_height", height_arg);
        const bool even = lift_bool("force_even", force_even);
        return encode(calculate_roi(face_rect, roi_method, face_detector, width, height, even));
    });
}

float uniffi_quorvanta_core_fn_func_compute_iou(RustBuffer a, RustBuffer b,
                                                RustCallStatus* status) {
    const OwnedBuffer a_arg{a}, b_arg{b};
    return guarded_call(status, [&] {
        const auto first = lift<Rect>("a", a_arg);
        const auto second = lift<Rect>("b", b_arg);
        return compute_iou(first, second);
    });
}

int8_t uniffi_quorvanta_core_fn_func_is_contained(RustBuffer inner, RustBuffer outer,
                                                  float min_overlap_pct, RustCallStatus* status) {
    const OwnedBuffer inner_arg{inner}, outer_arg{outer};
    return guarded_call(status, [&] {
        const auto inner_rect = lift<Rect>("inner", inner_arg);
        const auto outer_rect = lift<Rect>("outer", outer_arg);
        return lower_bool(is_contained(inner_rect, outer_rect, min_overlap_pct));
    });
}

RustBuffer uniffi_quorvanta_core_fn_func_get_vital_info(RustBuffer vital_id,
                                                        RustCallStatus* status) {
    const OwnedBuffer id_arg{vital_id};
    return guarded_call(status,
                        [&] { return encode(get_vital_info(lift_text("vital_id", id_arg))); });
}

RustBuffer uniffi_quorvanta_core_fn_func_extract_pulse(RustBuffer red, RustBuffer green,
                                                       RustBuffer blue, RustBuffer timestamps,
                                                       RustBuffer method, RustCallStatus* status) {
    const OwnedBuffer red_arg{red}, green_arg{green}, blue_arg{blue}, timestamps_arg{timestamps},
        method_arg{method};
    return guarded_call(status, [&] {
        const auto reds = lift<std::vector<float>>("red", red_arg);
        const auto greens = lift<std::vector<float>>("green", green_arg);
        const auto blues = lift<std::vector<float>>("blue", blue_arg);
        const auto times = lift<std::vector<double>>("timestamps", timestamps_arg);
        const auto pulse_method = lift<PulseMethod>("method", method_arg);
        if (const auto mismatch =
                colour_trace_mismatch(reds.size(), greens.size(), blues.size(), times.size()))
            throw std::invalid_argument(*mismatch);
        return encode(extract_pulse(reds, greens, blues, times, pulse_method));
    });
}

RustBuffer uniffi_quorvanta_core_fn_func_extract_respiration(RustBuffer reference_rows,
                                                             RustBuffer frame_rows,
                                                             RustCallStatus* status) {
    const OwnedBuffer reference_arg{reference_rows}, frames_arg{frame_rows};
    return guarded_call(status, [&] {
        const auto reference = lift<std::vector<float>>("reference_rows", reference_arg);
        const auto profiles = lift<std::vector<float>>("frame_rows", frames_arg);
        if (const auto mismatch = profile_mismatch(reference.size(), profiles.size()))
            throw std::invalid_argument(*mismatch);
        return encode(extract_respiration(reference, profiles));
    });
}

}  // extern "C"
