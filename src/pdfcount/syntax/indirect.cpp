#include "syntax/indirect.h"

#include <algorithm>
#include <cstring>

namespace brastel::pdf {

namespace {

// The value at the lexer's place is whole in the window: it parsed, and the
// window goes on past it (a number or "N G R" at the very end could still
// be cut short).
enum class ValueState { Whole, Cut, Broken };
ValueState ReadWholeValue(std::string_view text, std::size_t body, std::size_t* end = nullptr) {
    Lexer lex(text, body);
    const Value v = ReadValue(lex);
    if (v.kind == Value::Kind::Bad || v.kind == Value::Kind::Missing)
        return lex.pos() >= text.size() ? ValueState::Cut : ValueState::Broken;
    if (end) *end = lex.pos();
    return lex.Next().kind == Token::Kind::End ? ValueState::Cut : ValueState::Whole;
}

bool FlateName(std::string_view name) { return NameEquals(name, "/FlateDecode") || NameEquals(name, "/Fl"); }

std::optional<Predictor> ReadPredictor(const Value& parms) {
    Predictor p;
    if (parms.Is(Value::Kind::Missing) || parms.Is(Value::Kind::Null)) return p;
    const auto dict = parms.Is(Value::Kind::Dict) ? Dict::At(parms.text) : std::nullopt;
    if (!dict || !dict->complete()) return std::nullopt;
    bool ok = true;
    auto take = [&](std::string_view key, long long& into) {
        const Value v = dict->Get(key);
        if (v.Is(Value::Kind::Missing) || v.Is(Value::Kind::Null)) return;
        const auto whole = v.Whole();
        if (!whole) ok = false;
        else into = *whole;
    };
    take("/Predictor", p.predictor);
    take("/Colors", p.colors);
    take("/BitsPerComponent", p.bitsPerComponent);
    take("/Columns", p.columns);
    if (!ok) return std::nullopt;
    return p;
}

}  // namespace

std::optional<ObjectText> ReadIndirect(FileReader& file, std::int64_t offset, std::optional<std::int64_t> num,
                                       bool* large, std::size_t limit) {
    limit = std::min(limit, kMaxObjectBytes);
    if (offset < 0 || offset >= file.length()) return std::nullopt;
    // From one byte before, so that an offset into the middle of a longer
    // number is seen as such.
    const std::int64_t at = offset > 0 ? offset - 1 : 0;
    const std::size_t lead = static_cast<std::size_t>(offset - at);
    ObjectText o;
    o.offset = at;
    // Most objects are a few hundred bytes at most: the first read is small
    // enough to be served from the reader's window, so objects that follow
    // each other in the file (the pages of a wide tree) cost no system call
    // each, and little copying.
    for (std::size_t n = FileReader::kWindow / 16; n <= limit; n *= 4) {
        if (!file.Read(at, n, o.text) || o.text.size() <= lead) return std::nullopt;
        if (lead == 1 && IsDigit(o.text[0])) return std::nullopt;
        // White space before the header is passed over, as readers do.
        std::size_t start = lead;
        while (start < o.text.size() && IsPdfSpace(o.text[start])) ++start;
        if (start == o.text.size() || !IsDigit(o.text[start])) return std::nullopt;
        const auto header = ReadObjectHeader(o.text, start);
        if (!header || (num && header->number != *num)) return std::nullopt;
        o.body = header->body;
        std::size_t end = 0;
        switch (ReadWholeValue(o.text, o.body, &end)) {
        case ValueState::Whole:
            // A window much longer than the value is not kept with it: a
            // walk holds one node's text for each level it is below.
            if (o.text.size() - end > FileReader::kWindow) {
                o.text.resize(end + 64);
                o.text.shrink_to_fit();
            }
            return o;
        case ValueState::Broken:
            return std::nullopt;
        case ValueState::Cut:
            if (o.text.size() < n) return std::nullopt;  // the file ends inside the value
            break;
        }
    }
    if (large) *large = true;
    return std::nullopt;
}

// Tokens of a span of the file read a window at a time: a token that
// touches a window's end is read again from a window that starts with it.
class WindowTokens {
public:
    WindowTokens(FileReader& file, std::int64_t from, std::int64_t end) : file_(file), end_(end) { Refill(from); }

