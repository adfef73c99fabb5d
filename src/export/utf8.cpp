#include "export/utf8.h"

namespace exporting {

std::size_t Utf8CharLength(std::string_view s, std::size_t* subpart) {
    const auto* p = reinterpret_cast<const unsigned char*>(s.data());
    const std::size_t n = s.size();
    if (subpart) *subpart = 1;
    if (n == 0) return 0;
    const unsigned char b = p[0];
    if (b < 0x80) return 1;
    // The well-formed sequences: the lead byte fixes the length and the
    // range of the second byte; later bytes are 80..BF.
    std::size_t len = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) len = 2;
    else if (b == 0xE0) len = 3, low = 0xA0;
    else if (b >= 0xE1 && b <= 0xEC) len = 3;
    else if (b == 0xED) len = 3, high = 0x9F;  // no surrogates
    else if (b >= 0xEE && b <= 0xEF) len = 3;
    else if (b == 0xF0) len = 4, low = 0x90;
    else if (b >= 0xF1 && b <= 0xF3) len = 4;
    else if (b == 0xF4) len = 4, high = 0x8F;  // nothing above U+10FFFF
    else return 0;
    for (std::size_t k = 1; k < len; ++k) {
        if (k >= n || p[k] < low || p[k] > high) {
            if (subpart) *subpart = k;
            return 0;
        }
        low = 0x80, high = 0xBF;
    }
    return len;
}

bool IsValidUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        // Plain ASCII runs, the common case, without the full check.
        if (static_cast<unsigned char>(s[i]) < 0x80) {
            ++i;
            continue;
        }
        const std::size_t len = Utf8CharLength(s.substr(i));
        if (len == 0) return false;
        i += len;
    }
    return true;
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string ValidUtf8(std::string_view s) {
    if (IsValidUtf8(s)) return std::string(s);
    std::string out;
    out.reserve(s.size() + 8);
    ForEachCodePoint(s, [&](char32_t cp) { AppendUtf8(out, cp); });
    return out;
}

}  // namespace exporting
