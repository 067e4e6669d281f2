// Reads the interface metadata back from the built library file as a binding generator does:
// walks the ELF .symtab for UNIFFI_META symbols, decodes every item with a decoder of its own and
// checks the items against the interface and against the checksum exports.
#include <elf.h>
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "ffi/host.h"

namespace {

using host::Bytes;

Bytes slice(const Bytes& file, std::uint64_t offset, std::uint64_t size) {
    if (offset > file.size() || file.size() - offset < size) throw std::out_of_range("past EOF");
    return {file.begin() + static_cast<std::ptrdiff_t>(offset),
            file.begin() + static_cast<std::ptrdiff_t>(offset + size)};
}

template <class T>
T read_at(const Bytes& file, std::uint64_t offset) {
    T value;
    std::memcpy(&value, slice(file, offset, sizeof value).data(), sizeof value);
    return value;
}

std::string name_at(const Bytes& file, std::uint64_t offset) {
    if (offset >= file.size()) throw std::out_of_range("name past EOF");
    const auto* start = reinterpret_cast<const char*>(file.data() + offset);
    return {start, strnlen(start, file.size() - offset)};
}

// Every UNIFFI_META symbol of the library's .symtab, with the bytes it covers.
std::map<std::string, Bytes> read_metadata_symbols(const Bytes& file) {
    const auto header = read_at<Elf64_Ehdr>(file, 0);
    if (header.e_ident[EI_CLASS] != ELFCLASS64) throw std::runtime_error("not ELF64");
    const auto section = [&](std::size_t index) {
        return read_at<Elf64_Shdr>(file, header.e_shoff + index * header.e_shentsize);
    };
    std::map<std::string, Bytes> symbols;
    for (std::size_t index = 0; index < header.e_shnum; ++index) {
        const Elf64_Shdr table = section(index);
        if (table.sh_type != SHT_SYMTAB) continue;
        const Elf64_Shdr names = section(table.sh_link);
        for (std::uint64_t at = 0; at < table.sh_size; at += sizeof(Elf64_Sym)) {
            const auto symbol = read_at<Elf64_Sym>(file, table.sh_offset + at);
            const std::string name = name_at(file, names.sh_offset + symbol.st_name);
            if (!name.starts_with("UNIFFI_META")) continue;
            const Elf64_Shdr home = section(symbol.st_shndx);
            symbols[name] =
                slice(file, home.sh_offset + (symbol.st_value - home.sh_addr), symbol.st_size);
        }
    }
    return symbols;
}

const std::map<std::string, Bytes>& metadata_symbols() {
    static const auto symbols = [] {
        std::ifstream in(QUORVANTA_LIBRARY_PATH, std::ios::binary);
        return read_metadata_symbols({std::istreambuf_iterator<char>(in), {}});
    }();
    return symbols;
}

std::string cased(std::string text, int (*convert)(int)) {
    for (char& c : text)
        c = static_cast<char>(convert(static_cast<unsigned char>(c)));
    return text;
}

// What the checks look at in one item.
struct Item {
    std::string symbol;     // the symbol name that the item's kind and name call for
    std::string signature;  // kind, names and types (and inner documentation), compactly
    std::string doc;
    std::string checksum_export;  // operations only
    std::size_t size = 0;         // bytes before whatever follows the item in the file
};

class Decoder {
public:
    explicit Decoder(const Bytes& bytes) : bytes_(bytes) {}

    std::size_t offset() const { return at_; }
    std::uint8_t byte() { return text(1)[0]; }
    void zero(const char* what) {
        if (byte() != 0) throw std::runtime_error(std::string("unexpected ") + what);
    }
    std::string str() { return text(byte()); }
    std::string long_str() {
        const std::size_t low = byte();
        return text(low | std::size_t{byte()} << 8);
    }
    std::string name() {
        if (const std::string module = str(); module != "quorvanta_core")
            throw std::runtime_error("foreign module " + module);
        return str();
    }

    std::string type() {
        static const std::map<int, std::string> scalars{{2, "u32"}, {3, "u64"},   {8, "f32"},
                                                        {9, "f64"}, {10, "bool"}, {11, "string"},
                                                        {255, "()"}},
            named{{13, ""}, {14, "enum "}, {16, "object "}};
        const int code = byte();
        if (code == 12 || code == 17)
            return (code == 12 ? "optional<" : "sequence<") + type() + ">";
        if (code == 18) {
            const std::string key = type();
            return "map<" + key + ", " + type() + ">";
        }
        if (named.contains(code)) return named.at(code) + name();
        return scalars.at(code);
    }

    // Fields (documented) or arguments: "name type, ...".
    std::string list(bool documented) {
        std::string out;
        for (std::size_t i = 0, n = byte(); i < n; ++i) {
            out += (i == 0 ? "" : ", ") + str();
            out += " " + type();
            zero("default value");
            if (documented) out += quoted(long_str());
        }
        return out;
    }

