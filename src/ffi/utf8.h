// SPDX-License-Identifier: Apache-2.0
// Strict UTF-8 validation: locates the first ill-formed sequence of a byte string and describes
// it the way a standard decoder does (start index, and length by the "maximal subpart" rule).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace quorvanta::ffi {

struct Utf8Error {
    // Number of leading bytes that form valid text; the bad sequence starts here.
    std::size_t valid_up_to = 0;
    // Length of the ill-formed sequence (1 to 3), or absent when the input ends inside a
    // sequence that was valid so far.
    std::optional<std::size_t> error_len;

    // "invalid utf-8 sequence of {n} bytes from index {i}" or
    // "incomplete utf-8 byte sequence from index {i}".
    std::string message() const;

    bool operator==(const Utf8Error&) const = default;
};

// The first UTF-8 error in `bytes`, or nothing when they are valid UTF-8.
std::optional<Utf8Error> find_utf8_error(std::span<const std::uint8_t> bytes) noexcept;

}  // namespace quorvanta::ffi
