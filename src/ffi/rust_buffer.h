// SPDX-License-Identifier: Apache-2.0
// Byte buffers shared with the host: allocation, growth, release and the invariant checks made
// before a buffer is trusted. Blocks come from malloc so that a buffer can change hands between
// the library's writer and the host without copying.
//
// Every failure throws std::runtime_error with the text the host receives: "capacity overflow"
// for sizes of 2^63 bytes or more, "memory allocation of N bytes failed" when malloc refuses, and
// the invariant messages of check_invariants.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "quorvanta_core.h"

namespace quorvanta::ffi {

// Largest capacity a buffer may have: allocations of 2^63 bytes or more are refused.
inline constexpr std::uint64_t kMaxCapacity = (std::uint64_t{1} << 63) - 1;

// The invariant that `buf` breaks, or null when it is valid.
const char* invariant_violation(const RustBuffer& buf) noexcept;

// Throws when `buf` breaks the buffer invariants: "RustBuffer length exceeds capacity",
// "null RustBuffer had non-zero capacity" or "null RustBuffer had non-zero length".
void check_invariants(const RustBuffer& buf);

// The bytes in use of a valid buffer.
inline std::span<const std::uint8_t> bytes_of(const RustBuffer& buf) {
    return {buf.data, static_cast<std::size_t>(buf.len)};
}

// Capacity after growing a block of `capacity` bytes, `len` in use, so that `additional` more
// fit: max(len + additional, 2 * capacity, 8). Throws "capacity overflow" beyond kMaxCapacity.
std::uint64_t grown_capacity(std::uint64_t capacity, std::uint64_t len, std::uint64_t additional);

// New zero-filled buffer with capacity = len = size; size 0 owns no memory (null data).
RustBuffer allocate_zeroed(std::uint64_t size);

// New buffer holding a copy of `bytes`.
RustBuffer copy_bytes(std::span<const std::uint8_t> bytes);

// Consumes `buf` (which must be valid) and returns it with room for `additional` more bytes,
// grown by grown_capacity when needed. On failure `buf` has been released.
RustBuffer reserve(RustBuffer buf, std::uint64_t additional);

// Releases the block of a valid buffer; buffers of capacity 0 own nothing.
void release(const RustBuffer& buf) noexcept;

// Sole owner of a buffer argument: releases it when the call ends, unless it was invalid (an
// invalid buffer cannot be trusted to hold a block of ours). bytes() throws the invariant
// violation for an invalid buffer.
class OwnedBuffer {
public:
    explicit OwnedBuffer(RustBuffer buf) noexcept;
    ~OwnedBuffer();
    OwnedBuffer(const OwnedBuffer&) = delete;
    OwnedBuffer& operator=(const OwnedBuffer&) = delete;

    std::span<const std::uint8_t> bytes() const;

private:
    RustBuffer buf_;
    bool valid_;
};

}  // namespace quorvanta::ffi