    // The next token, its offset made absolute in at; Bad when a read
    // fails or a token is longer than a window.
    Token Next(std::int64_t& at) {
        if (parked_) {
            parked_ = false;
            Refill(resume_);
        }
        for (int attempt = 0; attempt < 2; ++attempt) {
            const std::size_t before = lex_.pos();
            const Token t = lex_.Next();
            const bool touches = t.kind == Token::Kind::End || t.offset + t.text.size() >= window_.size();
            if (!touches || last_) {
                at = base_ + static_cast<std::int64_t>(t.offset);
                return t;
            }
            // Again from the token's start (or from where the white space
            // before it began, for a window that ended inside it).
            const std::size_t from = t.kind == Token::Kind::End ? before : t.offset;
            if (from == 0 || !Refill(base_ + static_cast<std::int64_t>(from))) break;
        }
        Token bad;
        bad.kind = Token::Kind::Bad;
        return bad;
    }

    // Lets the window go until the next token is asked for: a walk that
    // goes down into another node keeps no window for this one.
    void Park() {
        if (parked_) return;
        resume_ = base_ + static_cast<std::int64_t>(lex_.pos());
        std::string().swap(window_);
        lex_ = Lexer(window_);
        parked_ = true;
    }

private:
    static constexpr std::size_t kWindowBytes = std::size_t{256} << 10;
    bool Refill(std::int64_t from) {
        const auto want = static_cast<std::size_t>(std::min<std::int64_t>(kWindowBytes, std::max<std::int64_t>(0, end_ - from)));
        if (!file_.Read(from, want, window_)) window_.clear();
        base_ = from;
        last_ = window_.size() < kWindowBytes;
        lex_ = Lexer(window_);
        return true;
    }

