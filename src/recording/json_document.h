// SPDX-License-Identifier: Apache-2.0
// A JSON document parsed for the recording reader, with what the reader needs to name places in
// the text. Member names appear once per object (a second one is an error that names both
// places, where a plain parser keeps one of them silently), numbers fit the reader's values (an
// error names a number beyond the range of float, which every signal is stored in), and the
// places of the outermost objects' member names are kept for later messages.
#pragma once

#include <cstddef>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>

#include "recording/place.h"

namespace quorvanta {

using Json = nlohmann::json;

// Where the names of the members of the outermost objects first appear: the document's own, or
// those of the objects in the array it is.
using MemberPlaces = std::map<std::string, TextPlace, std::less<>>;

// Parses `text`, which `file` names in the InputErrors it raises.
Json parse_json_document(std::string_view text, const std::filesystem::path& file,
                         MemberPlaces& places);

}  // namespace quorvanta
