// Whole-number conversion, Trim and substring search.
#include "syntax/textops.h"

#include <gtest/gtest.h>

namespace brastel {
namespace {

TEST(WholeNumber, AcceptsSignsZerosAndWhiteSpace) {
    EXPECT_EQ(ToWholeNumber("42"), 42);
    EXPECT_EQ(ToWholeNumber(" \t\r\n0000012345\r\n "), 12345);  // a ten-digit entry field
    EXPECT_EQ(ToWholeNumber("-7"), -7);
    EXPECT_EQ(ToWholeNumber("+7"), 7);
    EXPECT_EQ(ToWholeNumber("0"), 0);
}

TEST(WholeNumber, RoundsHalvesToEven) {
    EXPECT_EQ(ToWholeNumber("2.5"), 2);
    EXPECT_EQ(ToWholeNumber("3.5"), 4);
    EXPECT_EQ(ToWholeNumber("2.50001"), 3);
    EXPECT_EQ(ToWholeNumber("2.49999"), 2);
    EXPECT_EQ(ToWholeNumber("-2.5"), -2);
    EXPECT_EQ(ToWholeNumber("-3.5"), -4);
    EXPECT_EQ(ToWholeNumber(".5"), 0);
    EXPECT_EQ(ToWholeNumber("7."), 7);
}

TEST(WholeNumber, Keeps32BitRange) {
    EXPECT_EQ(ToWholeNumber("2147483647"), INT32_MAX);
    EXPECT_EQ(ToWholeNumber("-2147483648"), INT32_MIN);
    EXPECT_EQ(ToWholeNumber("2147483648"), std::nullopt);
    EXPECT_EQ(ToWholeNumber("-2147483649"), std::nullopt);
    EXPECT_EQ(ToWholeNumber("2147483647.5"), std::nullopt);  // rounds up to 2^31
    EXPECT_EQ(ToWholeNumber("9999999999"), std::nullopt);     // never wrapped
    EXPECT_EQ(ToWholeNumber("000000000000000000000000042"), 42);
}

TEST(WholeNumber, RejectsOtherText) {
    for (const char* bad : {"", "   ", "12 >>", "1 2", "R", "3 0 R", "(1)", "1e3", "+", "-", ".", "0x10", "12a"})
        EXPECT_EQ(ToWholeNumber(bad), std::nullopt) << '"' << bad << '"';
}

TEST(TextOps, TrimRemovesBlanksOnly) {
    EXPECT_EQ(Trim("  a b  "), "a b");
    EXPECT_EQ(Trim("\r\n 5 \t"), "\r\n 5 \t");
    EXPECT_EQ(Trim("    "), "");
}

TEST(TextOps, InStrIsOneBasedWithEmptyRules) {
    EXPECT_EQ(InStr("abcabc", "c"), 3);
    EXPECT_EQ(InStr("abc", "x"), 0);
    EXPECT_EQ(InStr("abc", ""), 1);
    EXPECT_EQ(InStr("", ""), 0);
    EXPECT_EQ(InStr("", "a"), 0);
}

TEST(TextOps, LineEndPrefersCrLfThenCr) {
    EXPECT_EQ(DetectLineEnd("a\rb\r\nc"), "\r\n");
    EXPECT_EQ(DetectLineEnd("a\nb\rc"), "\r");
    EXPECT_EQ(DetectLineEnd("abc"), "\n");
}

}  // namespace
}  // namespace brastel
