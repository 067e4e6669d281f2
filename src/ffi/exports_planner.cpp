// SPDX-License-Identifier: Apache-2.0
// Exports of buffer planning: the buffer configuration and the BufferPlanner object.
#include <vector>

#include "ffi/call.h"
#include "ffi/handles.h"
#include "planning/buffer_planner.h"
#include "quorvanta_core.h"

using namespace quorvanta;
using namespace quorvanta::ffi;

extern "C" {

RustBuffer uniffi_quorvanta_core_fn_func_compute_buffer_config(RustBuffer config,
                                                               RustCallStatus* status) {
    const OwnedBuffer config_arg{config};
    return guarded_call(status, [&] {
        return encode(compute_buffer_config(lift<SessionConfig>("config", config_arg)));
    });
}

void* uniffi_quorvanta_core_fn_constructor_bufferplanner_new(RustBuffer config,
                                                             RustCallStatus* status) {
    const OwnedBuffer config_arg{config};
    return guarded_call(status, [&] {
        return new_handle<BufferPlanner>(ObjectKind::BufferPlanner,
                                         lift<BufferConfig>("config", config_arg));
    });
}

RustBuffer uniffi_quorvanta_core_fn_method_bufferplanner_evaluate_target(void* planner,
                                                                         RustBuffer target_roi,
                                                                         double timestamp,
                                                                         RustBuffer active_buffers,
                                                                         RustCallStatus* status) {
    const OwnedBuffer roi_arg{target_roi}, buffers_arg{active_buffers};
    return guarded_call(status, [&] {
        const AdoptedHandle<BufferPlanner> receiver(planner, ObjectKind::BufferPlanner);
        const auto roi = lift<Rect>("target_roi", roi_arg);
        const auto buffers = lift<std::vector<BufferMetadata>>("active_buffers", buffers_arg);
        return encode(receiver->evaluate_target(roi, timestamp, buffers));
    });
}

int8_t uniffi_quorvanta_core_fn_method_bufferplanner_is_ready(void* planner, uint32_t count,
                                                              RustBuffer mode, int8_t has_state,
                                                              int8_t flush,
                                                              RustCallStatus* status) {
    const OwnedBuffer mode_arg{mode};
    return guarded_call(status, [&] {
        const AdoptedHandle<BufferPlanner> receiver(planner, ObjectKind::BufferPlanner);
        const auto inference_mode = lift<InferenceMode>("mode", mode_arg);
        const bool state = lift_bool("has_state", has_state);
        const bool flushing = lift_bool("flush", flush);
        return lower_bool(receiver->is_ready(count, inference_mode, state, flushing));
    });
}

RustBuffer uniffi_quorvanta_core_fn_method_bufferplanner_poll(void* planner,
                                                              RustBuffer active_buffers,
                                                              double current_time, RustBuffer mode,
                                                              int8_t has_state, int8_t flush,
                                                              RustCallStatus* status) {
    const OwnedBuffer buffers_arg{active_buffers}, mode_arg{mode};
    return guarded_call(status, [&] {
        const AdoptedHandle<BufferPlanner> receiver(planner, ObjectKind::BufferPlanner);
        const auto buffers = lift<std::vector<BufferMetadata>>("active_buffers", buffers_arg);
        const auto inference_mode = lift<InferenceMode>("mode", mode_arg);
        const bool state = lift_bool("has_state", has_state);
        const bool flushing = lift_bool("flush", flush);
        return encode(receiver->poll(buffers, current_time, inference_mode, state, flushing));
    });
}

}  // extern "C"
