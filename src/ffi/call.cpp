// SPDX-License-Identifier: Apache-2.0
#include "ffi/call.h"

#include <span>

namespace quorvanta::ffi {

LiftError::LiftError(std::string_view arg, std::string_view reason)
    : std::runtime_error("Failed to convert arg '" + std::string(arg) +
                         "': " + std::string(reason)) {}

void report_failure(RustCallStatus* status, std::string_view message) noexcept {
    if (status == nullptr) return;
    status->code = QUORVANTA_CALL_UNEXPECTED_ERROR;
    try {
        const auto* bytes = reinterpret_cast<const std::uint8_t*>(message.data());
        status->error_buf = copy_bytes(std::span(bytes, message.size()));
    } catch (...) {
        status->error_buf = RustBuffer{};
    }
}

std::string lift_text(std::string_view arg, const OwnedBuffer& buffer) {
    const auto bytes = buffer.bytes();
    try {
        return decode_text(bytes);
    } catch (const DecodeError& error) {
        throw LiftError(arg, error.what());
    }
}

bool lift_bool(std::string_view arg, std::int8_t value) {
    if (value != 0 && value != 1) throw LiftError(arg, "unexpected byte for Boolean");
    return value == 1;
}

}  // namespace quorvanta::ffi
