// SPDX-License-Identifier: Apache-2.0
// The asynchronous-future exports. No operation of this interface is asynchronous, so no future
// handle is ever issued and every handle these receive is unknown. Each behaves soundly for it:
// poll reports "ready" at once so that a waiting host moves on to complete instead of hanging,
// complete fails with code 2 and returns zero, cancel and free have nothing to release.
#include <cstdint>

#include "ffi/call.h"
#include "quorvanta_core.h"

using namespace quorvanta::ffi;

namespace {

void poll_unknown_future(UniffiRustFutureContinuationCallback callback, uint64_t callback_data) {
    if (callback != nullptr) callback(callback_data, UNIFFI_RUST_FUTURE_POLL_READY);
}

template <class T>
T complete_unknown_future(RustCallStatus* status) {
    return guarded_call(status, []() -> T {
        throw std::runtime_error("no asynchronous call is pending for this future handle");
    });
}

}  // namespace

#define QUORVANTA_FUTURE_EXPORTS(suffix, type)                                                \
    void ffi_quorvanta_core_rust_future_poll_##suffix(                                        \
        uint64_t, UniffiRustFutureContinuationCallback callback, uint64_t callback_data) {    \
        poll_unknown_future(callback, callback_data);                                         \
    }                                                                                         \
    void ffi_quorvanta_core_rust_future_cancel_##suffix(uint64_t) {}                          \
    void ffi_quorvanta_core_rust_future_free_##suffix(uint64_t) {}                            \
    type ffi_quorvanta_core_rust_future_complete_##suffix(uint64_t, RustCallStatus* status) { \
        return complete_unknown_future<type>(status);                                         \
    }

extern "C" {
QUORVANTA_FUTURE_EXPORTS(u8, uint8_t)
QUORVANTA_FUTURE_EXPORTS(i8, int8_t)
QUORVANTA_FUTURE_EXPORTS(u16, uint16_t)
QUORVANTA_FUTURE_EXPORTS(i16, int16_t)
QUORVANTA_FUTURE_EXPORTS(u32, uint32_t)
QUORVANTA_FUTURE_EXPORTS(i32, int32_t)
QUORVANTA_FUTURE_EXPORTS(u64, uint64_t)
QUORVANTA_FUTURE_EXPORTS(i64, int64_t)
QUORVANTA_FUTURE_EXPORTS(f32, float)
QUORVANTA_FUTURE_EXPORTS(f64, double)
QUORVANTA_FUTURE_EXPORTS(pointer, void*)
QUORVANTA_FUTURE_EXPORTS(rust_buffer, RustBuffer)
QUORVANTA_FUTURE_EXPORTS(void, void)
}
