// Text helpers of the page counter: 1-based substring search, the
// whole-number conversion and checked 32-bit arithmetic.  Each byte of the
// file is one character; no decoding happens anywhere.
#pragma once

#include "syntax/chars.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brastel {

// 1-based index of the first occurrence of pat in text, 0 when absent.  An
// empty text contains nothing; an empty pattern is found at 1 of any other.
std::int32_t InStr(std::string_view text, std::string_view pat);
inline bool Contains(std::string_view text, std::string_view pat) { return InStr(text, pat) != 0; }

// Removes leading and trailing blanks only; tabs, CR and LF stay.
std::string Trim(std::string_view text);

// Decimal text of x, no leading blank.
std::string Str(std::int32_t x);

// Whole-number conversion: optional white space (blank, tab, CR, LF) around
// an optionally signed decimal number whose fractional part is rounded to
// the nearest whole number, halves to even.  Anything else, or a value
// outside the signed 32-bit range, gives no value.
std::optional<std::int32_t> ToWholeNumber(std::string_view text);

// Line-end sequence of a text: CR LF if it holds one, else CR if it holds
// one, else LF.
std::string DetectLineEnd(std::string_view text);

// Signed 32-bit arithmetic that reports overflow instead of wrapping.
inline bool AddChecked(std::int32_t a, std::int32_t b, std::int32_t& out) {
    return !__builtin_add_overflow(a, b, &out);
}
inline bool SubChecked(std::int32_t a, std::int32_t b, std::int32_t& out) {
    return !__builtin_sub_overflow(a, b, &out);
}
inline bool MulChecked(std::int32_t a, std::int32_t b, std::int32_t& out) {
    return !__builtin_mul_overflow(a, b, &out);
}

}  // namespace brastel

namespace brastel {


}  // namespace brastel
