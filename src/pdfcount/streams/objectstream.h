// Object streams (ISO 32000, PDF 1.5 on): a stream of /Type /ObjStm whose
// decoded data starts with /N pairs "number offset" and holds, from /First
// on, the values of those objects one after the other.
#pragma once

#include "io/filereader.h"
#include "streams/inflate.h"
#include "syntax/lexer.h"
#include "pdflimits.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brastel::pdf {

class ObjectStream {
public:
    // The stream's decoded data read by its dictionary; no value when it is
    // no object stream or its pairs do not fit the data.
    static std::optional<ObjectStream> Parse(const Dict& dict, std::string decoded);

    std::size_t size() const { return pairs_.size(); }
    std::size_t bytes() const { return data_->size(); }

    // The text of the object at index, from its offset to the next object's,
    // when the pair there names object num; a view into data() that lives as
    // long as the data does.
    std::optional<std::string_view> At(std::size_t index, std::int64_t num) const;
    std::int64_t NumberAt(std::size_t index) const { return pairs_[index].number; }
    const std::shared_ptr<const std::string>& data() const { return data_; }

    // Visits every object as (number, text) in stream order.
    template <typename F>
    void ForEach(F&& visit) const {
        for (std::size_t i = 0; i < pairs_.size(); ++i) visit(pairs_[i].number, Text(i));
    }

private:
    std::string_view Text(std::size_t index) const;

    struct Pair {
        std::int64_t number;
        std::size_t offset;  // from the start of the data
    };
    std::shared_ptr<const std::string> data_;
    std::vector<Pair> pairs_;
};

// What inflating object streams may cost one count: decoded bytes in all
// (a restart from the stream's start costs again), far above what real
// files need, and a stream read past kObjectStreamBomb in one pass is a bomb.
struct InflateWork {
    std::uint64_t decoded = 0;
    static constexpr std::uint64_t kLimit = limits::kInflatedPerCount;
    // Decoded bytes of streams held whole (see StreamedObjectStream).
    std::size_t heldWhole = 0;
    static constexpr std::size_t kHeldWholeLimit = limits::kHeldWholePerCount;
};

// An object stream read as a stream: its pairs from the first /First
// decoded bytes, the first kHeld bytes of objects after them kept, and any
// object beyond those inflated to when it is asked for, dropping what lies
// before it.  Memory stays at the pairs and kHeld bytes whatever the
// decoded size; time is that of inflating up to the objects asked for.
class StreamedObjectStream {
public:
    enum class Fetched {
        Ok,
        Broken,      // no such pair, a pair naming another object, data that ends or does not decode
        OverBudget,  // the count's InflateWork ran out
        Bomb,        // the object lies past kObjectStreamBomb decoded bytes
    };
    // The stream read by its dictionary from source (its raw data), flate
    // telling whether it is zlib data; no value when it is no object stream
    // or its pairs cannot be read (why says which).
    static std::unique_ptr<StreamedObjectStream> Open(const Dict& dict, std::unique_ptr<ByteSource> source,
                                                      bool flate, InflateWork& work, Fetched& why);

    // The text of the object at index when the pair there names object num.
    Fetched Fetch(std::size_t index, std::int64_t num, std::string& text);
    std::size_t size() const { return offsets_.size(); }
    std::int64_t NumberAt(std::size_t index) const { return offsets_[index].number; }
    // Whether the data goes on past kObjectStreamBomb (Bomb), inflated from
    // where it stands to its end or to that line within the count's work
    // (OverBudget); Ok when it ends before (or breaks off).
    Fetched Drain();
    // Bytes held: the pairs and the objects kept.
    std::size_t bytes() const { return held_.size() + offsets_.size() * sizeof(Pair); }

    static constexpr std::size_t kHeld = limits::kObjectStreamHeld;
    static constexpr std::size_t kMaxObjects = limits::kObjectStreamObjects;

    StreamedObjectStream(std::unique_ptr<ByteSource> source, bool flate, InflateWork& work)
        : source_(std::move(source)), inflater_(*source_, flate), work_(work) {}

private:
    struct Pair {
        std::int64_t number;
        std::uint64_t offset;  // from the start of the decoded data
    };
    // Moves the inflater to decoded position `to`, from the start if it
    // passed it already.
    Fetched SeekTo(std::uint64_t to);

