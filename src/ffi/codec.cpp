// SPDX-License-Identifier: Apache-2.0
// Out-of-line parts of the value encoding: error messages, lengths, strings and booleans.
#include "ffi/codec.h"

#include <limits>

#include "ffi/utf8.h"

namespace quorvanta::ffi {
namespace {

constexpr std::size_t kMaxLength = std::numeric_limits<std::int32_t>::max();

// Throws the UTF-8 error's message when `bytes` are not valid UTF-8.
void check_utf8(std::span<const std::uint8_t> bytes) {
    if (const auto error = find_utf8_error(bytes)) throw DecodeError(error->message());
}

std::string to_string(std::span<const std::uint8_t> bytes) {
    return {reinterpret_cast<const char*>(bytes.data()), bytes.size()};
}

std::span<const std::uint8_t> as_bytes(const std::string& text) {
    return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

}  // namespace

void Reader::throw_not_enough(std::size_t count) const {
    throw DecodeError("not enough bytes remaining in buffer (" + std::to_string(remaining()) +
                      " < " + std::to_string(count) + ")");
}

std::size_t Reader::read_length() {
    const std::int32_t length = read_i32();
    if (length < 0) throw DecodeError("out of range integral type conversion attempted");
    return static_cast<std::size_t>(length);
}

void Reader::expect_end() const {
    if (remaining() == 0) return;
    throw DecodeError(
        "junk data left in buffer after lifting (count: " + std::to_string(remaining()) + ")");
}

void Writer::grow(std::size_t additional) {
    // On failure reserve() has released the block, so the writer must no longer hold it.
    buffer_ = reserve(std::exchange(buffer_, RustBuffer{}), additional);
}

void Writer::write_length(std::size_t length) {
    if (length > kMaxLength) throw std::length_error("length beyond 2^31 - 1 cannot be encoded");
    write_i32(static_cast<std::int32_t>(length));
}

namespace detail {

std::size_t read_variant_index(Reader& reader, std::string_view name, std::size_t variants) {
    const std::int32_t index = reader.read_i32();
    if (index < 1 || static_cast<std::size_t>(index) > variants) {
        throw DecodeError("Invalid " + std::string(name) + " enum value: " + std::to_string(index));
    }
    return static_cast<std::size_t>(index - 1);
}

}  // namespace detail

bool Codec<bool>::read(Reader& reader) {
    switch (reader.read_big_endian<std::uint8_t>()) {
        case 0:
            return false;
        case 1:
            return true;
        default:
            throw DecodeError("unexpected byte for Boolean");
    }
}

std::string Codec<std::string>::read(Reader& reader) {
    const std::span<const std::uint8_t> bytes = reader.take(reader.read_length());
    check_utf8(bytes);
    return to_string(bytes);
}

void Codec<std::string>::write(Writer& writer, const std::string& value) {
    writer.write_length(value.size());
    writer.write_bytes(as_bytes(value));
}

std::string decode_text(std::span<const std::uint8_t> bytes) {
    check_utf8(bytes);
    return to_string(bytes);
}

}  // namespace quorvanta::ffi
