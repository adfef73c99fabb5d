// The PDF tokenizer and a small reader of values and dictionaries over a
// window of bytes.  It is what lets a route see a key where a reader sees it:
// at the top level of its dictionary, not inside a string, a comment, a
// nested dictionary or an array.  It never builds a document model; every
// loop moves forward through the window, so the work is linear in its size.
#pragma once

#include "syntax/chars.h"
#include "pdflimits.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace brastel::pdf {


struct Token {
    enum class Kind {
        End,         // the window is exhausted
        Integer,     // value in integer
        Real,        // text holds it
        Name,        // text includes the "/"
        String,      // "(...)"; text includes the parentheses
        HexString,   // "<...>"
        DictOpen,    // "<<"
        DictClose,   // ">>"
        ArrayOpen,   // "["
        ArrayClose,  // "]"
        Keyword,     // a run of regular characters that is no number: R, obj, true, stream ...
        Bad,         // an unbalanced string, a lone ">" or ")", or a number too long to hold
    };
    Kind kind = Kind::End;
    std::string_view text;
    std::int64_t integer = 0;
    std::size_t offset = 0;  // where the token starts in the window
};

class Lexer {
public:
    explicit Lexer(std::string_view window, std::size_t pos = 0) : t_(window), i_(pos) {}

    // The next token, after white space and comments.
    Token Next();
    Token Peek();
    std::size_t pos() const { return i_; }
    void Seek(std::size_t pos) { i_ = pos; }
    std::string_view window() const { return t_; }

private:
    void SkipWhiteAndComments();
    std::string_view t_;
    std::size_t i_;
};

// A name token equals key (given with its "/"), reading "#xx" escapes as
// readers do, so "/Coun#74" is "/Count".
bool NameEquals(std::string_view name, std::string_view key);

// One value of the PDF object model, as far as counting needs it.  Arrays
// and dictionaries are kept as their span of the window (brackets included)
// to be read on demand.
struct Value {
    enum class Kind { Missing, Null, Bool, Integer, Real, Name, String, Ref, Array, Dict, Other, Bad };
    Kind kind = Kind::Missing;
    std::int64_t integer = 0;     // Integer; Ref: the object number
    std::int64_t generation = 0;  // Ref
    std::string_view text;        // the value's bytes in the window

    bool Is(Kind k) const { return kind == k; }
    // An integer, or a real with no fraction ("2.0"), as readers take a count.
    std::optional<std::int64_t> Whole() const;
};

// Reads the value at the lexer's place (an "N G R" reference included) and
// moves past it.  Nested arrays and dictionaries deeper than kMaxDepth, or
// not closed within the window, give Bad.
constexpr int kMaxDepth = limits::kValueDepth;
Value ReadValue(Lexer& lex, int maxDepth = kMaxDepth);

// A dictionary in a window: "<<" at begin, its top-level entries read on
// demand.  A dictionary whose ">>" lies past the window is incomplete: a key
// found in it is top-level, but a later duplicate could not be seen, and its
// last value may be cut short by the window; callers that must be sure read
// a larger window until complete() holds.
class Dict {
public:
    // The dictionary that starts at pos, after white space and comments.
    static std::optional<Dict> At(std::string_view window, std::size_t pos = 0);
    // The same dictionary with its entries lexed again at every lookup, as
    // At reads the ones it cannot hold; what At holds must read the same.
    static std::optional<Dict> AtUnheld(std::string_view window, std::size_t pos = 0);

    // The value of key at the top level; the last occurrence wins, as
    // readers take it.  Missing when absent.
    Value Get(std::string_view key) const;
    // The values of several keys, read in one pass over the dictionary.
    template <std::size_t N>
    std::array<Value, N> GetAll(const std::array<std::string_view, N>& keys) const;
    // Visits every top-level entry in order; the visitor returns false to stop.
    template <typename F>
    void ForEach(F&& visit) const;

