// SPDX-License-Identifier: Apache-2.0
#include "recording/csv.h"

#include <array>

#include "recording/place.h"
#include "recording/recording_types.h"

namespace quorvanta {
namespace {

constexpr std::array<char, 3> kSeparators{',', ';', '\t'};

}  // namespace

char detect_separator(std::string_view text) {
    std::array<std::size_t, kSeparators.size()> counts{};
    bool quoted = false;
    bool seen_text = false;
    for (const char c : text) {
        if (c == '\n' && !quoted && seen_text) break;
        if (c == '"') quoted = !quoted;
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n') seen_text = true;
        for (std::size_t i = 0; i < kSeparators.size(); ++i) {
            if (c == kSeparators[i] && !quoted) ++counts[i];
        }
    }
    std::size_t best = 0;
    for (std::size_t i = 1; i < kSeparators.size(); ++i) {
        if (counts[i] > counts[best]) best = i;
    }
    return kSeparators[best];
}

std::string separator_name(char separator) {
    return separator == '\t' ? "tab" : std::string("'") + separator + "'";
}

CsvReader::CsvReader(std::string_view text, char separator, const std::filesystem::path& file)
    : text_(text), separator_(separator), file_(file) {}

void CsvReader::advance() {
    if (peek() == '\n') {
        ++line_;
        line_start_ = position_ + 1;
    }
    ++position_;
}

void CsvReader::skip_blanks() {
    while (!at_end() && (peek() == ' ' || peek() == '\r' || (peek() == '\t' && separator_ != '\t')))
        advance();
}

void CsvReader::skip_blank_lines() {
    std::size_t line_end = position_;
    while (line_end < text_.size()) {
        const char c = text_[line_end];
        if (c == '\n') {
            while (position_ <= line_end)
                advance();
        } else if (c != ' ' && c != '\t' && c != '\r') {
            return;
        }
        ++line_end;
    }
    while (!at_end())
        advance();
}

bool CsvReader::next(std::vector<CsvField>& fields) {
    fields.clear();
    unescaped_.clear();
    skip_blank_lines();
    if (at_end()) return false;
    record_line_ = line_;
    while (true) {
        const std::size_t start_line = line_;
        const std::size_t start_column = column();
        skip_blanks();
        CsvField field = !at_end() && peek() == '"' ? quoted_field() : plain_field();
        field.line = start_line;
        field.column = start_column;
        fields.push_back(field);
        if (at_end()) return true;
        const char end = peek();
        advance();
        if (end == '\n') return true;
    }
}

// From the opening quote to the separator or line break after the closing one.
CsvField CsvReader::quoted_field() {
    const std::size_t open_line = line_;
    const std::size_t open_column = column();
    advance();
    const std::size_t start = position_;
    bool doubled = false;
    while (true) {
        if (at_end()) {
            throw InputError(location(file_, {open_line, open_column}) +
                             "the quote opened here is never closed");
        }
        if (peek() == '"') {
            if (position_ + 1 < text_.size() && text_[position_ + 1] == '"') {
                doubled = true;
                advance();
            } else {
                break;
            }
        }
        advance();
    }
    std::string_view text = text_.substr(start, position_ - start);
    advance();  // the closing quote
    skip_blanks();
    if (!at_end() && peek() != separator_ && peek() != '\n') {
        throw InputError(location(file_, {line_, column()}) + "text after the closing quote");
    }
    if (doubled) {
        std::string& plain = unescaped_.emplace_back();
        for (std::size_t i = 0; i < text.size(); ++i) {
            plain.push_back(text[i]);
            if (text[i] == '"') ++i;  // its double
        }
        text = plain;
    }
    return {text, 0, 0};
}

// Up to the separator or line break, without trailing blanks.
CsvField CsvReader::plain_field() {
    const std::size_t start = position_;
    while (!at_end() && peek() != separator_ && peek() != '\n')
        advance();
    std::string_view text = text_.substr(start, position_ - start);
    const std::string_view blanks = separator_ == '\t' ? " \r" : " \t\r";
    const std::size_t last = text.find_last_not_of(blanks);
    return {last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1), 0, 0};
}

}  // namespace quorvanta
