// SPDX-License-Identifier: Apache-2.0
// Exports of the stateless functions: ROI derivation, rectangle overlap and the vital registry.
#include "ffi/call.h"
#include "geometry/overlap.h"
#include "geometry/roi.h"
#include "quorvanta_core.h"
#include "registry/registry.h"

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

}  // extern "C"
