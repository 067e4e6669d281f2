// SPDX-License-Identifier: Apache-2.0
// The one helper every entry point of the JavaScript door runs in. A C++ exception never leaves
// the module: ArgumentError becomes a JavaScript TypeError or RangeError, an unreadable recording a
// SyntaxError, memory exhaustion a RangeError, and any other exception the module's InternalFault
// with its message ("Unknown panic!" without one). The JavaScript error is thrown only after the
// C++ exception has been handled and every C++ object of the call destroyed. An exception that the
// caller's own JavaScript throws while the call reads its arguments (a getter's, say) passes
// through unchanged, after the same clean-up.
#pragma once

#include <emscripten/val.h>

namespace quorvanta::wasm {

namespace detail {
// Keeps the kind and message of the exception being handled, for throw_kept_error.
void keep_current_exception();
[[noreturn]] void throw_kept_error();
}  // namespace detail

template <class Body>
auto guarded(Body&& body) -> decltype(body()) {
    try {
        return body();
    } catch (...) {
        detail::keep_current_exception();
    }
    detail::throw_kept_error();
}

}  // namespace quorvanta::wasm
