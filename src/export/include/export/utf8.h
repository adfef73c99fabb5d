// UTF-8 that may be malformed, as file names on Linux are: checking it, and
// decoding it with replacement characters where a reader needs valid text.
//
// Library: quillon_export_core (no Qt).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace exporting {

// Length of the well-formed character at the start of `s` (1 to 4), or 0
// when it is malformed; then `*subpart` is the length of its maximal
// ill-formed subpart, which decoders replace by one U+FFFD (the Unicode
// standard's practice, also Python's and the web's).
std::size_t Utf8CharLength(std::string_view s, std::size_t* subpart = nullptr);

// Calls `emit(codePoint)` for every character of `s`, U+FFFD for each
// maximal ill-formed subpart.
template <typename Emit>
void ForEachCodePoint(std::string_view s, Emit&& emit) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    std::size_t i = 0;
    while (i < s.size()) {
        std::size_t bad = 0;
        const std::size_t len = Utf8CharLength(s.substr(i), &bad);
        if (len == 0) {
            emit(static_cast<char32_t>(0xFFFD));
            i += bad;
            continue;
        }
        char32_t cp = len == 1 ? p[i] : len == 2 ? (p[i] & 0x1F) : len == 3 ? (p[i] & 0x0F) : (p[i] & 0x07);
        for (std::size_t k = 1; k < len; ++k) cp = (cp << 6) | (p[i + k] & 0x3F);
        emit(cp);
        i += len;
    }
}

bool IsValidUtf8(std::string_view s);
// `s` with each maximal ill-formed subpart replaced by U+FFFD.
std::string ValidUtf8(std::string_view s);
void AppendUtf8(std::string& out, char32_t codePoint);

}  // namespace exporting
