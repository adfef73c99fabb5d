#include "streams/objectstream.h"

#include "syntax/indirect.h"

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

std::unique_ptr<StreamedObjectStream> StreamedObjectStream::Open(const Dict& dict,
                                                                std::unique_ptr<ByteSource> source, bool flate,
                                                                InflateWork& work, Fetched& why) {
    why = Fetched::Broken;
    const auto [type, nValue, firstValue] = dict.GetAll<3>({"/Type", "/N", "/First"});
    if (!type.Is(Value::Kind::Name) || !NameEquals(type.text, "/ObjStm")) return nullptr;
    const auto n = nValue.Whole();
    const auto first = firstValue.Whole();
    // Each pair takes at least four bytes ("1 0 "), which bounds /First by /N.
    if (!n || !first || *n < 0 || *first < 0 || static_cast<std::uint64_t>(*n) > kMaxObjects ||
        *n > *first / 2 + 1 || *first > 32 * (*n + 1))
        return nullptr;
    auto s = std::make_unique<StreamedObjectStream>(std::move(source), flate, work);
    std::string head;
    const auto step = s->inflater_.Read(static_cast<std::size_t>(*first), head);
    work.decoded += head.size();
    if (step == StreamInflater::Step::Damaged || head.size() < static_cast<std::size_t>(*first)) return nullptr;
    if (work.decoded > InflateWork::kLimit) {
        why = Fetched::OverBudget;
        return nullptr;
    }
    Lexer lex(head);
    s->offsets_.reserve(static_cast<std::size_t>(*n));
    for (std::int64_t i = 0; i < *n; ++i) {
        const Token number = lex.Next();
        const Token offset = lex.Next();
        if (number.kind != Token::Kind::Integer || offset.kind != Token::Kind::Integer || number.integer < 0 ||
            offset.integer < 0)
            return nullptr;
        s->offsets_.push_back(Pair{number.integer, static_cast<std::uint64_t>(offset.integer)});
    }
    s->first_ = static_cast<std::uint64_t>(*first);
    if (step == StreamInflater::Step::More) {
        const auto held = s->inflater_.Read(kHeld, s->held_);
        work.decoded += s->held_.size();
        if (held == StreamInflater::Step::Damaged) return nullptr;
        s->ended_ = held == StreamInflater::Step::End;
    } else {
        s->ended_ = true;
    }
    why = Fetched::Ok;
    return s;
}

StreamedObjectStream::Fetched StreamedObjectStream::SeekTo(std::uint64_t to) {
    if (to < inflater_.position()) {
        if (!inflater_.Rewind()) return Fetched::Broken;
        // Going back means the objects are not asked for in stream order
        // (a walk of every leaf, nodes and pages apart): a stream small
        // enough is then held whole, once, within what the count may hold
        // so; a larger one starts over.
        if (!wholeTried_) {
            wholeTried_ = true;
            std::string whole;
            const std::uint64_t want = first_ + (InflateWork::kHeldWholeLimit - work_.heldWhole) + 1;
            if (work_.decoded + want > InflateWork::kLimit) return Fetched::OverBudget;
            const auto step = inflater_.Read(static_cast<std::size_t>(want), whole);
            work_.decoded += whole.size();
            if (step == StreamInflater::Step::End && whole.size() >= first_) {
                whole.erase(0, static_cast<std::size_t>(first_));
                work_.heldWhole += whole.size();
                held_ = std::move(whole);
                ended_ = true;
                return Fetched::Ok;
            }
            if (step == StreamInflater::Step::Damaged || !inflater_.Rewind()) return Fetched::Broken;
        }
    }
    // Skipped in steps, so the budget is checked before it runs out.
    constexpr std::uint64_t kStep = std::uint64_t{1} << 20;
    while (inflater_.position() < to) {
        const std::uint64_t n = std::min(kStep, to - inflater_.position());
        if (inflater_.position() + n > kObjectStreamBomb) return Fetched::Bomb;
        if (work_.decoded + n > InflateWork::kLimit) return Fetched::OverBudget;
        work_.decoded += n;
        if (inflater_.Skip(static_cast<std::size_t>(n)) != StreamInflater::Step::More) return Fetched::Broken;
    }
    return Fetched::Ok;
}