    static std::string quoted(const std::string& doc) {
        return doc.empty() ? "" : " \"" + doc + "\"";
    }

private:
    std::string text(std::size_t length) {
        const Bytes bytes = slice(bytes_, at_, length);
        at_ += length;
        return {bytes.begin(), bytes.end()};
    }

    const Bytes& bytes_;
    std::size_t at_ = 0;
};

std::string symbol(const std::string& kind, const std::string& name) {
    return "UNIFFI_META_QUORVANTA_CORE_" + kind + "_" + cased(name, ::toupper);
}

Item decode_namespace(Decoder& in) {
    const std::string crate = in.str();
    return {"UNIFFI_META_NAMESPACE_" + cased(crate, ::toupper),
            "namespace " + crate + " " + in.str(), "", ""};
}

Item decode_record(Decoder& in) {
    const std::string name = in.name();
    return {symbol("RECORD", name), "record " + name + "{" + in.list(true) + "}", in.long_str(),
            ""};
}

Item decode_enum(Decoder& in) {
    const std::string name = in.name();
    in.zero("enum shape");
    in.zero("discriminant type");
    std::string variants;
    for (std::size_t i = 0, n = in.byte(); i < n; ++i) {
        variants += (i == 0 ? "" : ", ") + in.str();
        in.zero("discriminant");
        if (const std::string fields = in.list(true); !fields.empty())
            variants += "{" + fields + "}";
        variants += Decoder::quoted(in.long_str());
    }
    in.zero("non-exhaustive flag");
    return {symbol("ENUM", name), "enum " + name + "{" + variants + "}", in.long_str(), ""};
}

Item decode_object(Decoder& in) {
    const std::string name = in.name();
    return {symbol("INTERFACE", name), "interface " + name, in.long_str(), ""};
}

// Functions name themselves; constructors and methods their object, then themselves.
Item decode_operation(Decoder& in, std::uint8_t code) {
    static const std::map<int, std::string> kinds{{0, "FUNC"}, {1, "METHOD"}, {7, "CONSTRUCTOR"}};
    const std::string kind = kinds.at(code);
    std::string name = in.name(), shown = name;
    if (code != 0) {
        const std::string operation = in.str();
        shown += "." + operation;
        name += "_" + operation;
    }
    in.zero("async flag");
    const std::string arguments = in.list(false);
    return {symbol(kind, name),
            cased(kind, ::tolower) + " " + shown + "(" + arguments + ") -> " + in.type(),
            in.long_str(), "uniffi_quorvanta_core_checksum_" + cased(kind + "_" + name, ::tolower)};
}

Item decode(const Bytes& bytes) {
    static const std::map<int, Item (*)(Decoder&)> decoders{
        {2, decode_record}, {3, decode_enum}, {4, decode_object}, {6, decode_namespace}};
    Decoder in(bytes);
    const std::uint8_t code = in.byte();
    Item item = decoders.contains(code) ? decoders.at(code)(in) : decode_operation(in, code);
    item.size = in.offset();
    return item;
}

std::uint16_t fnv1a_checksum(std::span<const std::uint8_t> bytes) {
    std::uint64_t hash = 0xcbf29ce484222325;
    for (const std::uint8_t byte : bytes)
        hash = (hash ^ byte) * 0x100000001b3;
    return static_cast<std::uint16_t>(hash ^ hash >> 16 ^ hash >> 32 ^ hash >> 48);
}

struct Expected {
    std::string_view signature;
    std::string_view doc_start;
};

// The interface: every record, enum, object and operation with its documentation's first words.
constexpr Expected expected_items[] = {
    {"namespace quorvanta_core quorvanta_core", ""},
    {"record Rect{x f32, y f32, width f32, height f32}", "A simple bounding box"},
    {"record FaceInput{coordinates sequence<sequence<f32>>, confidence sequence<f32>}",
     "Input payload representing tracked face"},
    {"record FaceResult{coordinates sequence<sequence<f32>>, confidence sequence<f32>, note "
     "optional<string>}",
     "Filtered/smoothed output"},
    {"record SignalInput{data sequence<f32>, confidence sequence<f32>}", "A generic wrapper"},
    {"record SessionConfig{model_name string, supported_vitals sequence<string>, return_waveforms "
     "optional<sequence<string>>, fps_target f32, input_size u64, n_inputs u64, roi_method string}",
     "Configuration for initializing"},
    {"record SessionInput{face optional<FaceInput>, signals map<string, SignalInput>, timestamp "
     "sequence<f64>}",
     "The core batch input object"},
    {"record SessionResult{timestamp sequence<f64>, face optional<FaceResult>, waveforms "
     "map<string, WaveformResult>, vitals map<string, VitalResult>, fps f32, message string}",
     "The final payload aggregated"},
    {"record VitalResult{value f32, confidence f32, unit string, note string}", "Derived scalar"},
    {"record WaveformResult{data sequence<f32>, confidence sequence<f32>, unit string, note "
     "string}",
     "Derived continuous waveform"},
    {"record VitalDisplayMeta{id string, display_name string, short_name string, unit string, "
     "color string, emoji string}",
     "Extracted UI/display properties"},
    {"record BufferConfig{min_no_state u32, min_with_state u32, stream_max u32, file_max u32, "
     "overlap u32}",
     "Capacity constraints"},
    {"record BufferMetadata{id string, roi Rect, count u32, created_at f64, last_seen f64}",
     "Identifiable state metadata"},
    {"record BufferAction{action enum BufferActionType, matched_id optional<string>, roi "
     "optional<Rect>}",
     "The concrete instruction"},
    {"record InferenceCommand{buffer_id string, take_count u32, keep_count u32}",
     "Command returned by the BufferPlanner"},
    {"record ExecutionPlan{command optional<InferenceCommand>, buffers_to_drop sequence<string>}",
     "Aggregated output from the BufferPlanner"},
    {"enum RoiMethod{Face, Forehead, UpperBody, UpperBodyCropped, Custom{left f32, top f32, right "
     "f32, bottom f32}}",
     "Pre-defined and custom methods"},
    {"enum FaceDetector{Default, AppleVision}", "The origin detector format"},
    {"enum WaveformMode{Incremental \"Returns only newly added frames, discarding older "
     "history.\", Windowed{seconds f32} \"Returns a fixed trailing window of data (in seconds).\", "
     "Global \"Returns the entire history and disables state pruning.\"}",
     "Dictates how the session"},
    {"enum InferenceMode{Stream, File}", "Operational paradigm"},
    {"enum BufferActionType{Create, KeepAlive, Ignore}", "Action to be taken"},
    {"interface Session", "A thread-safe, stateful session object"},
    {"interface BufferPlanner", "Manages the tracking, matching, and lifecycle"},
    {"func calculate_roi(face Rect, method enum RoiMethod, detector enum FaceDetector, "
     "container_width optional<f32>, container_height optional<f32>, force_even bool) -> Rect",
     "Derives the region of interest"},
    {"func compute_buffer_config(config SessionConfig) -> BufferConfig", "Sizes the inference"},
    {"func compute_iou(a Rect, b Rect) -> f32", "Returns the intersection over union"},
    {"func get_vital_info(vital_id string) -> optional<VitalDisplayMeta>",
     "Looks up the display name"},
    {"func is_contained(inner Rect, outer Rect, min_overlap_pct f32) -> bool", "Tells whether"},
    {"constructor Session.new(config SessionConfig) -> object Session",
     "Creates a new stateful session using the provided configuration."},
    {"method Session.process(input SessionInput, mode enum WaveformMode) -> SessionResult",
     "Processes a new batch of inputs, updating the session's internal state"},
    {"method Session.reset() -> ()",
     "Resets the internal state of the session, clearing all historical buffers."},
    {"constructor BufferPlanner.new(config BufferConfig) -> object BufferPlanner",
     "Creates a buffer planner"},
    {"method BufferPlanner.evaluate_target(target_roi Rect, timestamp f64, active_buffers "
     "sequence<BufferMetadata>) -> BufferAction",
     "Matches a newly detected region"},
    {"method BufferPlanner.is_ready(count u32, mode enum InferenceMode, has_state bool, flush "
     "bool) -> bool",
     "Tells whether a buffer"},
    {"method BufferPlanner.poll(active_buffers sequence<BufferMetadata>, current_time f64, mode "
     "enum InferenceMode, has_state bool, flush bool) -> ExecutionPlan",
     "Plans the next inference"},
};

}  // namespace

