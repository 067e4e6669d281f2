// SPDX-License-Identifier: Apache-2.0
// CSV text split into records of fields (RFC 4180): fields are separated by one separator
// character and records by line breaks (LF or CRLF); a field in double quotes may hold
// separators, line breaks and quotes written twice. Blanks around a field are dropped, and blank
// lines are skipped. The separator is detected from the header line.
#pragma once

#include <deque>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace quorvanta {

struct CsvField {
    std::string_view text;  // without its quotes
    std::size_t line = 0;   // 1-based, where the field starts
    std::size_t column = 0;
};

// The separator the first non-blank line uses, outside quotes, most: ',', ';' or a tab (',' when
// it holds none, or on a tie).
char detect_separator(std::string_view text);

// How a separator is named in messages: "','", "';'" or "tab".
std::string separator_name(char separator);

class CsvReader {
public:
    // `file` names the text in the InputErrors that a broken quote raises.
    CsvReader(std::string_view text, char separator, const std::filesystem::path& file);

    // Reads the next record into `fields`; false at the end of the text. The fields stay valid
    // until the next call.
    bool next(std::vector<CsvField>& fields);

    // The line on which the record last read starts.
    std::size_t line() const { return record_line_; }

private:
    void skip_blank_lines();
    void skip_blanks();
    CsvField quoted_field();
    CsvField plain_field();
    bool at_end() const { return position_ >= text_.size(); }
    char peek() const { return text_[position_]; }
    std::size_t column() const { return position_ - line_start_ + 1; }
    void advance();

    std::string_view text_;
    char separator_;
    const std::filesystem::path& file_;
    std::size_t position_ = 0;
    std::size_t line_ = 1;
    std::size_t line_start_ = 0;
    std::size_t record_line_ = 0;
    std::deque<std::string> unescaped_;  // quoted fields that held doubled quotes
};

}  // namespace quorvanta