namespace {
// The text holds a whole value, so more of the stream would not change it:
// one closed by a delimiter, or followed by another token, or (but for an
// integer, which "N G R" could go on) by white space.
bool ValueComplete(std::string_view text) {
    Lexer lex(text);
    const Value v = ReadValue(lex);
    if (v.Is(Value::Kind::Bad) || v.Is(Value::Kind::Missing)) return false;
    if (v.Is(Value::Kind::Dict) || v.Is(Value::Kind::Array) || v.Is(Value::Kind::String)) return true;
    const bool spaceAfter = v.text.data() + v.text.size() < text.data() + text.size();
    if (lex.Next().kind != Token::Kind::End) return true;
    return spaceAfter && !v.Is(Value::Kind::Integer);
}
}  // namespace

StreamedObjectStream::Fetched StreamedObjectStream::Fetch(std::size_t index, std::int64_t num, std::string& text) {
    if (index >= offsets_.size() || offsets_[index].number != num) return Fetched::Broken;
    // An object ends where the next begins; the last runs to the end of
    // the data, or as far as its value needs.
    const std::uint64_t from = first_ + offsets_[index].offset;
    std::uint64_t to = UINT64_MAX;
    if (index + 1 < offsets_.size() && first_ + offsets_[index + 1].offset > from)
        to = first_ + offsets_[index + 1].offset;
    const std::uint64_t heldEnd = first_ + held_.size();
    if (from < heldEnd) {
        const auto at = static_cast<std::size_t>(from - first_);
        const std::string_view rest = std::string_view(held_).substr(at);
        if (to <= heldEnd || ended_ || (to == UINT64_MAX && ValueComplete(rest))) {
            text.assign(rest.substr(0, static_cast<std::size_t>(std::min(to, heldEnd) - from)));
            return Fetched::Ok;
        }
    } else if (ended_) {
        return Fetched::Broken;  // past the end of the data
    }
    const Fetched sought = SeekTo(from);
    if (sought != Fetched::Ok) return sought;
    if (ended_) return Fetch(index, num, text);  // now held whole
    text.clear();
    // None is longer than the largest object read from a file.
    for (std::size_t chunk = to == UINT64_MAX ? FileReader::kWindow : kMaxObjectBytes + 1;;
         chunk = std::min(chunk * 4, kMaxObjectBytes + 1)) {
        const std::uint64_t want = std::min<std::uint64_t>(to - from - text.size(), chunk - std::min(chunk, text.size()));
        if (inflater_.position() + want > kObjectStreamBomb) return Fetched::Bomb;
        if (work_.decoded + want > InflateWork::kLimit) return Fetched::OverBudget;
        const std::size_t before = text.size();
        const auto step = inflater_.Read(static_cast<std::size_t>(want), text);
        work_.decoded += text.size() - before;
        if (step == StreamInflater::Step::Damaged || text.size() > kMaxObjectBytes) return Fetched::Broken;
        if (step == StreamInflater::Step::End) break;
        if (to != UINT64_MAX) break;
        if (ValueComplete(text)) break;
    }
    // Data that ends before the next object's offset is damaged.
    if (to != UINT64_MAX && text.size() < to - from) return Fetched::Broken;
    return Fetched::Ok;
}

void ScannedObjectStreams::DecodeAll() {
    decoded_ = true;
    std::size_t held = 0;
    for (const std::int64_t offset : offsets_) {
        const std::size_t cap = std::min(limits::kScanObjectStream, limits::kScanDecoded - held);
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
        if (held >= limits::kScanDecoded) break;
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
