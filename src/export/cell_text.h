// Cell-level helpers shared by the workbook writers.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace exporting {

// The number a spreadsheet's "General" format reads from a typed cell: blanks
// around it are ignored, then an optional sign, digits with an optional
// decimal point, and an optional exponent.  Anything else (including "12 KB",
// "Error", an empty cell) is text: nullopt.
std::optional<double> GeneralNumber(std::string_view text);

// UTF-8 decoding that never fails: each malformed byte becomes U+FFFD.
// Calls `emit(codePoint)` for every character.
template <typename Emit>
void ForEachCodePoint(std::string_view s, Emit&& emit);

// `s` with malformed UTF-8 replaced by U+FFFD; `s` itself when well formed.
std::string ValidUtf8(std::string_view s);
bool IsValidUtf8(std::string_view s);

// ---- implementation of the template ----
template <typename Emit>
void ForEachCodePoint(std::string_view s, Emit&& emit) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        if (b < 0x80) {
            emit(static_cast<char32_t>(b));
            ++i;
            continue;
        }
        std::size_t len = 0;
        char32_t cp = 0;
        char32_t min = 0;
        if ((b & 0xE0) == 0xC0) {
            len = 2, cp = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            len = 3, cp = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            len = 4, cp = b & 0x07, min = 0x10000;
        }
        bool ok = len != 0 && i + len <= n;
        for (std::size_t k = 1; ok && k < len; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) ok = false;
            else cp = (cp << 6) | (p[i + k] & 0x3F);
        }
        if (ok && (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))) ok = false;
        if (ok) {
            emit(cp);
            i += len;
        } else {
            emit(static_cast<char32_t>(0xFFFD));
            ++i;
        }
    }
}

}  // namespace exporting
