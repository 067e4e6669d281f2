// SPDX-License-Identifier: Apache-2.0
// Writes one JSON object member by member, laid out exactly as nlohmann::json::dump(2) lays out
// the whole object, so that a large document is never held in memory as a whole: each member (or
// each element of an array member) is built, written and dropped in turn. Members must come in
// the order the document should have (nlohmann's own objects sort their keys).
#pragma once

#include <nlohmann/json.hpp>
#include <ostream>
#include <string_view>

namespace quorvanta::cli {

class JsonObjectWriter {
public:
    explicit JsonObjectWriter(std::ostream& out);
    JsonObjectWriter(const JsonObjectWriter&) = delete;
    JsonObjectWriter& operator=(const JsonObjectWriter&) = delete;

    void member(std::string_view key, const nlohmann::json& value);

    // An array member whose elements come one by one: `write_elements(add)` calls `add(element)`
    // for each.
    template <class WriteElements>
    void array_member(std::string_view key, WriteElements&& write_elements) {
        begin_member(key);
        bool empty = true;
        write_elements([&](const nlohmann::json& element) {
            out_ << (empty ? "[\n" : ",\n") << "    ";
            write_indented(element, 4);
            empty = false;
        });
        out_ << (empty ? "[]" : "\n  ]");
    }

    // Closes the object and ends the line.
    void finish();

private:
    void begin_member(std::string_view key);
    void write_indented(const nlohmann::json& value, int indent);

    std::ostream& out_;
    bool first_ = true;
};

}  // namespace quorvanta::cli
