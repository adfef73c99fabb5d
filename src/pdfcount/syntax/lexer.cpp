#include "syntax/lexer.h"

namespace brastel::pdf {

namespace {

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A regular run that reads as a number: [+-] digits [. digits] or [+-] . digits.
// Integers of up to 18 digits keep their value; longer ones are reals, which
// no count or offset can be.
Token::Kind NumberKind(std::string_view run, std::int64_t& value) {
    std::size_t i = 0;
    bool negative = false;
    if (i < run.size() && (run[i] == '+' || run[i] == '-')) negative = run[i++] == '-';
    std::size_t digits = 0, fraction = 0;
    bool dot = false;
    std::int64_t v = 0;
    for (; i < run.size(); ++i) {
        const char c = run[i];
        if (IsDigit(c)) {
            if (dot) {
                ++fraction;
            } else {
                if (++digits <= 18) v = v * 10 + (c - '0');
            }
        } else if (c == '.' && !dot) {
            dot = true;
        } else {
            return Token::Kind::Keyword;
        }
    }
    if (digits + fraction == 0) return Token::Kind::Keyword;
    if (dot || digits > 18) return Token::Kind::Real;
    value = negative ? -v : v;
    return Token::Kind::Integer;
}

}  // namespace

void Lexer::SkipWhiteAndComments() {
    while (i_ < t_.size()) {
        const char c = t_[i_];
        if (IsPdfSpace(c)) {
            ++i_;
        } else if (c == '%') {
            while (i_ < t_.size() && t_[i_] != '\n' && t_[i_] != '\r') ++i_;
        } else {
            return;
        }
    }
}

Token Lexer::Peek() {
    const std::size_t keep = i_;
    Token t = Next();
    i_ = keep;
    return t;
}

Token Lexer::Next() {
    SkipWhiteAndComments();
    Token t;
    t.offset = i_;
    if (i_ >= t_.size()) return t;
    const std::size_t from = i_;
    const char c = t_[i_];
    auto finish = [&](Token::Kind kind, std::size_t to) {
        t.kind = kind;
        t.text = t_.substr(from, to - from);
        i_ = to;
        return t;
    };
    switch (c) {
    case '/': {
        std::size_t j = i_ + 1;
        while (j < t_.size() && IsRegular(t_[j])) ++j;
        return finish(Token::Kind::Name, j);
    }
    case '(': {
        int depth = 0;
        for (std::size_t j = i_; j < t_.size(); ++j) {
            if (t_[j] == '\\') {
                ++j;
            } else if (t_[j] == '(') {
                ++depth;
            } else if (t_[j] == ')' && --depth == 0) {
                return finish(Token::Kind::String, j + 1);
            }
        }
        return finish(Token::Kind::Bad, t_.size());
    }
    case '<': {
        if (i_ + 1 < t_.size() && t_[i_ + 1] == '<') return finish(Token::Kind::DictOpen, i_ + 2);
        const auto close = t_.find('>', i_ + 1);
        if (close == std::string_view::npos) return finish(Token::Kind::Bad, t_.size());
        return finish(Token::Kind::HexString, close + 1);
    }
    case '>':
        if (i_ + 1 < t_.size() && t_[i_ + 1] == '>') return finish(Token::Kind::DictClose, i_ + 2);
        return finish(Token::Kind::Bad, i_ + 1);
    case '[':
        return finish(Token::Kind::ArrayOpen, i_ + 1);
    case ']':
        return finish(Token::Kind::ArrayClose, i_ + 1);
    case '{':
    case '}':
        return finish(Token::Kind::Keyword, i_ + 1);
    case ')':
        return finish(Token::Kind::Bad, i_ + 1);
    default: {
        std::size_t j = i_;
        while (j < t_.size() && IsRegular(t_[j])) ++j;
        finish(Token::Kind::Keyword, j);
        t.kind = NumberKind(t.text, t.integer);
        return t;
    }
    }
}

bool NameEquals(std::string_view name, std::string_view key) {
    if (name == key) return true;
    // Only a name with an escape can still match.
    if (name.find('#') == std::string_view::npos) return false;
    std::size_t k = 0;
    for (std::size_t i = 0; i < name.size(); ++i, ++k) {
        char c = name[i];
        if (c == '#' && i + 2 < name.size() && HexValue(name[i + 1]) >= 0 && HexValue(name[i + 2]) >= 0) {
            c = static_cast<char>(HexValue(name[i + 1]) * 16 + HexValue(name[i + 2]));
            i += 2;
        }
        if (k >= key.size() || key[k] != c) return false;
    }
    return k == key.size();
}

std::optional<std::int64_t> Value::Whole() const {
    if (kind == Kind::Integer) return integer;
    if (kind != Kind::Real) return std::nullopt;
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t v = 0;
    std::size_t digits = 0;
    for (; i < text.size() && IsDigit(text[i]); ++i)
        if (++digits > 18) return std::nullopt;
        else v = v * 10 + (text[i] - '0');
    if (i >= text.size() || text[i] != '.') return std::nullopt;
    for (++i; i < text.size(); ++i)
        if (text[i] != '0') return std::nullopt;
    return negative ? -v : v;
}

namespace {

bool IsBoundary(std::string_view keyword) {
    return keyword == "obj" || keyword == "endobj" || keyword == "stream" || keyword == "endstream";
}

// Moves past the rest of an array or dictionary whose opener was just read,
// keeping a stack of openers so that "[ >>" is seen as broken.
bool SkipNested(Lexer& lex, Token::Kind opener, std::size_t& end, int maxDepth = kMaxDepth) {
    Token::Kind stack[kMaxDepth];
    int depth = 0;
    stack[depth++] = opener;
    for (;;) {
        const Token t = lex.Next();
        switch (t.kind) {
        case Token::Kind::End:
        case Token::Kind::Bad:
            return false;
        case Token::Kind::ArrayOpen:
        case Token::Kind::DictOpen:
            if (depth == maxDepth) return false;
            stack[depth++] = t.kind;
            break;
        case Token::Kind::ArrayClose:
        case Token::Kind::DictClose: {
            const Token::Kind want =
                t.kind == Token::Kind::ArrayClose ? Token::Kind::ArrayOpen : Token::Kind::DictOpen;
            if (stack[--depth] != want) return false;
            if (depth == 0) {
                end = t.offset + t.text.size();
                return true;
            }
            break;
        }
        case Token::Kind::Keyword:
            // An object or stream boundary inside a container: it never closed.
            if (IsBoundary(t.text)) return false;
            break;
        default:
            break;
        }
    }
}

}  // namespace

Value ReadValue(Lexer& lex, int maxDepth) {
    Value v;
    const Token t = lex.Next();
    const std::string_view window = lex.window();
    v.text = t.text;
    switch (t.kind) {
    case Token::Kind::End:
        return v;
    case Token::Kind::Integer: {
        v.kind = Value::Kind::Integer;
        v.integer = t.integer;
        // "N G R" is a reference; anything else leaves the integer alone.
        const std::size_t after = lex.pos();
        const Token gen = lex.Next();
        if (gen.kind == Token::Kind::Integer && t.integer >= 0 && gen.integer >= 0) {
            const Token r = lex.Next();
            if (r.kind == Token::Kind::Keyword && r.text == "R") {
                v.kind = Value::Kind::Ref;
                v.generation = gen.integer;
                v.text = window.substr(t.offset, r.offset + 1 - t.offset);
                return v;
            }
        }
        lex.Seek(after);
        return v;
    }
    case Token::Kind::Real:
        v.kind = Value::Kind::Real;
        return v;
    case Token::Kind::Name:
        v.kind = Value::Kind::Name;
        return v;
    case Token::Kind::String:
    case Token::Kind::HexString:
        v.kind = Value::Kind::String;
        return v;
    case Token::Kind::Keyword:
        if (t.text == "true" || t.text == "false") {
            v.kind = Value::Kind::Bool;
        } else if (t.text == "null") {
            v.kind = Value::Kind::Null;
        } else {
            v.kind = Value::Kind::Other;
        }
        return v;
    case Token::Kind::ArrayOpen:
    case Token::Kind::DictOpen: {
        std::size_t end = 0;
        if (maxDepth < 1 || !SkipNested(lex, t.kind, end, maxDepth)) {
            v.kind = Value::Kind::Bad;
            return v;
        }
        v.kind = t.kind == Token::Kind::ArrayOpen ? Value::Kind::Array : Value::Kind::Dict;
        v.text = window.substr(t.offset, end - t.offset);
        return v;
    }
    default:
        v.kind = Value::Kind::Bad;
        return v;
    }
}

std::optional<Dict> Dict::At(std::string_view window, std::size_t pos) { return Read(window, pos, true); }

std::optional<Dict> Dict::AtUnheld(std::string_view window, std::size_t pos) { return Read(window, pos, false); }

std::optional<Dict> Dict::Read(std::string_view window, std::size_t pos, bool hold) {
    Lexer lex(window, pos);
    const Token open = lex.Next();
    if (open.kind != Token::Kind::DictOpen) return std::nullopt;
    Dict d;
    d.window_ = window;
    d.begin_ = lex.pos();
    if (hold && d.ReadEntries(lex)) {
        d.text_ = window.substr(open.offset, d.end_ - open.offset);
        return d;
    }
    d.count_ = 0;
    lex.Seek(d.begin_);
    std::size_t end = 0;
    d.complete_ = SkipNested(lex, Token::Kind::DictOpen, end);
    // An unclosed dictionary ends where reading it broke off.
    d.end_ = d.complete_ ? end : lex.pos();
    d.text_ = window.substr(open.offset, d.end_ - open.offset);
    return d;
}

// Succeeds exactly where skipping the dictionary would find it closed and
// reading its entries would visit every one: name keys, each followed by a
// value, then ">>".  It sees the tokens the skip sees, nested values within
// the same depth, and refuses what the skip refuses.
bool Dict::ReadEntries(Lexer& lex) {
    for (;;) {
        const Token key = lex.Next();
        if (key.kind == Token::Kind::DictClose) {
            complete_ = true;
            held_ = true;
            end_ = key.offset + key.text.size();
            return true;
        }
        if (key.kind != Token::Kind::Name || count_ == kHeldEntries) return false;
        const Value value = ReadValue(lex, kMaxDepth - 1);
        if (value.kind == Value::Kind::Bad || value.kind == Value::Kind::Missing) return false;
        if (value.kind == Value::Kind::Other && IsBoundary(value.text)) return false;
        entries_[count_++] = Entry{key.text, value};
    }
}

Value Dict::Get(std::string_view key) const {
    Value found;
    ForEach([&](std::string_view name, const Value& value) {
        if (NameEquals(name, key)) found = value;
        return true;
    });
    return found;
}

std::optional<ObjectHeader> ReadObjectHeader(std::string_view window, std::size_t pos) {
    Lexer lex(window, pos);
    const Token num = lex.Next();
    const Token gen = lex.Next();
    const Token obj = lex.Next();
    auto plain = [](const Token& t) {
        if (t.kind != Token::Kind::Integer || t.text.empty()) return false;
        for (char c : t.text)
            if (!IsDigit(c)) return false;
        return true;
    };
    if (!plain(num) || !plain(gen) || obj.kind != Token::Kind::Keyword || obj.text != "obj") return std::nullopt;
    return ObjectHeader{num.integer, gen.integer, lex.pos()};
}

}  // namespace brastel::pdf