    FileReader& file_;
    std::int64_t end_;
    std::string window_;
    std::int64_t base_ = 0;
    bool last_ = false;
    Lexer lex_{std::string_view()};
    bool parked_ = false;
    std::int64_t resume_ = 0;
};

std::optional<std::size_t> LargeObject::ArrayOf(const Value& v) const {
    if (!v.Is(Value::Kind::Other) || v.text.substr(0, 6) != "_array") return std::nullopt;
    std::size_t k = 0;
    for (char c : v.text.substr(6)) {
        if (!IsDigit(c) || k > arrays.size()) return std::nullopt;
        k = k * 10 + static_cast<std::size_t>(c - '0');
    }
    if (v.text.size() == 6 || k >= arrays.size()) return std::nullopt;
    return k;
}

std::optional<LargeObject> ReadLargeIndirect(FileReader& file, std::int64_t offset, std::optional<std::int64_t> num) {
    if (offset < 0 || offset >= file.length()) return std::nullopt;
    LargeObject large;
    ObjectText& o = large.object;
    const std::int64_t at = offset > 0 ? offset - 1 : 0;
    const std::size_t lead = static_cast<std::size_t>(offset - at);
    std::string head;
    if (!file.Read(at, FileReader::kWindow, head) || head.size() <= lead) return std::nullopt;
    if (lead == 1 && IsDigit(head[0])) return std::nullopt;
    std::size_t start = lead;
    while (start < head.size() && IsPdfSpace(head[start])) ++start;
    if (start == head.size() || !IsDigit(head[start])) return std::nullopt;
    const auto header = ReadObjectHeader(head, start);
    if (!header || (num && header->number != *num)) return std::nullopt;
    o.offset = at;
    o.text = head.substr(0, header->body);
    o.body = header->body;

    // The dictionary token by token, copied but for the long arrays of
    // references right inside it, which are only measured.
    WindowTokens tokens(file, at + static_cast<std::int64_t>(header->body), file.length());
    int depth = 0;
    bool first = true;
    struct Pending {
        std::int64_t start = 0;
        std::string text;  // while it is short enough to copy
        bool refsOnly = true;
        int depth = 0;
    };
    std::optional<Pending> array;
    for (;;) {
        std::int64_t pos = 0;
        const Token t = tokens.Next(pos);
        if (t.kind == Token::Kind::End || t.kind == Token::Kind::Bad) return std::nullopt;
        if (first && t.kind != Token::Kind::DictOpen) return std::nullopt;
        first = false;
        if (t.kind == Token::Kind::ArrayOpen && depth == 1 && !array) {
            array = Pending{pos, "[", true, 1};
            continue;
        }
        if (array) {
            if (t.kind == Token::Kind::ArrayOpen || t.kind == Token::Kind::DictOpen) ++array->depth;
            if (t.kind == Token::Kind::ArrayClose || t.kind == Token::Kind::DictClose) --array->depth;
            if (t.kind != Token::Kind::Integer && !(t.kind == Token::Kind::Keyword && t.text == "R") &&
                !(t.kind == Token::Kind::ArrayClose && array->depth == 0))
                array->refsOnly = false;
            const bool closed = array->depth == 0;
            if (array->text.size() <= kElidedArray) (array->text += ' ') += t.text;
            else if (!array->refsOnly) return std::nullopt;  // too long to keep, and not to be elided
            if (!closed) continue;
            if (array->text.size() <= kElidedArray) {
                o.text += ' ' + array->text;
            } else {
                const std::int64_t end = pos + 1;
                o.text += " _array" + std::to_string(large.arrays.size());
                large.arrays.push_back(StreamSpan{array->start, end - array->start});
            }
            array.reset();
            continue;
        }
        if (t.kind == Token::Kind::DictOpen || t.kind == Token::Kind::ArrayOpen) ++depth;
        if (t.kind == Token::Kind::DictClose || t.kind == Token::Kind::ArrayClose) --depth;
        (o.text += ' ') += t.text;
        if (o.text.size() > kMaxObjectBytes) return std::nullopt;
        if (depth == 0) break;
    }
    o.text += " endobj";
    if (large.arrays.empty()) return std::nullopt;  // nothing was long: no large object after all
    return large;
}

References::References(FileReader& file, StreamSpan span)
    : tokens_(std::make_unique<WindowTokens>(file, span.start, span.start + span.length)) {}
References::~References() = default;
References::References(References&&) noexcept = default;
References& References::operator=(References&&) noexcept = default;

void References::Park() {
    if (tokens_) tokens_->Park();
}

References::Step References::Next(std::int64_t& num, std::int64_t& gen) {
    if (over_ || !tokens_) return Step::Bad;
    std::int64_t pos = 0;
    if (!opened_) {
        opened_ = true;
        if (tokens_->Next(pos).kind != Token::Kind::ArrayOpen) return (over_ = true, Step::Bad);
    }
    const Token a = tokens_->Next(pos);
    if (a.kind == Token::Kind::ArrayClose) return (over_ = true, Step::End);
    const Token b = tokens_->Next(pos);
    const Token r = tokens_->Next(pos);
    if (a.kind != Token::Kind::Integer || b.kind != Token::Kind::Integer || a.integer < 0 || b.integer < 0 ||
        r.kind != Token::Kind::Keyword || r.text != "R")
        return (over_ = true, Step::Bad);
    num = a.integer;
    gen = b.integer;
    return Step::Ref;
}

bool ForEachReference(FileReader& file, StreamSpan span,
                      const std::function<bool(std::int64_t num, std::int64_t gen)>& visit) {
    References refs(file, span);
    std::int64_t num = 0, gen = 0;
    for (;;) {
        switch (refs.Next(num, gen)) {
        case References::Step::Ref:
            if (!visit(num, gen)) return true;
            break;
        case References::Step::End:
            return true;
        case References::Step::Bad:
            return false;
        }
    }
}

namespace {
// Where a stream's data starts in the file: after "stream" and its line
// end. Blanks some writers leave before the line end are passed over, as
// readers pass them.
std::optional<std::int64_t> DataStart(FileReader& file, const ObjectText& o, const Dict& dict) {
    // The object's text may end anywhere after its dictionary (it is read
    // in growing windows): "stream" and its line end are read from the file.
    const std::int64_t from = o.offset + static_cast<std::int64_t>(dict.end());
    std::string after;
    for (const std::size_t n : {std::size_t{64}, std::size_t{4096}}) {
        if (!file.Read(from, n, after)) return std::nullopt;
        Lexer lex(after, 0);
        const Token keyword = lex.Next();
        std::size_t i = lex.pos();
        while (i < after.size() && (after[i] == ' ' || after[i] == '\t')) ++i;
        // Blanks or a comment up to the window's end: read on.
        if (i + 2 > after.size() && after.size() == n) continue;
        if (keyword.kind != Token::Kind::Keyword || keyword.text != "stream") return std::nullopt;
        if (i < after.size() && after[i] == '\r') ++i;
        if (i < after.size() && after[i] == '\n') ++i;
        return from + static_cast<std::int64_t>(i);
    }
    return std::nullopt;
}
}  // namespace

std::optional<std::string> StreamData(FileReader& file, const ObjectText& o, const Dict& dict,
                                      std::optional<std::int64_t> length, std::size_t limit) {
    const auto found = DataStart(file, o, dict);
    if (!found) return std::nullopt;
    const std::int64_t start = *found;

    std::string data;
    if (length && *length >= 0 && static_cast<std::uint64_t>(*length) <= limit) {
        const auto n = static_cast<std::size_t>(*length);
        if (!file.Read(start, n + 32, data)) return std::nullopt;
        if (data.size() >= n) {
            Lexer after(std::string_view(data).substr(n));
            const Token end = after.Next();
            // "endobj" there: "endstream" was left out, and /Length is right.
            if (end.kind == Token::Kind::Keyword && (end.text == "endstream" || end.text == "endobj")) {
                data.resize(n);
                return data;
            }
        }
    }
    // The length is missing or wrong: the data ends before the first
    // "endstream", searched in growing reads up to the limit.
    for (std::size_t n = std::size_t{64} << 10;; n *= 4) {
        const std::size_t want = std::min(n, limit + 16);
        if (!file.Read(start, want, data)) return std::nullopt;
        const auto end = data.find("endstream");
        if (end != std::string::npos) {
            std::size_t cut = end;
            if (cut > 0 && data[cut - 1] == '\n') --cut;
            if (cut > 0 && data[cut - 1] == '\r') --cut;
            if (cut > limit) return std::nullopt;
            data.resize(cut);
            return data;
        }
        if (data.size() < want || want > limit) return std::nullopt;
    }
}

std::optional<StreamSpan> FindStreamSpan(FileReader& file, const ObjectText& o, const Dict& dict,
                                         std::optional<std::int64_t> length) {
    const auto found = DataStart(file, o, dict);
    if (!found) return std::nullopt;
    const std::int64_t start = *found;
    std::string window;
    if (length && *length >= 0 && *length <= file.length() - start) {
        if (!file.Read(start + *length, 32, window)) return std::nullopt;
        Lexer after(window);
        const Token end = after.Next();
        // "endobj" there: "endstream" was left out, and /Length is right.
        if (end.kind == Token::Kind::Keyword && (end.text == "endstream" || end.text == "endobj"))
            return StreamSpan{start, *length};
    }
    // The length is missing or wrong: the data ends before the first
    // "endstream", searched a window at a time with an overlap for a
    // keyword across two windows.
    constexpr std::size_t kStep = std::size_t{64} << 10;
    constexpr std::size_t kOverlap = 16;
    std::string tail;  // the last bytes of the window before
    for (std::int64_t at = start; at < file.length(); at += kStep) {
        if (!file.Read(at, kStep, window)) return std::nullopt;
        if (window.empty()) return std::nullopt;
        const std::string joined = tail + window;
        const auto found = joined.find("endstream");
        if (found != std::string::npos) {
            std::int64_t cut = at - static_cast<std::int64_t>(tail.size()) + static_cast<std::int64_t>(found);
            // The end-of-line before "endstream" is no data.
            std::string before;
            const std::int64_t k = std::min<std::int64_t>(2, cut - start);
            if (k > 0 && !file.Read(cut - k, static_cast<std::size_t>(k), before)) return std::nullopt;
            if (!before.empty() && before.back() == '\n') {
                --cut;
                before.pop_back();
            }
            if (!before.empty() && before.back() == '\r') --cut;
            return StreamSpan{start, cut - start};
        }
        tail = joined.substr(joined.size() - std::min(joined.size(), kOverlap));
        if (window.size() < kStep) break;
    }
    return std::nullopt;
}

std::ptrdiff_t FileSpan::Pull(char* into, std::size_t n) {
    const std::int64_t left = span_.length - at_;
    if (left <= 0) return 0;
    n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(n), left));
    if (!file_.Read(span_.start + at_, n, chunk_)) return -1;
    // A file that ends early ends the data there.
    std::memcpy(into, chunk_.data(), chunk_.size());
    at_ += static_cast<std::int64_t>(chunk_.size());
    if (chunk_.size() < n) at_ = span_.length;
    return static_cast<std::ptrdiff_t>(chunk_.size());
}

