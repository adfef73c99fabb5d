// The tokenizer and dictionary reader: a key counts only at the top level of
// its dictionary, values read as readers read them, and damaged or hostile
// input ends in a clear "no" instead of a wrong value or a deep recursion.
#include "syntax/lexer.h"

#include <gtest/gtest.h>

#include <string>

namespace brastel::pdf {
namespace {

std::optional<std::int64_t> WholeAt(std::string_view dict, std::string_view key) {
    const auto d = Dict::At(dict);
    if (!d) return std::nullopt;
    return d->Get(key).Whole();
}

TEST(Lexer, TokensOfEveryKind) {
    Lexer lex("  % comment /Count 9\r\n<< /A 12 -3 +4.5 .5 (s (nested) \\) x) <48 65> [ ] true R >> ");
    const Token::Kind expected[] = {
        Token::Kind::DictOpen, Token::Kind::Name,      Token::Kind::Integer,  Token::Kind::Integer,
        Token::Kind::Real,     Token::Kind::Real,      Token::Kind::String,   Token::Kind::HexString,
        Token::Kind::ArrayOpen, Token::Kind::ArrayClose, Token::Kind::Keyword, Token::Kind::Keyword,
        Token::Kind::DictClose, Token::Kind::End};
    for (const auto kind : expected) EXPECT_EQ(lex.Next().kind, kind);
    Lexer numbers("-3 0000000042 1234567890123456789");
    EXPECT_EQ(numbers.Next().integer, -3);
    EXPECT_EQ(numbers.Next().integer, 42);
    EXPECT_EQ(numbers.Next().kind, Token::Kind::Real);  // too long for any count or offset
}

TEST(Lexer, UnbalancedInputEndsInBadTokens) {
    EXPECT_EQ(Lexer("(never closed").Next().kind, Token::Kind::Bad);
    EXPECT_EQ(Lexer("<abc").Next().kind, Token::Kind::Bad);
    EXPECT_EQ(Lexer("> x").Next().kind, Token::Kind::Bad);
    EXPECT_EQ(Lexer(") x").Next().kind, Token::Kind::Bad);
}

TEST(Dict, KeysCountOnlyAtTheTopLevel) {
    const std::string hidden =
        "<< /Title (/Count 9) % /Count 8\n"
        "/Nested << /Count 7 >> /List [ /Count 6 ] /Str (a \\) /Count 5) /Count 2 >>";
    EXPECT_EQ(WholeAt(hidden, "/Count"), 2);
    EXPECT_EQ(WholeAt("<< /Kids [1 0 R] >>", "/Count"), std::nullopt);
    // A key name must match whole: /Counts is another key.
    EXPECT_EQ(WholeAt("<< /Counts 4 /Count 3 >>", "/Count"), 3);
}

TEST(Dict, LastOccurrenceWinsAndEscapedNamesMatch) {
    EXPECT_EQ(WholeAt("<< /Count 2 /Count 3 >>", "/Count"), 3);
    EXPECT_EQ(WholeAt("<< /Coun#74 4 >>", "/Count"), 4);
    EXPECT_FALSE(NameEquals("/Coun#7", "/Count"));
    EXPECT_FALSE(NameEquals("/Count#", "/Count"));
}

TEST(Dict, SeveralKeysInOnePassAsGetReadsThem) {
    const auto d = Dict::At("<< /Size 9 /W [1 2 1] /Nested << /Size 4 >> /Siz#65 7 /Index [0 9] >>");
    ASSERT_TRUE(d);
    const auto v = d->GetAll<3>({"/Size", "/Index", "/Prev"});
    EXPECT_EQ(v[0].Whole(), 7);  // the last occurrence, escapes read
    EXPECT_EQ(v[1].text, "[0 9]");
    EXPECT_TRUE(v[2].Is(Value::Kind::Missing));
}

TEST(Dict, WholeNumbersAsReadersTakeThem) {
    EXPECT_EQ(WholeAt("<< /Count 2.0 >>", "/Count"), 2);
    EXPECT_EQ(WholeAt("<< /Count 2. >>", "/Count"), 2);
    EXPECT_EQ(WholeAt("<< /Count +7 >>", "/Count"), 7);
    EXPECT_EQ(WholeAt("<< /Count 2.5 >>", "/Count"), std::nullopt);
    EXPECT_EQ(WholeAt("<< /Count /Two >>", "/Count"), std::nullopt);
    EXPECT_EQ(WholeAt("<< /Count (2) >>", "/Count"), std::nullopt);
    EXPECT_EQ(WholeAt("<< /Count 5 0 R >>", "/Count"), std::nullopt);  // a reference, not a count
}

TEST(Dict, ReferencesAndArrays) {
    const auto d = Dict::At("<< /Pages 3 0 R /Kids [4 0 R 5 0 R] /W [1 2 1] /Size 6 >>");
    ASSERT_TRUE(d);
    const Value pages = d->Get("/Pages");
    EXPECT_TRUE(pages.Is(Value::Kind::Ref));
    EXPECT_EQ(pages.integer, 3);
    std::vector<std::int64_t> kids, widths;
    EXPECT_TRUE(ForEachItem(d->Get("/Kids"), [&](const Value& v) {
        kids.push_back(v.Is(Value::Kind::Ref) ? v.integer : -1);
        return true;
    }));
    EXPECT_TRUE(ForEachItem(d->Get("/W"), [&](const Value& v) {
        widths.push_back(*v.Whole());
        return true;
    }));
    EXPECT_EQ(kids, (std::vector<std::int64_t>{4, 5}));
    EXPECT_EQ(widths, (std::vector<std::int64_t>{1, 2, 1}));
    EXPECT_EQ(d->Get("/Size").integer, 6);
    EXPECT_TRUE(d->complete());
}

TEST(Dict, CutOrBrokenDictionariesSayHowFarTheyCanBeTrusted) {
    const auto cut = Dict::At("<< /Type /Pages /Count 3 /Kids [4 0 R");
    ASSERT_TRUE(cut);
    EXPECT_FALSE(cut->complete());
    EXPECT_EQ(cut->Get("/Count").integer, 3);  // seen, though a later duplicate could not be
    // An object boundary inside an unclosed dictionary ends it.
    const auto runaway = Dict::At("<< /Count 3 endobj 5 0 obj << /Count 9 >>");
    ASSERT_TRUE(runaway);
    EXPECT_FALSE(runaway->complete());
    EXPECT_EQ(runaway->Get("/Count").integer, 3);
    // Closers that do not match their openers.
    const auto crossed = Dict::At("<< /Kids [ 1 0 R >> ] >>");
    ASSERT_TRUE(crossed);
    EXPECT_FALSE(crossed->complete());
    EXPECT_FALSE(Dict::At("/Count 3"));
}

TEST(Dict, DeepNestingIsRefusedWithoutRecursion) {
    const std::string deep = "<< /A " + std::string(100000, '[') + " >>";
    const auto d = Dict::At(deep);
    ASSERT_TRUE(d);
    EXPECT_FALSE(d->complete());
    EXPECT_TRUE(d->Get("/A").Is(Value::Kind::Missing));
    std::string nested = "<< /Count 4 /A ";
    for (int i = 0; i < kMaxDepth - 2; ++i) nested += "[";
    for (int i = 0; i < kMaxDepth - 2; ++i) nested += "]";
    EXPECT_EQ(WholeAt(nested + " >>", "/Count"), 4);
}

// Everything a caller can learn of a dictionary, entries in order.
std::string Reading(const std::optional<Dict>& d) {
    if (!d) return "none";
    std::string out = (d->complete() ? "complete " : "cut ") + std::to_string(d->end()) + " [" +
                      std::string(d->text()) + "]";
    d->ForEach([&](std::string_view key, const Value& v) {
        out.append(" ").append(key).append("=").append(std::to_string(static_cast<int>(v.kind)));
        out.append(":").append(std::to_string(v.integer)).append(":").append(std::to_string(v.generation));
        out.append(":").append(v.text);
        return true;
    });
    return out;
}

// Entries held from the pass that finds the end read exactly as entries
// lexed at every lookup, on dictionaries well formed or not: stray closers,
// boundaries, keys that are no names, nesting at the depth limit, more keys
// than are held.
TEST(Dict, HeldEntriesReadAsTheDictionaryDoes) {
    const char* parts[] = {"/K", "/Count", "/Co#75nt", "3", "0", "R", "-2", "4.0", "(s)", "(a>>b)", "<41>",
                           "[", "]", "<<", ">>", "true", "null", "obj", "endobj", "stream", "{", ")", "%c\n"};
    std::uint32_t x = 12345;
    auto next = [&x] { return (x = x * 1103515245u + 12345u) >> 8; };
    for (int round = 0; round < 20000; ++round) {
        std::string text = "<<";
        const int length = static_cast<int>(next() % 40);
        for (int i = 0; i < length; ++i) text += std::string(" ") + parts[next() % std::size(parts)];
        if (next() % 4) text += " >>";
        text += " 7 0 R";
        ASSERT_EQ(Reading(Dict::At(text)), Reading(Dict::AtUnheld(text))) << text;
    }
    std::string many = "<<";
    for (int i = 0; i < 40; ++i) many += " /K" + std::to_string(i) + " " + std::to_string(i);
    many += " /K3 9 >>";
    EXPECT_EQ(Reading(Dict::At(many)), Reading(Dict::AtUnheld(many)));
    EXPECT_EQ(Dict::At(many)->Get("/K3").integer, 9);
    for (int depth : {kMaxDepth - 2, kMaxDepth - 1, kMaxDepth}) {
        const std::string deep = "<< /A " + std::string(static_cast<std::size_t>(depth), '[') +
                                 std::string(static_cast<std::size_t>(depth), ']') + " /B 1 >>";
        EXPECT_EQ(Reading(Dict::At(deep)), Reading(Dict::AtUnheld(deep))) << depth;
    }
}

TEST(ObjectHeaderTest, ReadsNumberGenerationAndBody) {
    const auto h = ReadObjectHeader("\r\n12 0 obj<</Type/Pages>>", 0);
    ASSERT_TRUE(h);
    EXPECT_EQ(h->number, 12);
    EXPECT_EQ(h->generation, 0);
    EXPECT_EQ(std::string_view("\r\n12 0 obj<</Type/Pages>>").substr(h->body, 2), "<<");
    EXPECT_TRUE(ReadObjectHeader("7 1 % note\n obj", 0));
    EXPECT_FALSE(ReadObjectHeader("+1 0 obj", 0));
    EXPECT_FALSE(ReadObjectHeader("1 0 objx", 0));
    EXPECT_FALSE(ReadObjectHeader("1.0 0 obj", 0));
    EXPECT_FALSE(ReadObjectHeader("1 0 R", 0));
}

}  // namespace
}  // namespace brastel::pdf
