// SPDX-License-Identifier: Apache-2.0
// Reads the interface metadata back from the built library file as a binding generator does:
// walks the ELF .symtab for UNIFFI_META symbols, decodes every item with a decoder of its own and
// checks the items against the interface and against the checksum exports.
#include <elf.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <map>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "ffi/host.h"

namespace {

using host::Bytes;

template <class T>
T read(const Bytes& file, std::uint64_t offset) {
    if (offset > file.size() || file.size() - offset < sizeof(T)) throw std::out_of_range("EOF");
    T value;
    std::memcpy(&value, file.data() + offset, sizeof value);
    return value;
}

// Every UNIFFI_META symbol of the library's .symtab (64-bit little-endian ELF only), with the
// bytes it covers.
std::map<std::string, Bytes> metadata_symbols() {
    std::ifstream in(QUORVANTA_LIBRARY_PATH, std::ios::binary);
    const Bytes file{std::istreambuf_iterator<char>(in), {}};
    const auto header = read<Elf64_Ehdr>(file, 0);
    if (header.e_ident[EI_CLASS] != ELFCLASS64) throw std::runtime_error("not 64-bit ELF");
    const auto section = [&](std::size_t index) {
        return read<Elf64_Shdr>(file, header.e_shoff + index * header.e_shentsize);
    };
    std::map<std::string, Bytes> symbols;
    for (std::size_t index = 0; index < header.e_shnum; ++index) {
        const Elf64_Shdr table = section(index);
        if (table.sh_type != SHT_SYMTAB) continue;
        const std::uint64_t names = section(table.sh_link).sh_offset;
        for (std::uint64_t at = 0; at < table.sh_size; at += sizeof(Elf64_Sym)) {
            const auto symbol = read<Elf64_Sym>(file, table.sh_offset + at);
            const std::string name(reinterpret_cast<const char*>(&file.at(names + symbol.st_name)));
            if (!name.starts_with("UNIFFI_META")) continue;
            const Elf64_Shdr home = section(symbol.st_shndx);
            const std::uint64_t start = home.sh_offset + (symbol.st_value - home.sh_addr);
            if (start > file.size() || file.size() - start < symbol.st_size)
                throw std::out_of_range(name);
            symbols[name] = Bytes(file.data() + start, file.data() + start + symbol.st_size);
        }
    }
    return symbols;
}

const auto cased = [](std::string s, auto f) { return std::ranges::transform(s, s.begin(), f), s; };

// Reads one item. The elements of a braced list are read in order, so join({...}) spells out
// the layout. Types print compactly: [T] a sequence, T? an optional, {K:V} a map.
struct Decoder {
    using Part = std::string (Decoder::*)();
    using Parts = std::initializer_list<std::string>;
    std::string bytes;
    std::size_t at = 0;