    bool complete() const { return complete_; }
    // The dictionary's bytes from "<<" to ">>" (or to the window's end).
    std::string_view text() const { return text_; }
    std::size_t end() const { return end_; }  // just past ">>" in the window

private:
    // Reads the entries of a well-formed dictionary in the pass that finds
    // its end, so that looking keys up never lexes it again.  False when the
    // dictionary is anything else; it is then read the long way.
    bool ReadEntries(Lexer& lex);
    static std::optional<Dict> Read(std::string_view window, std::size_t pos, bool hold);

    struct Entry {
        std::string_view key;
        Value value;
    };
    // Page-tree nodes, catalogs and stream dictionaries hold a dozen keys
    // or fewer; a larger dictionary is lexed on every lookup instead.
    static constexpr std::size_t kHeldEntries = 16;

    std::string_view window_;
    std::string_view text_;
    std::size_t begin_ = 0;  // just past "<<"
    std::size_t end_ = 0;
    bool complete_ = false;
    bool held_ = false;  // entries_ holds every entry
    std::size_t count_ = 0;
    std::array<Entry, kHeldEntries> entries_{};
};

// The items of an array value, in order; the visitor returns false to stop.
// Returns false when the array is malformed.
template <typename F>
bool ForEachItem(const Value& array, F&& visit);

// The items of an array value read one at a time, for a caller that keeps
// its place between items; the window must outlive it.
class ArrayItems {
public:
    ArrayItems() = default;
    explicit ArrayItems(const Value& array) : lex_(array.text, 1), array_(array.kind == Value::Kind::Array) {}
    enum class Step { Item, End, Bad };
    // The next item; Bad when the array is malformed (or no array).
    Step Next(Value& item) {
        if (!array_) return Step::Bad;
        const Token t = lex_.Peek();
        if (t.kind == Token::Kind::ArrayClose) return Step::End;
        if (t.kind == Token::Kind::End) return Step::Bad;
        item = ReadValue(lex_);
        return item.kind == Value::Kind::Bad || item.kind == Value::Kind::Missing ? Step::Bad : Step::Item;
    }

private:
    Lexer lex_{std::string_view()};
    bool array_ = false;
};

// "N G obj" at pos (after white space): the object number, its generation
// and where its body starts.
struct ObjectHeader {
    std::int64_t number = 0;
    std::int64_t generation = 0;
    std::size_t body = 0;
};
std::optional<ObjectHeader> ReadObjectHeader(std::string_view window, std::size_t pos);

// ---------------------------------------------------------------- inline

template <typename F>
void Dict::ForEach(F&& visit) const {
    if (held_) {
        for (std::size_t i = 0; i < count_; ++i)
            if (!visit(entries_[i].key, entries_[i].value)) return;
        return;
    }
    Lexer lex(window_, begin_);
    for (;;) {
        const Token key = lex.Next();
        if (key.kind != Token::Kind::Name || key.offset >= end_) return;
        const Value value = ReadValue(lex);
        if (value.kind == Value::Kind::Bad || value.kind == Value::Kind::Missing) return;
        if (!visit(key.text, value)) return;
    }
}

template <std::size_t N>
std::array<Value, N> Dict::GetAll(const std::array<std::string_view, N>& keys) const {
    std::array<Value, N> found;
    ForEach([&](std::string_view name, const Value& value) {
        for (std::size_t k = 0; k < N; ++k)
            if (NameEquals(name, keys[k])) found[k] = value;
        return true;
    });
    return found;
}

template <typename F>
bool ForEachItem(const Value& array, F&& visit) {
    if (array.kind != Value::Kind::Array) return false;
    Lexer lex(array.text, 1);
    for (;;) {
        const Token t = lex.Peek();
        if (t.kind == Token::Kind::ArrayClose) return true;
        if (t.kind == Token::Kind::End) return false;
        const Value item = ReadValue(lex);
        if (item.kind == Value::Kind::Bad || item.kind == Value::Kind::Missing) return false;
        if (!visit(item)) return true;
    }
}

}  // namespace brastel::pdf
