#include "objectstream.h"

#include "indirect.h"

namespace brastel::pdf {

std::optional<ObjectStream> ObjectStream::Parse(const Dict& dict, std::string decoded) {
    const auto [type, nValue, firstValue] = dict.GetAll<3>({"/Type", "/N", "/First"});
    if (!type.Is(Value::Kind::Name) || !NameEquals(type.text, "/ObjStm")) return std::nullopt;
    const auto n = nValue.Whole();
    const auto first = firstValue.Whole();
    // Each pair takes at least four bytes ("1 0 "), which bounds /N by the data.
    if (!n || !first || *n < 0 || *first < 0 || *first > static_cast<std::int64_t>(decoded.size()) ||
        *n > *first / 2 + 1)
        return std::nullopt;
    ObjectStream s;
    const std::string_view head(decoded.data(), static_cast<std::size_t>(*first));
    Lexer lex(head);
    s.pairs_.reserve(static_cast<std::size_t>(*n));
    for (std::int64_t i = 0; i < *n; ++i) {
        const Token number = lex.Next();
        const Token offset = lex.Next();
        if (number.kind != Token::Kind::Integer || offset.kind != Token::Kind::Integer || number.integer < 0 ||
            offset.integer < 0 || offset.integer > static_cast<std::int64_t>(decoded.size()) - *first)
            return std::nullopt;
        s.pairs_.push_back(Pair{number.integer, static_cast<std::size_t>(*first + offset.integer)});
    }
    s.data_ = std::make_shared<const std::string>(std::move(decoded));
    return s;
}

std::string_view ObjectStream::Text(std::size_t index) const {
    // Offsets rise through the stream; an object ends where the next begins.
    const std::size_t from = pairs_[index].offset;
    std::size_t to = data_->size();
    if (index + 1 < pairs_.size() && pairs_[index + 1].offset > from) to = pairs_[index + 1].offset;
    return std::string_view(*data_).substr(from, to - from);
}

std::optional<std::string_view> ObjectStream::At(std::size_t index, std::int64_t num) const {
    if (index >= pairs_.size() || pairs_[index].number != num) return std::nullopt;
    return Text(index);
}

std::optional<ObjectStream> ReadObjectStream(FileReader& file, std::int64_t offset, std::optional<std::int64_t> num,
                                             std::size_t cap, const LengthResolver& indirectLength, bool* bomb,
                                             bool* sealed) {
    const auto o = ReadIndirect(file, offset, num);
    if (!o) return std::nullopt;
    const auto dict = Dict::At(o->text, o->body);
    if (!dict || !dict->complete()) return std::nullopt;
    if (NoReaderDecodes(*dict)) {
        if (sealed) *sealed = true;
        return std::nullopt;
    }
    const Value lengthValue = dict->Get("/Length");
    std::optional<std::int64_t> length = lengthValue.Whole();
    if (lengthValue.Is(Value::Kind::Ref) && indirectLength) length = indirectLength(lengthValue);
    const auto raw = StreamData(file, *o, *dict, length, cap);
    if (!raw) return std::nullopt;
    std::string data;
    const Decoded status = DecodeStream(*dict, *raw, cap, data);
    if (status == Decoded::Capped && bomb && InflatesPast(*raw, kObjectStreamBomb)) *bomb = true;
    if (status != Decoded::Ok) return std::nullopt;
    return ObjectStream::Parse(*dict, std::move(data));
}

namespace {
// Decoded bytes the scan may hold: a damaged file bigger than that is left
// to a reader that rebuilds the whole document.
constexpr std::size_t kScanDecodedBudget = std::size_t{32} << 20;
constexpr std::size_t kScanStreamCap = std::size_t{8} << 20;
}  // namespace

void ScannedObjectStreams::DecodeAll() {
    decoded_ = true;
    std::size_t held = 0;
    for (const std::int64_t offset : offsets_) {
        const std::size_t cap = std::min(kScanStreamCap, kScanDecodedBudget - held);
        bool sealed = false;
        auto stream = ReadObjectStream(file_, offset, std::nullopt, cap, {}, &bomb_, &sealed);
        if (sealed) ++sealed_;
        if (!stream) continue;
        held += stream->bytes();
        const std::size_t k = streams_.size();
        streams_.push_back(std::move(*stream));
        streamAt_.push_back(offset);
        const ObjectStream& s = streams_.back();
        for (std::size_t i = 0; i < s.size(); ++i) {
            const auto number = s.NumberAt(i);
            where_[number] = {k, i};
            const auto text = s.At(i, number);
            const auto dict = text ? Dict::At(*text) : std::nullopt;
            const Value type = dict ? dict->Get("/Type") : Value{};
            if (type.Is(Value::Kind::Name) && NameEquals(type.text, "/Catalog")) lastCatalog_ = number;
        }
        if (held >= kScanDecodedBudget) break;
    }
}

bool ScannedObjectStreams::Find(std::int64_t num, std::string& text, std::int64_t* streamAt) {
    if (!decoded_) DecodeAll();
    const auto it = where_.find(num);
    if (it == where_.end()) return false;
    const auto found = streams_[it->second.first].At(it->second.second, num);
    if (!found) return false;
    text.assign(*found);
    if (streamAt) *streamAt = streamAt_[it->second.first];
    return true;
}

std::optional<std::int64_t> ScannedObjectStreams::LastCatalog() {
    if (!decoded_) DecodeAll();
    return lastCatalog_;
}

}  // namespace brastel::pdf
