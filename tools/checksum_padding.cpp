// SPDX-License-Identifier: Apache-2.0
// Finds the checksum padding of one operation (function, constructor or method) of the interface.
//
// Binding generators derive each operation's checksum from the operation's whole metadata item
// (64-bit FNV-1a over its bytes, folded to 16 bits) and compare it with the value that the
// operation's uniffi_quorvanta_core_checksum_* export returns. Those values are fixed, so each
// operation's documentation ends in invisible whitespace (spaces, tabs, newlines), its
// checksum_padding in src/ffi/interface_description.cpp, chosen to make the item hash to the
// fixed value. This tool encodes the operation without its padding and searches the shortest
// padding that gives the wanted checksum.
//
// After changing an operation's name, arguments, result or documentation text, rerun it for
// that operation with its symbol name and the value its export returns (src/ffi/exports_frame.cpp):
//
//   cmake --build build --target quorvanta_checksum_padding
//   build/tools/quorvanta_checksum_padding UNIFFI_META_QUORVANTA_CORE_METHOD_SESSION_PROCESS 23803
//
// and paste the printed C++ string literal as the operation's checksum_padding. The end-to-end
// metadata test checks every operation's checksum against its export.
#include <cstdint>
#include <iostream>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "ffi/interface_description.h"
#include "ffi/interface_metadata.h"

namespace {

using namespace quorvanta::interface;

constexpr std::string_view padding_characters = " \t\n";
constexpr std::size_t longest_padding = 16;

std::uint64_t fnv1a(std::uint64_t hash, std::span<const std::uint8_t> bytes) {
    for (const std::uint8_t byte : bytes)
        hash = (hash ^ byte) * 0x100000001b3;
    return hash;
}

std::uint16_t fold(std::uint64_t hash) {
    return static_cast<std::uint16_t>(hash ^ hash >> 16 ^ hash >> 32 ^ hash >> 48);
}

// Depth-first over every padding of `remaining` more characters, continuing `hash`.
bool complete(std::uint64_t hash, std::size_t remaining, std::uint16_t target,
              std::string& padding) {
    if (remaining == 0) return fold(hash) == target;
    for (const char c : padding_characters) {
        padding.push_back(c);
        const std::uint8_t byte = static_cast<std::uint8_t>(c);
        if (complete(fnv1a(hash, {&byte, 1}), remaining - 1, target, padding)) return true;
        padding.pop_back();
    }
    return false;
}

// `item` is the operation's metadata with an unpadded documentation `doc` at its end.
std::optional<std::string> find_padding(std::span<const std::uint8_t> item, std::string_view doc,
                                        std::uint16_t target) {
    const auto head = item.first(item.size() - 2 - doc.size());
    const std::span<const std::uint8_t> text{reinterpret_cast<const std::uint8_t*>(doc.data()),
                                             doc.size()};
    for (std::size_t length = 0; length <= longest_padding; ++length) {
        const std::size_t doc_length = doc.size() + length;
        const std::uint8_t length_bytes[] = {static_cast<std::uint8_t>(doc_length & 0xff),
                                             static_cast<std::uint8_t>(doc_length >> 8)};
        const std::uint64_t hash =
            fnv1a(fnv1a(fnv1a(0xcbf29ce484222325, head), length_bytes), text);
        std::string padding;
        if (complete(hash, length, target, padding)) return padding;
    }
    return std::nullopt;
}

std::string cpp_literal(std::string_view padding) {
    std::string literal = "\"";
    for (const char c : padding)
        literal += c == '\t' ? "\\t" : c == '\n' ? "\\n" : " ";
    return literal + "\"";
}

int report(const std::optional<std::string>& padding) {
    if (!padding) {
        std::cerr << "no padding of up to " << longest_padding << " characters found\n";
        return 1;
    }
    std::cout << cpp_literal(*padding) << "\n";
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: " << argv[0] << " UNIFFI_META_SYMBOL CHECKSUM\n";
        return 2;
    }
    const Interface& interface = interface_description();
    for (Callable callable : interface.callables) {
        callable.checksum_padding.clear();
        const MetadataItem item = callable_item(interface.crate, callable);
        if (item.symbol == argv[1])
            return report(find_padding(item.bytes, callable.doc,
                                       static_cast<std::uint16_t>(std::stoul(argv[2]))));
    }
    std::cerr << "no operation has the symbol " << argv[1] << "\n";
    return 2;
}
