// SPDX-License-Identifier: Apache-2.0
// The frame shared by every export. A call runs inside guarded_call, which turns any failure into
// a call status with code 2 and a zero return value, so nothing ever unwinds into the host.
// Arguments are lifted with lift / lift_text / lift_bool, whose failures name the argument.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

#include "ffi/codec.h"
#include "ffi/rust_buffer.h"
#include "quorvanta_core.h"

namespace quorvanta::ffi {

// An argument that could not be lifted: "Failed to convert arg '{arg}': {reason}".
class LiftError : public std::runtime_error {
public:
    LiftError(std::string_view arg, std::string_view reason);
};

// Sets `status` to code 2 with `message` as raw UTF-8 in its error buffer. Should the buffer
// itself not be allocatable, the code is still set and the buffer left empty.
void report_failure(RustCallStatus* status, std::string_view message) noexcept;

// Runs `body` and returns its result. A std::exception is reported with its message, anything
// else thrown as "Unknown panic!"; the call then returns the zero value of its type.
template <class Body>
auto guarded_call(RustCallStatus* status, Body&& body) noexcept -> decltype(body()) {
    using Result = decltype(body());
    try {
        return body();
    } catch (const std::exception& fault) {
        report_failure(status, fault.what());
    } catch (...) {
        report_failure(status, "Unknown panic!");
    }
    if constexpr (!std::is_void_v<Result>) return Result{};
}

// Lifts one encoded value from a buffer argument. A broken buffer is a contract violation and
// is reported as such, not as a conversion failure.
template <class T>
T lift(std::string_view arg, const OwnedBuffer& buffer) {
    const auto bytes = buffer.bytes();
    try {
        return decode<T>(bytes);
    } catch (const DecodeError& error) {
        throw LiftError(arg, error.what());
    }
}

// Lifts a string argument: the buffer's whole content as UTF-8, without a length prefix.
std::string lift_text(std::string_view arg, const OwnedBuffer& buffer);

// Lifts a bool passed as int8_t: 0 or 1, anything else refused.
bool lift_bool(std::string_view arg, std::int8_t value);

// Lowers a bool result.
inline std::int8_t lower_bool(bool value) noexcept {
    return value ? 1 : 0;
}

}  // namespace quorvanta::ffi
