// SPDX-License-Identifier: Apache-2.0
// The interface metadata that binding generators read from the library file: one item per
// record, enum, object and callable operation of the interface description, plus the namespace,
// each in the UniFFI 0.28 metadata encoding under its UNIFFI_META_* symbol name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ffi/interface_description.h"

namespace quorvanta::interface {

struct MetadataItem {
    std::string symbol;
    std::vector<std::uint8_t> bytes;
};

// Every item of the interface: the namespace, records, enums, objects, then callables.
std::vector<MetadataItem> metadata_items(const Interface& interface);

// The item of one callable operation of the crate. Its documentation comes last: the bytes end
// with the u16 length and the text of doc followed by checksum_padding.
MetadataItem callable_item(const std::string& crate, const Callable& callable);

}  // namespace quorvanta::interface
