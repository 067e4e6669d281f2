// SPDX-License-Identifier: Apache-2.0
#include "json_writer.h"

#include <iomanip>
#include <streambuf>
#include <string>

namespace quorvanta::cli {
namespace {

// Passes characters on to another buffer, adding `indent` spaces after every line break, which
// turns a value laid out at the outermost level into the same value nested that deep (strings
// hold no raw line breaks in JSON).
class IndentingBuffer : public std::streambuf {
public:
    IndentingBuffer(std::streambuf* target, int indent) : target_(target), indent_(indent) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        if (traits_type::eq_int_type(target_->sputc(traits_type::to_char_type(c)),
                                     traits_type::eof())) {
            return traits_type::eof();
        }
        for (int i = 0; c == '\n' && i < indent_; ++i)
            target_->sputc(' ');
        return c;
    }

private:
    std::streambuf* target_;
    int indent_;
};

}  // namespace

JsonObjectWriter::JsonObjectWriter(std::ostream& out) : out_(out) {
    out_ << '{';
}

void JsonObjectWriter::member(std::string_view key, const nlohmann::json& value) {
    begin_member(key);
    write_indented(value, 2);
}

void JsonObjectWriter::finish() {
    out_ << (first_ ? "}\n" : "\n}\n");
}

void JsonObjectWriter::begin_member(std::string_view key) {
    out_ << (first_ ? "\n  " : ",\n  ") << nlohmann::json(std::string(key)).dump() << ": ";
    first_ = false;
}

void JsonObjectWriter::write_indented(const nlohmann::json& value, int indent) {
    IndentingBuffer buffer(out_.rdbuf(), indent);
    std::ostream indented(&buffer);
    indented << std::setw(2) << value;
    if (!indented) out_.setstate(std::ios::badbit);
}

}  // namespace quorvanta::cli
