// Object streams (ISO 32000, PDF 1.5 on): a stream of /Type /ObjStm whose
// decoded data starts with /N pairs "number offset" and holds, from /First
// on, the values of those objects one after the other.
#pragma once

#include "filereader.h"
#include "lexer.h"

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

// An object stream that inflates past this is a bomb: no page tree needs
// it, and no reader should decode it (libqpdf would hold it whole).
constexpr std::size_t kObjectStreamBomb = std::size_t{64} << 20;

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
// decoded once, in file order, a later stream's object replacing an earlier
// one's, within a budget of decoded bytes.
class ScannedObjectStreams {
public:
    ScannedObjectStreams(int fd, std::int64_t length, std::vector<std::int64_t> offsets)
        : file_(fd, length), offsets_(std::move(offsets)) {}

    // The text of object num's value, if a stream holds it; *streamAt is
    // set to the offset of that stream's header.
    bool Find(std::int64_t num, std::string& text, std::int64_t* streamAt = nullptr);
    // Visits the number of every object the streams hold.
    template <typename F>
    void ForEachNumber(F&& visit) {
        if (!decoded_) DecodeAll();
        for (const auto& entry : where_) visit(entry.first);
    }
    // The last object of /Type /Catalog in the streams.
    std::optional<std::int64_t> LastCatalog();
    // One of the streams decoded so far is a bomb.
    bool bombFound() const { return bomb_; }
    // There are streams, and every one has a filter no reader here decodes.
    bool AllSealed() {
        if (!decoded_) DecodeAll();
        return !offsets_.empty() && sealed_ == offsets_.size();
    }

private:
    void DecodeAll();

    FileReader file_;
    std::vector<std::int64_t> offsets_;
    bool decoded_ = false;
    std::vector<ObjectStream> streams_;
    std::vector<std::int64_t> streamAt_;  // header offset of each of streams_
    std::unordered_map<std::int64_t, std::pair<std::size_t, std::size_t>> where_;  // (stream, index)
    std::optional<std::int64_t> lastCatalog_;
    bool bomb_ = false;
    std::size_t sealed_ = 0;
};

}  // namespace brastel::pdf
