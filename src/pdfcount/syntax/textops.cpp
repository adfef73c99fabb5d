#include "syntax/textops.h"

namespace brastel {

std::int32_t InStr(std::string_view text, std::string_view pat) {
    if (text.empty()) return 0;
    if (pat.empty()) return 1;
    const auto at = text.find(pat);
    return at == std::string_view::npos ? 0 : static_cast<std::int32_t>(at + 1);
}

std::string Trim(std::string_view text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return std::string(text.substr(first, last - first + 1));
}

std::string Str(std::int32_t x) { return std::to_string(x); }

namespace {
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
}  // namespace

std::optional<std::int32_t> ToWholeNumber(std::string_view t) {
    std::size_t i = 0, n = t.size();
    while (i < n && IsSpace(t[i])) ++i;
    while (n > i && IsSpace(t[n - 1])) --n;
    if (i == n) return std::nullopt;
    bool negative = false;
    if (t[i] == '+' || t[i] == '-') {
        negative = t[i] == '-';
        ++i;
    }
    // Magnitude kept in 64 bits; anything past 2^31 is out of range anyway,
    // so accumulation stops growing once it is clearly too large.
    constexpr std::int64_t kTooLarge = std::int64_t{1} << 33;
    std::int64_t whole = 0;
    std::size_t intDigits = 0;
    for (; i < n && IsDigit(t[i]); ++i, ++intDigits)
        if (whole < kTooLarge) whole = whole * 10 + (t[i] - '0');
    std::size_t fracDigits = 0;
    int firstFrac = 0;          // first fractional digit
    bool restNonZero = false;   // any non-zero digit after the first
    if (i < n && t[i] == '.') {
        ++i;
        for (; i < n && IsDigit(t[i]); ++i, ++fracDigits) {
            if (fracDigits == 0)
                firstFrac = t[i] - '0';
            else if (t[i] != '0')
                restNonZero = true;
        }
    }
    if (i != n || intDigits + fracDigits == 0) return std::nullopt;
    // Round to nearest, halves to the even neighbour.
    if (firstFrac > 5 || (firstFrac == 5 && (restNonZero || (whole & 1)))) ++whole;
    const std::int64_t value = negative ? -whole : whole;
    if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string DetectLineEnd(std::string_view text) {
    if (text.find("\r\n") != std::string_view::npos) return "\r\n";
    if (text.find('\r') != std::string_view::npos) return "\r";
    return "\n";
}

}  // namespace brastel
