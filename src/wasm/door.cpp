// SPDX-License-Identifier: Apache-2.0
#include "wasm/door.h"

#include <emscripten.h>

#include <exception>
#include <new>
#include <string>

#include "recording/recording.h"
#include "wasm/values.h"

// Throws the JavaScript error; InternalFault is the class the module's loader provides. (The body
// is JavaScript, which clang-format would break apart.)
// clang-format off
EM_JS(void, quorvanta_throw_js_error, (int kind, const char* message), {
    const classes = [TypeError, RangeError, SyntaxError, Module["InternalFault"]];
    throw new classes[kind](UTF8ToString(message));
});
// clang-format on

namespace quorvanta::wasm {
namespace {

enum ErrorKind : int { kTypeError, kRangeError, kSyntaxError, kInternalFault };

// The error being thrown; the module runs on one thread, and the text outlives the throw.
ErrorKind g_kind = kInternalFault;
std::string g_message;

}  // namespace

namespace detail {

void keep_current_exception() {
    try {
        throw;
    } catch (const ArgumentError& error) {
        g_kind = error.kind() == ArgumentError::Kind::Type ? kTypeError : kRangeError;
        g_message = error.what();
    } catch (const InputError& error) {
        g_kind = kSyntaxError;
        g_message = error.what();
    } catch (const std::bad_alloc&) {
        g_kind = kRangeError;
        g_message = "out of memory";
    } catch (const std::exception& error) {
        g_kind = kInternalFault;
        g_message = error.what();
    } catch (...) {
        g_kind = kInternalFault;
        g_message = "Unknown panic!";
    }
}

void throw_kept_error() {
    quorvanta_throw_js_error(g_kind, g_message.c_str());
    __builtin_unreachable();
}

}  // namespace detail
}  // namespace quorvanta::wasm
