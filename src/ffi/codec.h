// SPDX-License-Identifier: Apache-2.0
// Byte encoding of the interface's values inside buffers: big-endian numbers, length-prefixed
// strings, sequences and maps, tagged options, records as their fields in order, and enums as a
// 1-based variant index followed by the variant's fields.
//
// Codec<T>::read lifts a T from a Reader and throws DecodeError with the message the host sees;
// Codec<T>::write lowers a T into a Writer. Reading is safe for any input: every read checks the
// bytes remaining first, and no allocation is sized by an untrusted count beyond what the
// remaining bytes could hold.
#pragma once

#include <algorithm>
#include <bit>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>
#include <unordered_map>
#include <utility>
#include <variant>
#include <vector>

#include "ffi/rust_buffer.h"
#include "quorvanta_core.h"
#include "types/fields.h"
#include "types/records.h"

namespace quorvanta::ffi {

// A value could not be lifted; what() is the reason reported to the host.
class DecodeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Consumes encoded bytes from the front of a borrowed span.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> bytes) noexcept : bytes_(bytes) {}

    std::size_t remaining() const noexcept { return bytes_.size() - position_; }

    // The next `count` bytes; throws "not enough bytes remaining in buffer (r < count)".
    std::span<const std::uint8_t> take(std::size_t count) {
        if (count > remaining()) throw_not_enough(count);
        const auto piece = bytes_.subspan(position_, count);
        position_ += count;
        return piece;
    }

    template <std::unsigned_integral U>
    U read_big_endian() {
        // A fixed extent lets the compiler turn the loop into one byte-swapping load.
        const std::span<const std::uint8_t, sizeof(U)> bytes = take(sizeof(U)).first<sizeof(U)>();
        U value = 0;
        for (const std::uint8_t byte : bytes)
            value = static_cast<U>(value << 8 | byte);
        return value;
    }

    std::int32_t read_i32() {
        return std::bit_cast<std::int32_t>(read_big_endian<std::uint32_t>());
    }

    // A string, sequence or map length; negative lengths are refused.
    std::size_t read_length();

    // Throws "junk data left in buffer after lifting (count: n)" unless every byte was read.
    void expect_end() const;

private:
    [[noreturn]] void throw_not_enough(std::size_t count) const;

    std::span<const std::uint8_t> bytes_;
    std::size_t position_ = 0;
};

// Appends encoded bytes to a malloc'ed block that finish() hands over as a RustBuffer. Each
// primitive piece grows the block by the buffer rule max(len + n, 2 * capacity, 8) when it does
// not fit, so the capacities seen by hosts are reproducible.
class Writer {
public:
    Writer() noexcept = default;
    ~Writer() { release(buffer_); }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    std::uint64_t capacity() const noexcept { return buffer_.capacity; }
    std::uint64_t size() const noexcept { return buffer_.len; }

    void write_bytes(std::span<const std::uint8_t> bytes) {
        if (bytes.empty()) return;
        if (buffer_.capacity - buffer_.len < bytes.size()) grow(bytes.size());
        std::memcpy(buffer_.data + buffer_.len, bytes.data(), bytes.size());
        buffer_.len += bytes.size();
    }

    template <std::unsigned_integral U>
    void write_big_endian(U value) {
        std::uint8_t bytes[sizeof(U)];
        for (std::size_t i = sizeof(U); i-- > 0; value = static_cast<U>(value >> 8)) {
            bytes[i] = static_cast<std::uint8_t>(value);
        }
        write_bytes(bytes);
    }

    void write_i32(std::int32_t value) { write_big_endian(std::bit_cast<std::uint32_t>(value)); }

    // A string, sequence or map length; lengths beyond the i32 range cannot be encoded.
    void write_length(std::size_t length);

    // Hands the block over; the writer is left empty.
    RustBuffer finish() && noexcept { return std::exchange(buffer_, RustBuffer{}); }

private:
    // Makes room for `additional` more bytes by the buffer growth rule.
    void grow(std::size_t additional);

    RustBuffer buffer_{};
};

template <class T>
struct Codec;

