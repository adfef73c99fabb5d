#include "indirect.h"

#include <algorithm>

namespace brastel::pdf {

namespace {

bool IsDigitByte(char c) { return c >= '0' && c <= '9'; }

// The value at the lexer's place is whole in the window: it parsed, and the
// window goes on past it (a number or "N G R" at the very end could still
// be cut short).
enum class ValueState { Whole, Cut, Broken };
ValueState ReadWholeValue(std::string_view text, std::size_t body) {
    Lexer lex(text, body);
    const Value v = ReadValue(lex);
    if (v.kind == Value::Kind::Bad || v.kind == Value::Kind::Missing)
        return lex.pos() >= text.size() ? ValueState::Cut : ValueState::Broken;
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

std::optional<ObjectText> ReadIndirect(FileReader& file, std::int64_t offset, std::optional<std::int64_t> num) {
    if (offset < 0 || offset >= file.length()) return std::nullopt;
    // From one byte before, so that an offset into the middle of a longer
    // number is seen as such.
    const std::int64_t at = offset > 0 ? offset - 1 : 0;
    const std::size_t lead = static_cast<std::size_t>(offset - at);
    ObjectText o;
    o.offset = at;
    for (std::size_t n = FileReader::kWindow; n <= kMaxObjectBytes; n *= 4) {
        if (!file.Read(at, n, o.text) || o.text.size() <= lead) return std::nullopt;
        if (lead == 1 && IsDigitByte(o.text[0])) return std::nullopt;
        // White space before the header is passed over, as readers do.
        std::size_t start = lead;
        while (start < o.text.size() && IsWhite(o.text[start])) ++start;
        if (start == o.text.size() || !IsDigitByte(o.text[start])) return std::nullopt;
        const auto header = ReadObjectHeader(o.text, start);
        if (!header || (num && header->number != *num)) return std::nullopt;
        o.body = header->body;
        switch (ReadWholeValue(o.text, o.body)) {
        case ValueState::Whole:
            return o;
        case ValueState::Broken:
            return std::nullopt;
        case ValueState::Cut:
            if (o.text.size() < n) return std::nullopt;  // the file ends inside the value
            break;
        }
    }
    return std::nullopt;
}

std::optional<std::string> StreamData(FileReader& file, const ObjectText& o, const Dict& dict,
                                      std::optional<std::int64_t> length, std::size_t limit) {
    Lexer lex(o.text, dict.end());
    const Token keyword = lex.Next();
    if (keyword.kind != Token::Kind::Keyword || keyword.text != "stream") return std::nullopt;
    // Blanks some writers leave before the line end are passed over, as
    // readers pass them.
    std::size_t i = lex.pos();
    while (i < o.text.size() && (o.text[i] == ' ' || o.text[i] == '\t')) ++i;
    if (i < o.text.size() && o.text[i] == '\r') ++i;
    if (i < o.text.size() && o.text[i] == '\n') ++i;
    const std::int64_t start = o.offset + static_cast<std::int64_t>(i);

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
    auto [filter, parms] = dict.GetAll<2>({"/Filter", "/DecodeParms"});
    bool flate = false;
    if (filter.Is(Value::Kind::Name)) {
        if (!FlateName(filter.text)) return Decoded::Unsupported;
        flate = true;
    } else if (filter.Is(Value::Kind::Array)) {
        int items = 0;
        bool known = ForEachItem(filter, [&](const Value& item) {
            ++items;
            flate = item.Is(Value::Kind::Name) && FlateName(item.text);
            return flate;
        });
        if (!known || items > 1 || (items == 1 && !flate)) return Decoded::Unsupported;
    } else if (!filter.Is(Value::Kind::Missing) && !filter.Is(Value::Kind::Null)) {
        return Decoded::Unsupported;
    }
    if (!flate) {
        out.assign(data.substr(0, cap));
        return data.size() > cap ? Decoded::Capped : Decoded::Ok;
    }

    if (parms.Is(Value::Kind::Array)) {
        Value only;
        int items = 0;
        if (!ForEachItem(parms, [&](const Value& item) {
                only = item;
                return ++items < 2;
            }) ||
            items > 1)
            return Decoded::Unsupported;
        parms = items == 1 ? only : Value{};
    }
    const auto predictor = ReadPredictor(parms);
    if (!predictor) return Decoded::Unsupported;
    const std::size_t encodedCap = std::max(predictor->EncodedSize(cap), cap);
    Decoded status = Inflate(data, encodedCap, out);
    if (status == Decoded::Damaged) return status;
    const Decoded undone = Unpredict(*predictor, out);
    if (undone != Decoded::Ok) return undone;
    if (out.size() > cap) {
        out.resize(cap);
        status = Decoded::Capped;
    }
    return status;
}

}  // namespace brastel::pdf