    static std::string join(Parts p) { return std::accumulate(p.begin(), p.end(), std::string()); }
    int byte() { return static_cast<std::uint8_t>(bytes.at(at++)); }
    std::string text(std::size_t length) { return bytes.substr((at += length) - length, length); }
    std::string str() { return text(static_cast<std::size_t>(byte())); }
    std::string doc() { return doc_from(byte()); }
    std::string doc_from(int low) { return text(static_cast<std::size_t>(low | byte() << 8)); }
    std::string quoted_doc() { return quoted(doc()); }
    static std::string quoted(const std::string& d) { return d.empty() ? d : " \"" + d + "\""; }
    static std::string braced(const std::string& s) { return s.empty() ? s : "{" + s + "}"; }
    std::string zero() { return byte() == 0 ? "" : throw std::runtime_error("unexpected flag"); }
    std::string name() { return module(str()); }
    std::string module(const std::string& m) {
        return m == "quorvanta_core" ? str() : throw std::runtime_error(m);
    }
    std::string type() {
        static const std::map<int, std::string> names{
            {2, "u32"},     {3, "u64"},  {8, "f32"}, {9, "f64"},    {10, "bool"},
            {11, "string"}, {255, "()"}, {13, ""},   {14, "enum "}, {16, "object "}};
        const int code = byte();
        if (code == 12) return type() + "?";
        if (code == 17) return "[" + type() + "]";
        if (code == 18) return join({"{", type(), ":", type(), "}"});
        return code >= 13 && code <= 16 ? names.at(code) + name() : names.at(code);
    }
    std::string list(Part part) {  // "part,part,..."
        std::string out;
        for (int i = 0, n = byte(); i < n; ++i)
            out += (i == 0 ? "" : ",") + (this->*part)();
        return out;
    }
    std::string argument() { return join({str(), ":", type(), zero()}); }  // zero: no default
    std::string field() { return join({argument(), quoted_doc()}); }
    std::string option() { return join({str(), zero(), record(), quoted_doc()}); }
    // The bodies: a record's fields, an enum's variants (after shape and discriminant type,
    // before the non-exhaustive flag), an operation's arguments and return type (after the async
    // flag), nothing for an interface.
    std::string record() { return braced(list(&Decoder::field)); }
    std::string enums() { return join({zero(), zero(), "{", list(&Decoder::option), "}", zero()}); }
    std::string operation() { return join({zero(), "(", list(&Decoder::argument), ")->", type()}); }
    std::string none() { return ""; }
};

struct Item {
    std::string symbol;           // the symbol name that the item's kind and name call for
    std::string text;             // "signature|documentation"
    std::size_t size = 0;         // bytes before whatever follows the item in the file
    std::string checksum_export;  // operations only
};

Item decode(const Bytes& bytes) {
    static const std::map<int, std::pair<std::string, Decoder::Part>> kinds{
        {0, {"func", &Decoder::operation}}, {1, {"method", &Decoder::operation}},
        {2, {"record", &Decoder::record}},  {3, {"enum", &Decoder::enums}},
        {4, {"interface", &Decoder::none}}, {7, {"constructor", &Decoder::operation}}};
    Decoder in{{bytes.begin(), bytes.end()}};
    const int code = in.byte();
    if (code == 6) {  // the crate, then the namespace's name
        const std::string crate = in.str();
        return {"UNIFFI_META_NAMESPACE_" + cased(crate, ::toupper),
                "namespace " + crate + " " + in.str() + "|", in.at, ""};
    }
    const auto& [kind, body] = kinds.at(code);
    const std::string object = in.name(), method = code == 1 || code == 7 ? in.str() : "";
    const std::string name = kind + "_" + object + (method.empty() ? "" : "_" + method);
    const std::string signature =
        kind + " " + object + (method.empty() ? "" : "." + method) + (in.*body)();
    const std::string checksum = "uniffi_quorvanta_core_checksum_" + cased(name, ::tolower);
    return {"UNIFFI_META_QUORVANTA_CORE_" + cased(name, ::toupper), signature + "|" + in.doc(),
            in.at, body == &Decoder::operation ? checksum : ""};
}

std::uint16_t fnv1a_checksum(const Bytes& bytes, std::size_t size) {
    std::uint64_t hash = 0xcbf29ce484222325;
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ bytes[i]) * 0x100000001b3;
    return static_cast<std::uint16_t>(hash ^ hash >> 16 ^ hash >> 32 ^ hash >> 48);
}

// How many items besides the operations there are (the namespace, records, enums and objects),
// and those whose fields between them use every kind of type a field can have, with their
// documentation's first words. Each operation is held to the checksum its export returns.
constexpr std::size_t kTypeItems = 23;
const char* const kExpectedItems[] = {
    "namespace quorvanta_core quorvanta_core|",
    "record SessionConfig{model_name:string,supported_vitals:[string],return_waveforms:[string]?,"
    "fps_target:f32,input_size:u64,n_inputs:u64,roi_method:string}|Configuration for",
    "record SessionResult{timestamp:[f64],face:FaceResult?,waveforms:{string:WaveformResult},"
    "vitals:{string:VitalResult},fps:f32,message:string}|The final payload",
    "record BufferMetadata{id:string,roi:Rect,count:u32,created_at:f64,last_seen:f64}|Identifiable",
    "record BufferAction{action:enum BufferActionType,matched_id:string?,roi:Rect?}|The concrete",
    "enum WaveformMode{Incremental \"Returns only newly added frames, discarding older history.\","
    "Windowed{seconds:f32} \"Returns a fixed trailing window of data (in seconds).\","
    "Global \"Returns the entire history and disables state pruning.\"}|Dictates how the session",
    "interface Session|A thread-safe, stateful session object",
};

}  // namespace

TEST(InterfaceMetadata, LibraryFileHoldsEveryTypeOfTheInterfaceUnderItsName) {
    std::vector<std::string> items;
    for (const auto& [name, bytes] : metadata_symbols()) {
        const Item item = decode(bytes);
        EXPECT_EQ(name, item.symbol);
        if (item.checksum_export.empty()) items.push_back(item.text);
    }
    EXPECT_EQ(items.size(), kTypeItems);
    for (const std::string expected : kExpectedItems) {
        SCOPED_TRACE(expected);
        const auto matches = [&](const std::string& item) { return item.starts_with(expected); };
        EXPECT_EQ(std::ranges::count_if(items, matches), 1);
    }
}

TEST(InterfaceMetadata, OperationsHashToTheChecksumsTheirExportsReturn) {
    int operations = 0;
    for (const auto& [name, bytes] : metadata_symbols()) {
        const Item item = decode(bytes);
        if (item.checksum_export.empty()) continue;
        SCOPED_TRACE(name);
        ++operations;
        const auto checksum = host::lib().get<std::uint16_t()>(item.checksum_export.c_str());
        ASSERT_NE(checksum, nullptr);
        EXPECT_EQ(fnv1a_checksum(bytes, item.size), checksum());
    }
    EXPECT_EQ(operations, 12);
}
