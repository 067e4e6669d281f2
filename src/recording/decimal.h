// SPDX-License-Identifier: Apache-2.0
// A number written in decimal, read the same way by every toolchain: the grammar of
// std::from_chars (an optional minus, digits with an optional point, an optional exponent, or
// "inf", "infinity", "nan" in any case; no plus sign, no white space), read by strtod, which rounds
// correctly in glibc and musl alike. (The WebAssembly toolchain's library has no floating-point
// from_chars.)
#pragma once

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace quorvanta {

namespace detail {

inline bool is_decimal_syntax(std::string_view text) {
    std::size_t i = text.starts_with('-') ? 1 : 0;
    std::string lowered;
    for (const char c : text.substr(i))
        lowered.push_back(static_cast<char>(std::tolower(static_cast<unsigned char>(c))));
    if (lowered == "inf" || lowered == "infinity" || lowered == "nan") return true;
    const auto digits = [&] {
        const std::size_t start = i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])) != 0)
            ++i;
        return i - start;
    };
    std::size_t mantissa = digits();
    if (i < text.size() && text[i] == '.') {
        ++i;
        mantissa += digits();
    }
    if (mantissa == 0) return false;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        if (digits() == 0) return false;
    }
    return i == text.size();
}

}  // namespace detail

// Nothing for other text, or for a value beyond the range of double (as from_chars reports it).
inline std::optional<double> parse_decimal(std::string_view text) {
    if (!detail::is_decimal_syntax(text)) return std::nullopt;
    const std::string terminated(text);
    errno = 0;
    const double value = std::strtod(terminated.c_str(), nullptr);
    if (errno == ERANGE) return std::nullopt;
    return value;
}

}  // namespace quorvanta
