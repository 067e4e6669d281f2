// SPDX-License-Identifier: Apache-2.0
// The interface that the C door offers, described once: records, enums, objects and callable
// operations with their names, types and documentation. The interface metadata symbols of
// libquorvanta_core.so are generated from this description at build time.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quorvanta::interface {

// The values are the type codes of the metadata encoding.
enum class TypeKind : std::uint8_t {
    U32 = 2,
    U64 = 3,
    F32 = 8,
    F64 = 9,
    Bool = 10,
    String = 11,
    Optional = 12,
    Record = 13,
    Enum = 14,
    Object = 16,
    Sequence = 17,
    Map = 18,
};

struct Type {
    TypeKind kind;
    std::string name;              // records, enums and objects
    std::vector<Type> parameters;  // optional and sequence: the inner type; map: key and value
};

// A record field, a variant field or an argument.
struct Field {
    std::string name;
    Type type;
};

struct Record {
    std::string name;
    std::vector<Field> fields;
    std::string doc;
};

struct Variant {
    std::string name;
    std::vector<Field> fields;
    std::string doc;
};

struct Enum {
    std::string name;
    std::vector<Variant> variants;
    std::string doc;
};

struct Object {
    std::string name;
    std::string doc;
};

enum class CallableKind { Function, Constructor, Method };

struct Callable {
    CallableKind kind;
    std::string object;  // empty for functions
    std::string name;
    std::vector<Field> arguments;  // after the receiver, for methods
    std::optional<Type> result;    // absent: returns nothing
    std::string doc;
    // Invisible whitespace appended to doc so that the operation keeps the checksum that its
    // uniffi_quorvanta_core_checksum_* export returns; tools/checksum_padding.cpp finds it.
    std::string checksum_padding;
};

struct Interface {
    std::string crate;  // also the namespace and the module path of every item
    std::vector<Record> records;
    std::vector<Enum> enums;
    std::vector<Object> objects;
    std::vector<Callable> callables;
};

const Interface& interface_description();

}  // namespace quorvanta::interface