    std::unique_ptr<ByteSource> source_;
    StreamInflater inflater_;
    InflateWork& work_;
    std::vector<Pair> offsets_;
    std::uint64_t first_ = 0;  // where the objects start
    std::string held_;         // decoded bytes from first_ on
    bool ended_ = false;       // the whole stream is in held_
    bool wholeTried_ = false;
};

// An object stream that inflates past this is a bomb (see pdflimits.h).
constexpr std::size_t kObjectStreamBomb = limits::kObjectStreamBomb;

// The object stream whose header is at offset (naming object num when num
// is given), read and decoded: its data found by /Length, whose value
// indirectLength gives when it is a reference, or else by "endstream", and
// decoded whole within cap bytes.  No value when it is no object stream or
// its data cannot be decoded whole; bomb is set when it inflates past
// kObjectStreamBomb, sealed when its filter is one no reader here decodes.
using LengthResolver = std::function<std::optional<std::int64_t>(const Value& reference)>;
std::optional<ObjectStream> ReadObjectStream(FileReader& file, std::int64_t offset, std::optional<std::int64_t> num,
                                             std::size_t cap, const LengthResolver& indirectLength = {},
                                             bool* bomb = nullptr, bool* sealed = nullptr);

// The objects held in object streams found by their headers, for a reader
// with no cross-reference to say which object lives where: every stream is
// read once, in file order, for the numbers it holds (a later stream's
// object replacing an earlier one's), and read again for the objects asked
// for.  Streams of Flate data with no predictor are read as streams
// (StreamedObjectStream), within the work of one count (InflateWork):
// what is held is the index and a few open streams, whatever their decoded
// size.  Others are decoded whole within kScanObjectStream each and
// kScanDecoded in all.
class ScannedObjectStreams {
public:
    ScannedObjectStreams(int fd, std::int64_t length, std::vector<std::int64_t> offsets);
    ~ScannedObjectStreams();
    ScannedObjectStreams(const ScannedObjectStreams&) = delete;
    ScannedObjectStreams& operator=(const ScannedObjectStreams&) = delete;

    // The text of object num's value, if a stream holds it; *streamAt is
    // set to the offset of that stream's header.
    bool Find(std::int64_t num, std::string& text, std::int64_t* streamAt = nullptr);
    // Visits the number of every object the streams hold.
    template <typename F>
    void ForEachNumber(F&& visit) {
        if (!decoded_) DecodeAll();
        for (const Where& w : where_) visit(w.number);
    }
    // The last object of /Type /Catalog in the streams.
    std::optional<std::int64_t> LastCatalog();
    // One of the streams is a bomb (it inflates past kObjectStreamBomb), or
    // reading them ran out of the count's work: no reader should decode
    // them whole.  Streams read so far are inflated to their end to tell.
    bool bombFound();
    // There are streams, and every one has a filter no reader here decodes.
    bool AllSealed() {
        if (!decoded_) DecodeAll();
        return !offsets_.empty() && sealed_ == offsets_.size();
    }
    // Bytes held: the index, the streams held whole and those open.
    std::size_t bytesHeld() const;

private:
    struct Where {
        std::int64_t number;
        std::uint32_t stream;
        std::uint32_t index;
    };
    enum class Kind : std::uint8_t { Unread, Whole, Streamed };
    void DecodeAll();
    // Stream k, read as a stream: kept open, or opened again.
    StreamedObjectStream* Streamed(std::size_t k);
    void Opened(std::size_t k, std::unique_ptr<StreamedObjectStream> stream);
    void Met(StreamedObjectStream::Fetched why);

    FileReader file_;
    std::vector<std::int64_t> offsets_;
    bool decoded_ = false;
    bool drained_ = false;
    InflateWork work_;
    std::vector<Kind> kinds_;
    std::vector<Where> where_;  // sorted by number, one entry each
    std::unordered_map<std::size_t, ObjectStream> whole_;
    std::unordered_map<std::size_t, std::unique_ptr<StreamedObjectStream>> open_;
    std::optional<std::int64_t> lastCatalog_;
    bool bomb_ = false;
    bool overBudget_ = false;
    std::size_t sealed_ = 0;
};

}  // namespace brastel::pdf
