// The character classes of the PDF format (ISO 32000 7.2.2), one set for
// every reader: white space, delimiters, regular characters, digits.
#pragma once

#include <array>
#include <cstdint>

namespace brastel {

namespace detail {
enum : std::uint8_t { kWhite = 1, kDelimiter = 2 };
// By table: the lexer asks for every byte it passes.
inline constexpr std::array<std::uint8_t, 256> kCharClass = [] {
    std::array<std::uint8_t, 256> t{};
    for (unsigned char c : {' ', '\n', '\r', '\t', '\f', '\0'}) t[c] = kWhite;
    for (unsigned char c : {'(', ')', '<', '>', '[', ']', '{', '}', '/', '%'}) t[c] = kDelimiter;
    return t;
}();
}  // namespace detail

// NUL, tab, LF, FF, CR, space.
inline bool IsPdfSpace(char c) { return detail::kCharClass[static_cast<unsigned char>(c)] == detail::kWhite; }
// Neither white space nor a delimiter.
inline bool IsRegular(char c) { return detail::kCharClass[static_cast<unsigned char>(c)] == 0; }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace brastel
