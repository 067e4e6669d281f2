// SPDX-License-Identifier: Apache-2.0
#include "recording/json_document.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>
#include <optional>
#include <type_traits>
#include <unordered_map>

#include "recording/recording_types.h"

namespace quorvanta {
namespace detail {
namespace {

// A character iterator that tells where the parser last read: the parser takes its input through
// an iterator and reports no place but an error's, so the reader follows the iterator.
class TrackedIterator {
public:
    using iterator_category = std::forward_iterator_tag;
    using value_type = char;
    using difference_type = std::ptrdiff_t;
    using pointer = const char*;
    using reference = const char&;

    TrackedIterator(const char* at, const char** last_read) : at_(at), last_read_(last_read) {}

    reference operator*() const {
        *last_read_ = at_;
        return *at_;
    }
    TrackedIterator& operator++() {
        ++at_;
        return *this;
    }
    TrackedIterator operator++(int) {
        TrackedIterator before = *this;
        ++at_;
        return before;
    }
    bool operator==(const TrackedIterator& other) const { return at_ == other.at_; }

private:
    const char* at_;
    const char** last_read_;
};

// Turns offsets into lines and columns, moving forward only: the parser's places only grow, so
// the whole document costs one pass.
class PlaceFinder {
public:
    explicit PlaceFinder(std::string_view text) : text_(text) {}

    TextPlace at(std::size_t offset) {
        offset = std::min(offset, text_.size());
        if (offset < scanned_) rewind();
        for (; scanned_ < offset; ++scanned_) {
            if (text_[scanned_] == '\n') {
                ++line_;
                line_start_ = scanned_ + 1;
            }
        }
        return {line_, offset - line_start_ + 1};
    }

private:
    void rewind() { scanned_ = line_start_ = 0, line_ = 1; }

    std::string_view text_;
    std::size_t scanned_ = 0;
    std::size_t line_ = 1;
    std::size_t line_start_ = 0;
};

// The offset of the quote that opens the string whose closing quote is at `closing`.
std::size_t opening_quote(std::string_view text, std::size_t closing) {
    std::size_t i = closing;
    while (i > 0) {
        --i;
        if (text[i] != '"') continue;
        std::size_t backslashes = 0;
        while (i > backslashes && text[i - 1 - backslashes] == '\\')
            ++backslashes;
        if (backslashes % 2 == 0) return i;
    }
    return closing;
}

class DocumentBuilder : public nlohmann::detail::json_sax_dom_parser<Json> {
public:
    DocumentBuilder(Json& document, MemberPlaces& places, const std::filesystem::path& file,
                    std::string_view text, const char* const& last_read)
        : json_sax_dom_parser(document),
          member_places_(places),
          file_(file),
          text_(text),
          last_read_(last_read),
          places_(text) {}

    bool start_object(std::size_t elements) {
        objects_.emplace_back();
        return json_sax_dom_parser::start_object(elements);
    }

    bool end_object() {
        objects_.pop_back();
        return json_sax_dom_parser::end_object();
    }

    bool key(std::string& name) {
        const TextPlace place = places_.at(opening_quote(text_, read_offset()));
        auto& members = objects_.back();
        if (const auto first = members.find(name); first != members.end()) {
            throw InputError(location(file_, place) + "\"" + name +
                             "\" appears twice in one object; it first appears at " +
                             std::to_string(first->second.line) + ":" +
                             std::to_string(first->second.column));
        }
        members.emplace(name, place);
        if (objects_.size() == 1) member_places_.emplace(name, place);
        return json_sax_dom_parser::key(name);
    }

    bool number_float(double value, const std::string& token) {
        if (std::fabs(value) > std::numeric_limits<float>::max() && std::isfinite(value))
            throw out_of_range(token, number_start(token));
        return json_sax_dom_parser::number_float(value, token);
    }

    template <class Exception>
    bool parse_error(std::size_t end, const std::string& token, const Exception& error) {
        if constexpr (std::is_same_v<Exception, Json::out_of_range>)
            throw out_of_range(token, end - std::min(end, token.size()));
        throw error;
    }

private:
    std::size_t read_offset() const { return static_cast<std::size_t>(last_read_ - text_.data()); }

    // The offset of the number `token` that the parser has just read: it has read either its last
    // character or the one after it.
    std::size_t number_start(const std::string& token) const {
        const std::size_t last = read_offset();
        if (last + 1 >= token.size() &&
            text_.substr(last + 1 - token.size(), token.size()) == token)
            return last + 1 - token.size();
        return last - std::min(last, token.size());
    }

    InputError out_of_range(const std::string& token, std::size_t offset) {
        return InputError(location(file_, places_.at(offset)) + "the number " + token +
                          " is out of range");
    }

    MemberPlaces& member_places_;
    const std::filesystem::path& file_;
    std::string_view text_;
    const char* const& last_read_;
    PlaceFinder places_;
    std::vector<std::unordered_map<std::string, TextPlace>> objects_;
};

}  // namespace
}  // namespace detail

Json parse_json_document(std::string_view text, const std::filesystem::path& file,
                         MemberPlaces& places) {
    using namespace detail;
    Json root;
    const char* last_read = text.data();
    try {
        DocumentBuilder builder(root, places, file, text, last_read);
        Json::sax_parse(TrackedIterator(text.data(), &last_read),
                        TrackedIterator(text.data() + text.size(), &last_read), &builder);
        return root;
    } catch (const Json::parse_error& error) {
        // The parser counts the characters it read, the failing one included.
        const std::string_view before =
            text.substr(0, std::min<std::size_t>(error.byte, text.size()));
        const std::size_t line_start = before.rfind('\n');
        const TextPlace place{
            static_cast<std::size_t>(std::count(before.begin(), before.end(), '\n')) + 1,
            std::max<std::size_t>(
                before.size() - (line_start == std::string_view::npos ? 0 : line_start + 1), 1)};
        const std::string what = error.what();
        const std::size_t detail = what.rfind(": ");
        throw InputError(location(file, place) + "invalid JSON: " +
                         (detail == std::string::npos ? what : what.substr(detail + 2)));
    }
}

}  // namespace quorvanta