bool FlateOrNone(const Dict& dict, bool& flate, Predictor& predictor) {
    const auto [filter, parms] = dict.GetAll<2>({"/Filter", "/DecodeParms"});
    flate = false;
    predictor = Predictor{};
    if (filter.Is(Value::Kind::Name)) {
        flate = FlateName(filter.text);
        if (!flate) return false;
    } else if (filter.Is(Value::Kind::Array)) {
        int items = 0;
        const bool known = ForEachItem(filter, [&](const Value& item) {
            ++items;
            flate = item.Is(Value::Kind::Name) && FlateName(item.text);
            return flate;
        });
        if (!known || items > 1 || (items == 1 && !flate)) return false;
    } else if (!filter.Is(Value::Kind::Missing) && !filter.Is(Value::Kind::Null)) {
        return false;
    }
    if (!flate) return true;
    Value only = parms;
    if (parms.Is(Value::Kind::Array)) {
        int items = 0;
        if (!ForEachItem(parms, [&](const Value& item) {
                only = item;
                return ++items < 2;
            }) ||
            items > 1)
            return false;
        if (items == 0) only = Value{};
    }
    const auto read = ReadPredictor(only);
    if (!read) return false;
    predictor = *read;
    return true;
}

bool StreamableFilter(const Dict& dict, bool& flate) {
    // Any predictor other than 1 is left to the decoder that holds the data.
    Predictor predictor;
    return FlateOrNone(dict, flate, predictor) && predictor.predictor == 1;
}

