#include "streams/objectstream.h"

#include "syntax/indirect.h"

#include <algorithm>

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
            const std::uint64_t want = first_ + (InflateWork::kHeldWholeLimit - work_.heldWhole) + 1;
            if (work_.decoded + want > InflateWork::kLimit) return Fetched::OverBudget;
            // Measured first, then read into a buffer of its size: a buffer
            // grown as the data comes would briefly hold it twice over.
            const auto measured = inflater_.Skip(static_cast<std::size_t>(want));
            const std::uint64_t size = inflater_.position();
            work_.decoded += size;
            if (measured == StreamInflater::Step::Damaged || !inflater_.Rewind()) return Fetched::Broken;
            if (measured == StreamInflater::Step::End && size >= first_) {
                if (work_.decoded + size > InflateWork::kLimit) return Fetched::OverBudget;
                work_.decoded += size;
                std::string whole;
                whole.reserve(static_cast<std::size_t>(size - first_));
                if (inflater_.Skip(static_cast<std::size_t>(first_)) == StreamInflater::Step::Damaged ||
                    inflater_.Read(static_cast<std::size_t>(size - first_), whole) == StreamInflater::Step::Damaged ||
                    whole.size() != size - first_)
                    return Fetched::Broken;
                work_.heldWhole += whole.size();
                held_ = std::move(whole);
                ended_ = true;
                return Fetched::Ok;
            }
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
    text.clear();
    if (from < heldEnd) {
        const auto at = static_cast<std::size_t>(from - first_);
        const std::string_view rest = std::string_view(held_).substr(at);
        if (to <= heldEnd || ended_ || (to == UINT64_MAX && ValueComplete(rest))) {
            text.assign(rest.substr(0, static_cast<std::size_t>(std::min(to, heldEnd) - from)));
            return Fetched::Ok;
        }
        // An object that runs on past what is held: its start from there,
        // and the rest inflated on from the end of it, not from the start.
        if (inflater_.position() == heldEnd) text.assign(rest);
    } else if (ended_) {
        return Fetched::Broken;  // past the end of the data
    }
    if (text.empty()) {
        const Fetched sought = SeekTo(from);
        if (sought != Fetched::Ok) return sought;
        if (ended_) return Fetch(index, num, text);  // now held whole
    }
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

StreamedObjectStream::Fetched StreamedObjectStream::Drain() {
    if (ended_) return Fetched::Ok;
    constexpr std::size_t kStep = std::size_t{1} << 20;
    for (;;) {
        if (inflater_.position() > kObjectStreamBomb) return Fetched::Bomb;
        if (work_.decoded + kStep > InflateWork::kLimit) return Fetched::OverBudget;
        const std::uint64_t before = inflater_.position();
        const auto step = inflater_.Skip(kStep);
        work_.decoded += inflater_.position() - before;
        if (step != StreamInflater::Step::More) return Fetched::Ok;
    }
}

namespace {
// The object stream whose header is at offset, opened as a stream when its
// filter allows (flate set), its data found as ReadObjectStream finds it.
std::unique_ptr<StreamedObjectStream> OpenStreamed(FileReader& file, std::int64_t offset, InflateWork& work,
                                                   StreamedObjectStream::Fetched& why) {
    why = StreamedObjectStream::Fetched::Broken;
    const auto o = ReadIndirect(file, offset, std::nullopt);
    const auto dict = o ? Dict::At(o->text, o->body) : std::nullopt;
    bool flate = false;
    if (!dict || !dict->complete() || !StreamableFilter(*dict, flate)) return nullptr;
    const auto span = FindStreamSpan(file, *o, *dict, dict->Get("/Length").Whole());
    if (!span) return nullptr;
    return StreamedObjectStream::Open(*dict, std::make_unique<FileSpan>(file, *span), flate, work, why);
}

bool IsCatalog(std::string_view text) {
    const auto dict = Dict::At(text);
    const Value type = dict ? dict->Get("/Type") : Value{};
    return type.Is(Value::Kind::Name) && NameEquals(type.text, "/Catalog");
}
}  // namespace

ScannedObjectStreams::ScannedObjectStreams(int fd, std::int64_t length, std::vector<std::int64_t> offsets)
    : file_(fd, length), offsets_(std::move(offsets)) {}
ScannedObjectStreams::~ScannedObjectStreams() = default;

void ScannedObjectStreams::Met(StreamedObjectStream::Fetched why) {
    if (why == StreamedObjectStream::Fetched::OverBudget) overBudget_ = true;
    if (why == StreamedObjectStream::Fetched::Bomb || why == StreamedObjectStream::Fetched::OverBudget) bomb_ = true;
}

void ScannedObjectStreams::Opened(std::size_t k, std::unique_ptr<StreamedObjectStream> stream) {
    // Each open stream holds its inflater and up to kObjectStreamHeld bytes.
    if (open_.size() >= limits::kHeldObjectStreams) open_.clear();
    open_[k] = std::move(stream);
}

StreamedObjectStream* ScannedObjectStreams::Streamed(std::size_t k) {
    if (const auto it = open_.find(k); it != open_.end()) return it->second.get();
    auto why = StreamedObjectStream::Fetched::Broken;
    auto stream = OpenStreamed(file_, offsets_[k], work_, why);
    Met(why);
    if (!stream) return nullptr;
    StreamedObjectStream* s = stream.get();
    Opened(k, std::move(stream));
    return s;
}