TEST(InterfaceMetadata, LibraryFileHoldsEveryItemOfTheInterfaceUnderItsName) {
    std::map<std::string, Item> by_signature;
    for (const auto& [name, bytes] : metadata_symbols()) {
        Item item = decode(bytes);
        EXPECT_EQ(name, item.symbol);
        by_signature.emplace(item.signature, std::move(item));
    }
    ASSERT_EQ(metadata_symbols().size(), std::size(expected_items));
    for (const auto& [signature, doc_start] : expected_items) {
        ASSERT_TRUE(by_signature.contains(std::string(signature))) << "no item " << signature;
        const std::string& doc = by_signature.at(std::string(signature)).doc;
        EXPECT_TRUE(doc.starts_with(doc_start)) << signature << ": " << doc;
    }
}

TEST(InterfaceMetadata, OperationsHashToTheChecksumsTheirExportsReturn) {
    int operations = 0;
    for (const auto& [name, bytes] : metadata_symbols()) {
        const Item item = decode(bytes);
        if (item.checksum_export.empty()) continue;
        ++operations;
        const auto checksum = host::lib().get<std::uint16_t()>(item.checksum_export.c_str());
        ASSERT_NE(checksum, nullptr);
        EXPECT_EQ(fnv1a_checksum(std::span(bytes).first(item.size)), checksum()) << name;
    }
    EXPECT_EQ(operations, 12);
}