bool NoReaderDecodes(const Dict& dict) {
    static constexpr std::string_view kRead[] = {"/FlateDecode",    "/Fl",  "/LZWDecode",       "/LZW",
                                                 "/ASCII85Decode",  "/A85", "/ASCIIHexDecode",  "/AHx",
                                                 "/RunLengthDecode", "/RL", "/Crypt"};
    const auto unread = [](const Value& v) {
        if (!v.Is(Value::Kind::Name)) return false;  // no name: damage, not a filter to judge
        for (std::string_view known : kRead)
            if (NameEquals(v.text, known)) return false;
        return true;
    };
    const Value filter = dict.Get("/Filter");
    if (filter.Is(Value::Kind::Name)) return unread(filter);
    bool any = false;
    if (filter.Is(Value::Kind::Array))
        ForEachItem(filter, [&](const Value& item) {
            any = unread(item);
            return !any;
        });
    return any;
}

Decoded DecodeStream(const Dict& dict, std::string_view data, std::size_t cap, std::string& out) {
    bool flate = false;
    Predictor predictor;
    if (!FlateOrNone(dict, flate, predictor)) return Decoded::Unsupported;
    if (!flate) {
        out.assign(data.substr(0, cap));
        return data.size() > cap ? Decoded::Capped : Decoded::Ok;
    }
    const std::size_t encodedCap = std::max(predictor.EncodedSize(cap), cap);
    Decoded status = Inflate(data, encodedCap, out);
    if (status == Decoded::Damaged) return status;
    const Decoded undone = Unpredict(predictor, out);
    if (undone != Decoded::Ok) return undone;
    if (out.size() > cap) {
        out.resize(cap);
        status = Decoded::Capped;
    }
    return status;
}

}  // namespace brastel::pdf