void ScannedObjectStreams::DecodeAll() {
    decoded_ = true;
    kinds_.assign(offsets_.size(), Kind::Unread);
    std::size_t heldWhole = 0;
    std::vector<Where> found;
    std::string text;
    // A bomb ends its own stream's index; the count's work running out ends
    // the reading of them all.
    for (std::size_t k = 0; k < offsets_.size() && !overBudget_; ++k) {
        const std::int64_t offset = offsets_[k];
        const auto o = ReadIndirect(file_, offset, std::nullopt);
        const auto dict = o ? Dict::At(o->text, o->body) : std::nullopt;
        if (!dict || !dict->complete()) continue;
        if (NoReaderDecodes(*dict)) {
            ++sealed_;
            continue;
        }
        bool flate = false;
        if (StreamableFilter(*dict, flate)) {
            // Every object in stream order, each inflated to and passed: a
            // stream whose data breaks off before its last object is no
            // stream to index, and one whose objects lie past the bomb line
            // is indexed no further.
            auto why = StreamedObjectStream::Fetched::Broken;
            auto stream = OpenStreamed(file_, offset, work_, why);
            Met(why);
            if (!stream) continue;
            found.clear();
            std::optional<std::int64_t> catalog;
            bool broken = false;
            for (std::size_t i = 0; i < stream->size(); ++i) {
                const std::int64_t number = stream->NumberAt(i);
                const auto fetched = stream->Fetch(i, number, text);
                Met(fetched);
                if (fetched == StreamedObjectStream::Fetched::Broken) broken = true;
                if (fetched != StreamedObjectStream::Fetched::Ok) break;
                found.push_back(Where{number, static_cast<std::uint32_t>(k), static_cast<std::uint32_t>(i)});
                if (IsCatalog(text)) catalog = number;
            }
            if (broken) continue;
            if (where_.size() + found.size() > limits::kScanObjects) break;
            where_.insert(where_.end(), found.begin(), found.end());
            if (catalog) lastCatalog_ = catalog;
            kinds_[k] = Kind::Streamed;
            Opened(k, std::move(stream));
            continue;
        }
        const std::size_t cap = std::min(limits::kScanObjectStream, limits::kScanDecoded - heldWhole);
        auto stream = ReadObjectStream(file_, offset, std::nullopt, cap, {}, &bomb_);
        if (!stream) continue;
        if (where_.size() + stream->size() > limits::kScanObjects) break;
        heldWhole += stream->bytes();
        for (std::size_t i = 0; i < stream->size(); ++i) {
            const auto number = stream->NumberAt(i);
            where_.push_back(Where{number, static_cast<std::uint32_t>(k), static_cast<std::uint32_t>(i)});
            const auto object = stream->At(i, number);
            if (object && IsCatalog(*object)) lastCatalog_ = number;
        }
        kinds_[k] = Kind::Whole;
        whole_.emplace(k, std::move(*stream));
        if (heldWhole >= limits::kScanDecoded) break;
    }
    // One entry a number: the last one listed, as a later stream's object
    // replaces an earlier one's.
    std::stable_sort(where_.begin(), where_.end(), [](const Where& a, const Where& b) { return a.number < b.number; });
    std::size_t kept = 0;
    for (std::size_t i = 0; i < where_.size(); ++i) {
        if (i + 1 < where_.size() && where_[i + 1].number == where_[i].number) continue;
        where_[kept++] = where_[i];
    }
    where_.resize(kept);
    where_.shrink_to_fit();
}

bool ScannedObjectStreams::Find(std::int64_t num, std::string& text, std::int64_t* streamAt) {
    if (!decoded_) DecodeAll();
    const auto it = std::lower_bound(where_.begin(), where_.end(), num,
                                     [](const Where& w, std::int64_t n) { return w.number < n; });
    if (it == where_.end() || it->number != num) return false;
    const std::size_t k = it->stream;
    if (kinds_[k] == Kind::Whole) {
        const auto found = whole_.at(k).At(it->index, num);
        if (!found) return false;
        text.assign(*found);
    } else {
        StreamedObjectStream* stream = Streamed(k);
        if (!stream) return false;
        const auto fetched = stream->Fetch(it->index, num, text);
        Met(fetched);
        if (fetched != StreamedObjectStream::Fetched::Ok) return false;
    }
    if (streamAt) *streamAt = offsets_[k];
    return true;
}

std::optional<std::int64_t> ScannedObjectStreams::LastCatalog() {
    if (!decoded_) DecodeAll();
    return lastCatalog_;
}

bool ScannedObjectStreams::bombFound() {
    if (bomb_ || !decoded_ || drained_) return bomb_;
    drained_ = true;
    for (std::size_t k = 0; k < kinds_.size() && !bomb_; ++k) {
        if (kinds_[k] != Kind::Streamed) continue;
        StreamedObjectStream* stream = Streamed(k);
        if (stream) Met(stream->Drain());
    }
    return bomb_;
}

std::size_t ScannedObjectStreams::bytesHeld() const {
    std::size_t n = where_.capacity() * sizeof(Where);
    for (const auto& [k, s] : whole_) n += s.bytes();
    for (const auto& [k, s] : open_) n += s->bytes();
    return n;
}

}  // namespace brastel::pdf