namespace detail {

// Numbers encoded as their bit pattern in an unsigned integer of the same width.
template <class T>
struct BitsOf {};
template <>
struct BitsOf<std::uint32_t> {
    using type = std::uint32_t;
};
template <>
struct BitsOf<std::uint64_t> {
    using type = std::uint64_t;
};
template <>
struct BitsOf<float> {
    using type = std::uint32_t;
};
template <>
struct BitsOf<double> {
    using type = std::uint64_t;
};

template <class T>
concept FixedWidth = requires {
    typename BitsOf<T>::type;
};

// Variant names for the messages of unknown indexes; plain enums also give their variant count.
template <class E>
struct EnumInfo;

// Reads a 1-based variant index and returns it 0-based; throws "Invalid {name} enum value: i"
// when it is not in 1..variants.
std::size_t read_variant_index(Reader& reader, std::string_view name, std::size_t variants);

// Elements worth reserving for `count` values of at least `min_size` bytes each: no more than
// the remaining bytes could hold, so a forged count cannot force a large allocation.
inline std::size_t bounded_reserve(std::size_t count, std::size_t min_size, const Reader& reader) {
    return std::min(count, reader.remaining() / std::max<std::size_t>(min_size, 1));
}

template <>
struct EnumInfo<RoiMethod> {
    static constexpr std::string_view name = "RoiMethod";
};
template <>
struct EnumInfo<WaveformMode> {
    static constexpr std::string_view name = "WaveformMode";
};
// The enums whose variants the record tables list.
template <PlainEnum E>
struct EnumInfo<E> {
    static constexpr std::string_view name = Variants<E>::kName;
    static constexpr std::size_t variants = Variants<E>::kVariants.size();
};

template <class T, auto... Members>
T read_fields(Reader& reader, FieldList<Members...>) {
    T record;
    // The comma fold reads the fields left to right, in wire order.
    ((record.*Members = Codec<FieldType<T, Members>>::read(reader)), ...);
    return record;
}

template <class T, auto... Members>
void write_fields(Writer& writer, const T& record, FieldList<Members...>) {
    (Codec<FieldType<T, Members>>::write(writer, record.*Members), ...);
}

template <class T, auto... Members>
constexpr std::size_t min_fields_size(FieldList<Members...>) {
    return (std::size_t{0} + ... + Codec<FieldType<T, Members>>::kMinSize);
}

template <class Variant, std::size_t... Indexes>
Variant read_alternative(Reader& reader, std::size_t index, std::index_sequence<Indexes...>) {
    using AlternativeReader = Variant (*)(Reader&);
    static constexpr AlternativeReader kReaders[] = {[](Reader& r) {
        using Alternative = std::variant_alternative_t<Indexes, Variant>;
        return Variant{std::in_place_index<Indexes>, Codec<Alternative>::read(r)};
    }...};
    return kReaders[index](reader);
}

}  // namespace detail

// Each codec also states kMinSize, the fewest bytes any value of its type encodes to.

template <>
struct Codec<bool> {
    static constexpr std::size_t kMinSize = 1;
    static bool read(Reader& reader);
    static void write(Writer& writer, bool value) { writer.write_big_endian<std::uint8_t>(value); }
};

template <detail::FixedWidth T>
struct Codec<T> {
    using Bits = typename detail::BitsOf<T>::type;
    static constexpr std::size_t kMinSize = sizeof(T);
    // Floats travel as raw bit patterns, so NaN payloads survive unchanged.
    static T read(Reader& reader) { return std::bit_cast<T>(reader.read_big_endian<Bits>()); }
    static void write(Writer& writer, T value) {
        writer.write_big_endian(std::bit_cast<Bits>(value));
    }
};

template <>
struct Codec<std::string> {
    static constexpr std::size_t kMinSize = 4;
    static std::string read(Reader& reader);
    static void write(Writer& writer, const std::string& value);
};

template <class T>
struct Codec<std::optional<T>> {
    static constexpr std::size_t kMinSize = 1;

    static std::optional<T> read(Reader& reader) {
        switch (reader.read_big_endian<std::uint8_t>()) {
            case 0:
                return std::nullopt;
            case 1:
                return Codec<T>::read(reader);
            default:
                throw DecodeError("unexpected tag byte for Option");
        }
    }

