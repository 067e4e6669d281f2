// SPDX-License-Identifier: Apache-2.0
// Lengths are little-endian. Every flag that the encoding has room for (async, explicit
// discriminants, defaults, non-exhaustive enums) is off in this interface, and only the items
// themselves, enum variants and operations carry documentation.
#include "ffi/interface_metadata.h"

#include <algorithm>
#include <cctype>
#include <limits>
#include <stdexcept>
#include <string_view>

namespace quorvanta::interface {
namespace {

enum class ItemCode : std::uint8_t {
    Function = 0,
    Method = 1,
    Record = 2,
    Enum = 3,
    Object = 4,
    Namespace = 6,
    Constructor = 7,
};
constexpr std::uint8_t unit_result = 255;
constexpr std::uint8_t off = 0;  // a false flag, or an empty default or discriminant slot

class Encoder {
public:
    Encoder(std::string_view module_path, ItemCode code) : module_path_(module_path) {
        byte(static_cast<std::uint8_t>(code));
    }

    Encoder& byte(std::uint8_t value) {
        bytes_.push_back(value);
        return *this;
    }
    Encoder& count(std::size_t n) { return byte(checked<std::uint8_t>(n, "count")); }
    Encoder& str(std::string_view text) {
        count(text.size());
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return *this;
    }
    Encoder& long_str(std::string_view text) {
        const auto length = checked<std::uint16_t>(text.size(), "documentation length");
        byte(static_cast<std::uint8_t>(length & 0xff)).byte(static_cast<std::uint8_t>(length >> 8));
        bytes_.insert(bytes_.end(), text.begin(), text.end());
        return *this;
    }
    Encoder& module_path() { return str(module_path_); }

    // Named types carry their module path and name, containers their parameter types.
    Encoder& type(const Type& type) {
        byte(static_cast<std::uint8_t>(type.kind));
        if (!type.name.empty()) module_path().str(type.name);
        for (const Type& parameter : type.parameters)
            this->type(parameter);
        return *this;
    }
    Encoder& fields(const std::vector<Field>& fields) {
        count(fields.size());
        for (const Field& field : fields)
            str(field.name).type(field.type).byte(off).long_str("");
        return *this;
    }
    Encoder& arguments(const std::vector<Field>& arguments) {
        count(arguments.size());
        for (const Field& argument : arguments)
            str(argument.name).type(argument.type).byte(off);
        return *this;
    }

    std::vector<std::uint8_t> take() { return std::move(bytes_); }

private:
    template <class T>
    static T checked(std::size_t n, const char* what) {
        if (n > std::numeric_limits<T>::max()) throw std::length_error(what);
        return static_cast<T>(n);
    }

    std::string_view module_path_;
    std::vector<std::uint8_t> bytes_;
};

std::string upper(std::string_view text) {
    std::string result(text);
    std::transform(result.begin(), result.end(), result.begin(),
                   [](unsigned char c) { return std::toupper(c); });
    return result;
}

std::string symbol(const std::string& crate, std::string_view kind, std::string_view name) {
    return "UNIFFI_META_" + upper(crate) + "_" + std::string(kind) + "_" + upper(name);
}

MetadataItem namespace_item(const std::string& crate) {
    return {"UNIFFI_META_NAMESPACE_" + upper(crate),
            Encoder(crate, ItemCode::Namespace).str(crate).str(crate).take()};
}

MetadataItem record_item(const std::string& crate, const Record& record) {
    Encoder encoder(crate, ItemCode::Record);
    encoder.module_path().str(record.name).fields(record.fields).long_str(record.doc);
    return {symbol(crate, "RECORD", record.name), encoder.take()};
}

MetadataItem enum_item(const std::string& crate, const Enum& enumeration) {
    Encoder encoder(crate, ItemCode::Enum);
    encoder.module_path().str(enumeration.name).byte(off).byte(off);  // plain shape, no type
    encoder.count(enumeration.variants.size());
    for (const Variant& variant : enumeration.variants)
        encoder.str(variant.name).byte(off).fields(variant.fields).long_str(variant.doc);
    encoder.byte(off).long_str(enumeration.doc);
    return {symbol(crate, "ENUM", enumeration.name), encoder.take()};
}

MetadataItem object_item(const std::string& crate, const Object& object) {
    Encoder encoder(crate, ItemCode::Object);
    encoder.module_path().str(object.name).long_str(object.doc);
    return {symbol(crate, "INTERFACE", object.name), encoder.take()};
}

}  // namespace

MetadataItem callable_item(const std::string& crate, const Callable& callable) {
    // Indexed by CallableKind.
    static constexpr struct {
        ItemCode code;
        std::string_view kind;
    } kinds[] = {{ItemCode::Function, "FUNC"},
                 {ItemCode::Constructor, "CONSTRUCTOR"},
                 {ItemCode::Method, "METHOD"}};
    const auto& [code, kind] = kinds[static_cast<std::size_t>(callable.kind)];
    Encoder encoder(crate, code);
    encoder.module_path();
    if (callable.kind != CallableKind::Function) encoder.str(callable.object);
    encoder.str(callable.name).byte(off).arguments(callable.arguments);
    if (callable.result)
        encoder.type(*callable.result);
    else
        encoder.byte(unit_result);
    encoder.long_str(callable.doc + callable.checksum_padding);
    const std::string name = callable.kind == CallableKind::Function
                                 ? callable.name
                                 : callable.object + "_" + callable.name;
    return {symbol(crate, kind, name), encoder.take()};
}

std::vector<MetadataItem> metadata_items(const Interface& interface) {
    const std::string& crate = interface.crate;
    std::vector<MetadataItem> items{namespace_item(crate)};
    for (const Record& record : interface.records)
        items.push_back(record_item(crate, record));
    for (const Enum& enumeration : interface.enums)
        items.push_back(enum_item(crate, enumeration));
    for (const Object& object : interface.objects)
        items.push_back(object_item(crate, object));
    for (const Callable& callable : interface.callables)
        items.push_back(callable_item(crate, callable));
    return items;
}

}  // namespace quorvanta::interface
