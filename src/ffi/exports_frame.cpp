// SPDX-License-Identifier: Apache-2.0
// Exports of the frame: buffers, contract version, interface checksums and object handles.
#include <stdexcept>

#include "ffi/call.h"
#include "ffi/contract_version.h"
#include "ffi/handles.h"
#include "ffi/rust_buffer.h"
#include "quorvanta_core.h"

using namespace quorvanta::ffi;

namespace {

std::span<const std::uint8_t> checked_view(ForeignBytes bytes) {
    if (bytes.len < 0) throw std::runtime_error("bytes length negative or overflowed");
    if (bytes.data == nullptr) {
        if (bytes.len != 0) throw std::runtime_error("null ForeignBytes had non-zero length");
        return {};
    }
    return {bytes.data, static_cast<std::size_t>(bytes.len)};
}

}  // namespace

extern "C" {

RustBuffer ffi_quorvanta_core_rustbuffer_alloc(uint64_t size, RustCallStatus* status) {
    return guarded_call(status, [&] { return allocate_zeroed(size); });
}

RustBuffer ffi_quorvanta_core_rustbuffer_from_bytes(ForeignBytes bytes, RustCallStatus* status) {
    return guarded_call(status, [&] { return copy_bytes(checked_view(bytes)); });
}

void ffi_quorvanta_core_rustbuffer_free(RustBuffer buf, RustCallStatus* status) {
    guarded_call(status, [&] {
        check_invariants(buf);
        release(buf);
    });
}

RustBuffer ffi_quorvanta_core_rustbuffer_reserve(RustBuffer buf, uint64_t additional,
                                                 RustCallStatus* status) {
    return guarded_call(status, [&] {
        check_invariants(buf);
        return reserve(buf, additional);
    });
}

uint32_t ffi_quorvanta_core_uniffi_contract_version(void) {
    return kContractVersion;
}

uint16_t uniffi_quorvanta_core_checksum_constructor_bufferplanner_new(void) {
    return 8442;
}
uint16_t uniffi_quorvanta_core_checksum_constructor_session_new(void) {
    return 38741;
}
uint16_t uniffi_quorvanta_core_checksum_func_calculate_roi(void) {
    return 39504;
}
uint16_t uniffi_quorvanta_core_checksum_func_compute_buffer_config(void) {
    return 60181;
}
uint16_t uniffi_quorvanta_core_checksum_func_compute_iou(void) {
    return 42017;
}
uint16_t uniffi_quorvanta_core_checksum_func_extract_pulse(void) {
    return 29539;
}
uint16_t uniffi_quorvanta_core_checksum_func_extract_respiration(void) {
    return 16677;
}
uint16_t uniffi_quorvanta_core_checksum_func_get_vital_info(void) {
    return 12718;
}
uint16_t uniffi_quorvanta_core_checksum_func_is_contained(void) {
    return 26927;
}
uint16_t uniffi_quorvanta_core_checksum_method_bufferplanner_evaluate_target(void) {
    return 53374;
}
uint16_t uniffi_quorvanta_core_checksum_method_bufferplanner_is_ready(void) {
    return 62024;
}
uint16_t uniffi_quorvanta_core_checksum_method_bufferplanner_poll(void) {
    return 59925;
}
uint16_t uniffi_quorvanta_core_checksum_method_session_process(void) {
    return 23803;
}
uint16_t uniffi_quorvanta_core_checksum_method_session_reset(void) {
    return 26380;
}
uint16_t uniffi_quorvanta_core_checksum_method_session_assess(void) {
    return 45006;
}

void* uniffi_quorvanta_core_fn_clone_session(void* handle, RustCallStatus* status) {
    return guarded_call(status, [&] { return clone_handle(handle, ObjectKind::Session); });
}

void uniffi_quorvanta_core_fn_free_session(void* handle, RustCallStatus* status) {
    guarded_call(status, [&] { release_handle(handle, ObjectKind::Session); });
}

void* uniffi_quorvanta_core_fn_clone_bufferplanner(void* handle, RustCallStatus* status) {
    return guarded_call(status, [&] { return clone_handle(handle, ObjectKind::BufferPlanner); });
}

void uniffi_quorvanta_core_fn_free_bufferplanner(void* handle, RustCallStatus* status) {
    guarded_call(status, [&] { release_handle(handle, ObjectKind::BufferPlanner); });
}

}  // extern "C"