    static void write(Writer& writer, const std::optional<T>& value) {
        writer.write_big_endian<std::uint8_t>(value.has_value());
        if (value) Codec<T>::write(writer, *value);
    }
};

template <class T>
struct Codec<std::vector<T>> {
    static constexpr std::size_t kMinSize = 4;

    static std::vector<T> read(Reader& reader) {
        const std::size_t count = reader.read_length();
        std::vector<T> values;
        values.reserve(detail::bounded_reserve(count, Codec<T>::kMinSize, reader));
        for (std::size_t i = 0; i < count; ++i)
            values.push_back(Codec<T>::read(reader));
        return values;
    }

    static void write(Writer& writer, const std::vector<T>& values) {
        writer.write_length(values.size());
        for (const T& value : values)
            Codec<T>::write(writer, value);
    }
};

// A key that occurs twice keeps its later value.
template <class V>
struct Codec<std::unordered_map<std::string, V>> {
    using Map = std::unordered_map<std::string, V>;
    static constexpr std::size_t kMinSize = 4;

    static Map read(Reader& reader) {
        const std::size_t count = reader.read_length();
        Map entries;
        const std::size_t entry_min_size = Codec<std::string>::kMinSize + Codec<V>::kMinSize;
        entries.reserve(detail::bounded_reserve(count, entry_min_size, reader));
        for (std::size_t i = 0; i < count; ++i) {
            std::string key = Codec<std::string>::read(reader);
            entries.insert_or_assign(std::move(key), Codec<V>::read(reader));
        }
        return entries;
    }

    static void write(Writer& writer, const Map& entries) {
        writer.write_length(entries.size());
        for (const auto& [key, value] : entries) {
            Codec<std::string>::write(writer, key);
            Codec<V>::write(writer, value);
        }
    }
};

template <Record T>
struct Codec<T> {
    static constexpr std::size_t kMinSize = detail::min_fields_size<T>(Fields<T>{});
    static T read(Reader& reader) { return detail::read_fields<T>(reader, Fields<T>{}); }
    static void write(Writer& writer, const T& value) {
        detail::write_fields(writer, value, Fields<T>{});
    }
};

// Enums without data: the variant index alone.
template <class E>
requires std::is_enum_v<E>
struct Codec<E> {
    using Info = detail::EnumInfo<E>;
    static constexpr std::size_t kMinSize = 4;

    static E read(Reader& reader) {
        return static_cast<E>(detail::read_variant_index(reader, Info::name, Info::variants));
    }
    static void write(Writer& writer, E value) {
        writer.write_i32(static_cast<std::int32_t>(value) + 1);
    }
};

// Enums with data: the variant index, then the fields of the variant's payload.
template <class... Alternatives>
struct Codec<std::variant<Alternatives...>> {
    using Variant = std::variant<Alternatives...>;
    static constexpr std::size_t kMinSize = 4;

    static Variant read(Reader& reader) {
        const std::size_t index = detail::read_variant_index(
            reader, detail::EnumInfo<Variant>::name, sizeof...(Alternatives));
        return detail::read_alternative<Variant>(reader, index,
                                                 std::index_sequence_for<Alternatives...>{});
    }

    static void write(Writer& writer, const Variant& value) {
        writer.write_i32(static_cast<std::int32_t>(value.index() + 1));
        std::visit([&writer]<class Alternative>(
                       const Alternative& payload) { Codec<Alternative>::write(writer, payload); },
                   value);
    }
};

// Lifts one T from the whole of `bytes`; left-over bytes are an error.
template <class T>
T decode(std::span<const std::uint8_t> bytes) {
    Reader reader(bytes);
    T value = Codec<T>::read(reader);
    reader.expect_end();
    return value;
}

// Lowers `value` into a new buffer owned by the caller.
template <class T>
RustBuffer encode(const T& value) {
    Writer writer;
    Codec<T>::write(writer, value);
    return std::move(writer).finish();
}

// A top-level string argument: the whole of `bytes` as UTF-8 text, with no length prefix.
std::string decode_text(std::span<const std::uint8_t> bytes);

}  // namespace quorvanta::ffi
