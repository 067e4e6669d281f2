// SPDX-License-Identifier: Apache-2.0
// Exports of the Session object: constructor, process, assess and reset.
#include "ffi/call.h"
#include "ffi/handles.h"
#include "quorvanta_core.h"
#include "state/session.h"

using namespace quorvanta;
using namespace quorvanta::ffi;

extern "C" {

void* uniffi_quorvanta_core_fn_constructor_session_new(RustBuffer config, RustCallStatus* status) {
    const OwnedBuffer config_arg{config};
    return guarded_call(status, [&] {
        return new_handle<Session>(ObjectKind::Session, lift<SessionConfig>("config", config_arg));
    });
}

RustBuffer uniffi_quorvanta_core_fn_method_session_process(void* session, RustBuffer input,
                                                           RustBuffer mode,
                                                           RustCallStatus* status) {
    const OwnedBuffer input_arg{input}, mode_arg{mode};
    return guarded_call(status, [&] {
        const AdoptedHandle<Session> receiver(session, ObjectKind::Session);
        const auto batch = lift<SessionInput>("input", input_arg);
        const auto waveform_mode = lift<WaveformMode>("mode", mode_arg);
        return encode(receiver->process(batch, waveform_mode));
    });
}

RustBuffer uniffi_quorvanta_core_fn_method_session_assess(void* session, RustCallStatus* status) {
    return guarded_call(status, [&] {
        const AdoptedHandle<Session> receiver(session, ObjectKind::Session);
        return encode(receiver->assess());
    });
}

void uniffi_quorvanta_core_fn_method_session_reset(void* session, RustCallStatus* status) {
    guarded_call(status, [&] {
        const AdoptedHandle<Session> receiver(session, ObjectKind::Session);
        receiver->reset();
    });
}

}  // extern "C"
