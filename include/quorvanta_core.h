// SPDX-License-Identifier: Apache-2.0
/*
 * quorvanta_core: C interface.
 *
 * Every operation takes a RustCallStatus* as its last argument. The host sets code to 0 and
 * error_buf to an empty buffer before the call; a successful call leaves the status untouched.
 * A failed call sets code to 2, stores the message as raw UTF-8 (no length prefix) in error_buf,
 * which the host then owns and frees with ffi_quorvanta_core_rustbuffer_free, and returns zero.
 *
 * Values other than plain scalars travel in RustBuffers, encoded big-endian. Buffers passed as
 * arguments are consumed by the call; buffers returned belong to the host, which frees them
 * with ffi_quorvanta_core_rustbuffer_free.
 *
 * Objects are reference-counted handles. Every method consumes one reference of its receiver:
 * clone the handle first to keep using the object.
 */
#ifndef QUORVANTA_CORE_H
#define QUORVANTA_CORE_H

#include <stdint.h>

#if defined(__GNUC__) || defined(__clang__)
#define QUORVANTA_API __attribute__((visibility("default")))
#else
#define QUORVANTA_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

typedef struct RustBuffer {
    uint64_t capacity;
    uint64_t len;
    uint8_t* data;
} RustBuffer;

typedef struct ForeignBytes {
    int32_t len;
    const uint8_t* data;
} ForeignBytes;

typedef struct RustCallStatus {
    int8_t code;
    RustBuffer error_buf;
} RustCallStatus;

enum { QUORVANTA_CALL_SUCCESS = 0, QUORVANTA_CALL_ERROR = 1, QUORVANTA_CALL_UNEXPECTED_ERROR = 2 };

/* Buffers. */
QUORVANTA_API RustBuffer ffi_quorvanta_core_rustbuffer_alloc(uint64_t size, RustCallStatus* status);
QUORVANTA_API RustBuffer ffi_quorvanta_core_rustbuffer_from_bytes(ForeignBytes bytes,
                                                                  RustCallStatus* status);
QUORVANTA_API void ffi_quorvanta_core_rustbuffer_free(RustBuffer buf, RustCallStatus* status);
QUORVANTA_API RustBuffer ffi_quorvanta_core_rustbuffer_reserve(RustBuffer buf, uint64_t additional,
                                                               RustCallStatus* status);

