#include "cell_text.h"

#include <charconv>
#include <cmath>

namespace exporting {

std::optional<double> GeneralNumber(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    if (text.empty()) return std::nullopt;

    // Check the shape first: from_chars alone would also accept "inf",
    // "nan" and hexadecimal forms, which a spreadsheet keeps as text.
    std::size_t i = 0;
    const std::size_t n = text.size();
    bool negative = false;
    if (text[i] == '+' || text[i] == '-') {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t numberStart = i;
    std::size_t digits = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    if (i < n && text[i] == '.') {
        ++i;
        while (i < n && text[i] >= '0' && text[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < n && (text[j] == '+' || text[j] == '-')) ++j;
        std::size_t expDigits = 0;
        while (j < n && text[j] >= '0' && text[j] <= '9') ++j, ++expDigits;
        if (expDigits == 0) return std::nullopt;
        i = j;
    }
    if (i != n) return std::nullopt;

    // from_chars takes no leading '+'; the sign is applied afterwards.
    double value = 0;
    const char* first = text.data() + numberStart;
    const auto [end, ec] = std::from_chars(first, text.data() + n, value);
    if (ec != std::errc() || end != text.data() + n || !std::isfinite(value)) return std::nullopt;
    return negative ? -value : value;
}

std::optional<double> KilobyteCell(std::string_view text) {
    constexpr std::string_view kSuffix = " KB";
    if (text.size() <= kSuffix.size() || text.substr(text.size() - kSuffix.size()) != kSuffix) return std::nullopt;
    text.remove_suffix(kSuffix.size());
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (text.empty() || text.size() > 15) return std::nullopt;  // exact in a double
    double value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return value;
}

}  // namespace exporting
