// SPDX-License-Identifier: Apache-2.0
#include "ffi/rust_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>

namespace quorvanta::ffi {
namespace {

[[noreturn]] void allocation_failed(std::uint64_t size) {
    throw std::runtime_error("memory allocation of " + std::to_string(size) + " bytes failed");
}

void check_capacity(std::uint64_t size) {
    if (size > kMaxCapacity) throw std::runtime_error("capacity overflow");
}

}  // namespace

const char* invariant_violation(const RustBuffer& buf) noexcept {
    if (buf.data != nullptr) {
        return buf.len > buf.capacity ? "RustBuffer length exceeds capacity" : nullptr;
    }
    if (buf.capacity != 0) return "null RustBuffer had non-zero capacity";
    if (buf.len != 0) return "null RustBuffer had non-zero length";
    return nullptr;
}

void check_invariants(const RustBuffer& buf) {
    if (const char* violation = invariant_violation(buf)) throw std::runtime_error(violation);
}

std::uint64_t grown_capacity(std::uint64_t capacity, std::uint64_t len, std::uint64_t additional) {
    if (additional > kMaxCapacity - len) throw std::runtime_error("capacity overflow");
    const std::uint64_t needed = len + additional;
    const std::uint64_t doubled = capacity > kMaxCapacity / 2 ? kMaxCapacity : capacity * 2;
    return std::max({needed, doubled, std::uint64_t{8}});
}

RustBuffer allocate_zeroed(std::uint64_t size) {
    check_capacity(size);
    if (size == 0) return RustBuffer{};
    auto* data = static_cast<std::uint8_t*>(std::calloc(size, 1));
    if (data == nullptr) allocation_failed(size);
    return RustBuffer{size, size, data};
}

RustBuffer copy_bytes(std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) return RustBuffer{};
    auto* data = static_cast<std::uint8_t*>(std::malloc(bytes.size()));
    if (data == nullptr) allocation_failed(bytes.size());
    std::memcpy(data, bytes.data(), bytes.size());
    return RustBuffer{bytes.size(), bytes.size(), data};
}

RustBuffer reserve(RustBuffer buf, std::uint64_t additional) {
    if (buf.capacity - buf.len >= additional) return buf;
    std::uint64_t capacity = 0;
    try {
        capacity = grown_capacity(buf.capacity, buf.len, additional);
    } catch (...) {
        release(buf);
        throw;
    }
    // A capacity-0 buffer may carry a placeholder pointer that malloc never gave out.
    void* old = buf.capacity == 0 ? nullptr : buf.data;
    auto* data = static_cast<std::uint8_t*>(std::realloc(old, capacity));
    if (data == nullptr) {
        release(buf);
        allocation_failed(capacity);
    }
    return RustBuffer{capacity, buf.len, data};
}

void release(const RustBuffer& buf) noexcept {
    if (buf.capacity != 0) std::free(buf.data);
}

OwnedBuffer::OwnedBuffer(RustBuffer buf) noexcept
    : buf_(buf), valid_(invariant_violation(buf) == nullptr) {}

OwnedBuffer::~OwnedBuffer() {
    if (valid_) release(buf_);
}

std::span<const std::uint8_t> OwnedBuffer::bytes() const {
    check_invariants(buf_);
    return bytes_of(buf_);
}

}  // namespace quorvanta::ffi