/* Contract version (26) and interface checksums. */
QUORVANTA_API uint32_t ffi_quorvanta_core_uniffi_contract_version(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_constructor_bufferplanner_new(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_constructor_session_new(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_func_calculate_roi(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_func_compute_buffer_config(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_func_compute_iou(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_func_get_vital_info(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_func_is_contained(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_method_bufferplanner_evaluate_target(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_method_bufferplanner_is_ready(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_method_bufferplanner_poll(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_method_session_process(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_method_session_reset(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_method_session_assess(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_func_extract_pulse(void);
QUORVANTA_API uint16_t uniffi_quorvanta_core_checksum_func_extract_respiration(void);

/* Object handles: clone adds a reference, free drops one. */
QUORVANTA_API void* uniffi_quorvanta_core_fn_clone_session(void* handle, RustCallStatus* status);
QUORVANTA_API void uniffi_quorvanta_core_fn_free_session(void* handle, RustCallStatus* status);
QUORVANTA_API void* uniffi_quorvanta_core_fn_clone_bufferplanner(void* handle,
                                                                 RustCallStatus* status);
QUORVANTA_API void uniffi_quorvanta_core_fn_free_bufferplanner(void* handle,
                                                               RustCallStatus* status);

/* Session. config: SessionConfig. */
QUORVANTA_API void* uniffi_quorvanta_core_fn_constructor_session_new(RustBuffer config,
                                                                     RustCallStatus* status);
/* input: SessionInput; mode: WaveformMode. Returns a SessionResult. Consumes the reference. */
QUORVANTA_API RustBuffer uniffi_quorvanta_core_fn_method_session_process(void* session,
                                                                         RustBuffer input,
                                                                         RustBuffer mode,
                                                                         RustCallStatus* status);
/* Returns an Assessment of the vitals of the last processed batch: each one's quality, reasons and
 * checked value, and the beats of the pulse waveform. Consumes the reference. */
QUORVANTA_API RustBuffer uniffi_quorvanta_core_fn_method_session_assess(void* session,
                                                                        RustCallStatus* status);
/* Clears the session's history. Consumes the reference. */
QUORVANTA_API void uniffi_quorvanta_core_fn_method_session_reset(void* session,
                                                                 RustCallStatus* status);

/* Stateless functions. */
/* face: Rect; method: RoiMethod; detector: FaceDetector; container_width, container_height:
 * optional f32. Returns a Rect. */
QUORVANTA_API RustBuffer uniffi_quorvanta_core_fn_func_calculate_roi(
    RustBuffer face, RustBuffer method, RustBuffer detector, RustBuffer container_width,
    RustBuffer container_height, int8_t force_even, RustCallStatus* status);
/* a, b: Rect. */
QUORVANTA_API float uniffi_quorvanta_core_fn_func_compute_iou(RustBuffer a, RustBuffer b,
                                                              RustCallStatus* status);
/* inner, outer: Rect; min_overlap_pct is a fraction (0.8 means 80 per cent). */
QUORVANTA_API int8_t uniffi_quorvanta_core_fn_func_is_contained(RustBuffer inner, RustBuffer outer,
                                                                float min_overlap_pct,
                                                                RustCallStatus* status);
/* vital_id: UTF-8 text without length prefix. Returns optional VitalDisplayMeta. */
QUORVANTA_API RustBuffer uniffi_quorvanta_core_fn_func_get_vital_info(RustBuffer vital_id,
                                                                      RustCallStatus* status);
/* red, green, blue: sequence of f32, a region's mean colour per frame; timestamps: sequence of
 * f64 seconds, as many; method: PulseMethod. Returns a SignalInput: the pulse and its confidence
 * per frame. Channels and timestamps of different lengths are refused. */
QUORVANTA_API RustBuffer uniffi_quorvanta_core_fn_func_extract_pulse(
    RustBuffer red, RustBuffer green, RustBuffer blue, RustBuffer timestamps, RustBuffer method,
    RustCallStatus* status);
/* reference_rows: sequence of f32, a region's row profile; frame_rows: sequence of f32, the same
 * region's row profile per frame, one after another. Returns a SignalInput: the rise of each frame
 * against the reference in rows and its confidence. frame_rows that is not whole profiles is
 * refused. */
QUORVANTA_API RustBuffer uniffi_quorvanta_core_fn_func_extract_respiration(
    RustBuffer reference_rows, RustBuffer frame_rows, RustCallStatus* status);
/* config: SessionConfig; only input_size and n_inputs are read. Returns a BufferConfig. */
QUORVANTA_API RustBuffer
uniffi_quorvanta_core_fn_func_compute_buffer_config(RustBuffer config, RustCallStatus* status);

/* BufferPlanner. config: BufferConfig. */
QUORVANTA_API void* uniffi_quorvanta_core_fn_constructor_bufferplanner_new(RustBuffer config,
                                                                           RustCallStatus* status);
/* target_roi: Rect; active_buffers: sequence of BufferMetadata. Returns a BufferAction.
 * Consumes the reference. */
QUORVANTA_API RustBuffer uniffi_quorvanta_core_fn_method_bufferplanner_evaluate_target(
    void* planner, RustBuffer target_roi, double timestamp, RustBuffer active_buffers,
    RustCallStatus* status);
/* mode: InferenceMode. Consumes the reference. */
QUORVANTA_API int8_t uniffi_quorvanta_core_fn_method_bufferplanner_is_ready(
    void* planner, uint32_t count, RustBuffer mode, int8_t has_state, int8_t flush,
    RustCallStatus* status);
/* active_buffers: sequence of BufferMetadata; mode: InferenceMode. Returns an ExecutionPlan.
 * Consumes the reference. */
QUORVANTA_API RustBuffer uniffi_quorvanta_core_fn_method_bufferplanner_poll(
    void* planner, RustBuffer active_buffers, double current_time, RustBuffer mode,
    int8_t has_state, int8_t flush, RustCallStatus* status);

/*
 * Futures. No operation of this interface is asynchronous, so no future handle is ever issued;
 * these exist so that generated bindings link. For any handle: poll calls the continuation at
 * once with UNIFFI_RUST_FUTURE_POLL_READY (when one is given), complete fails with code 2 and
 * returns zero, cancel and free do nothing.
 */
typedef void (*UniffiRustFutureContinuationCallback)(uint64_t data, int8_t poll_result);
enum { UNIFFI_RUST_FUTURE_POLL_READY = 0, UNIFFI_RUST_FUTURE_POLL_MAYBE_READY = 1 };

#define QUORVANTA_FUTURE_DECLARATIONS(suffix, type)                                              \
    QUORVANTA_API void ffi_quorvanta_core_rust_future_poll_##suffix(                             \
        uint64_t handle, UniffiRustFutureContinuationCallback callback, uint64_t callback_data); \
    QUORVANTA_API void ffi_quorvanta_core_rust_future_cancel_##suffix(uint64_t handle);          \
    QUORVANTA_API void ffi_quorvanta_core_rust_future_free_##suffix(uint64_t handle);            \
    QUORVANTA_API type ffi_quorvanta_core_rust_future_complete_##suffix(uint64_t handle,         \
                                                                        RustCallStatus* status);

QUORVANTA_FUTURE_DECLARATIONS(u8, uint8_t)
QUORVANTA_FUTURE_DECLARATIONS(i8, int8_t)
QUORVANTA_FUTURE_DECLARATIONS(u16, uint16_t)
QUORVANTA_FUTURE_DECLARATIONS(i16, int16_t)
QUORVANTA_FUTURE_DECLARATIONS(u32, uint32_t)
QUORVANTA_FUTURE_DECLARATIONS(i32, int32_t)
QUORVANTA_FUTURE_DECLARATIONS(u64, uint64_t)
QUORVANTA_FUTURE_DECLARATIONS(i64, int64_t)
QUORVANTA_FUTURE_DECLARATIONS(f32, float)
QUORVANTA_FUTURE_DECLARATIONS(f64, double)
QUORVANTA_FUTURE_DECLARATIONS(pointer, void*)
QUORVANTA_FUTURE_DECLARATIONS(rust_buffer, RustBuffer)
QUORVANTA_FUTURE_DECLARATIONS(void, void)

#undef QUORVANTA_FUTURE_DECLARATIONS

#ifdef __cplusplus
}
#endif

#endif /* QUORVANTA_CORE_H */
