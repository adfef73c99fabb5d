// Indirect objects read at the offsets a cross-reference gives: the
// "N G obj" header confirmed, the value read whole, and a stream's data found
// by its /Length (or, when that is wrong, by its "endstream") and decoded.
#pragma once

#include "io/filereader.h"
#include "streams/inflate.h"
#include "syntax/lexer.h"
#include "pdflimits.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brastel::pdf {

// Largest object value read from the file (see pdflimits.h).
constexpr std::size_t kMaxObjectBytes = limits::kObjectBytes;

// A run of bytes in the file.
struct StreamSpan {
    std::int64_t start = 0;
    std::int64_t length = 0;
};

// An object's bytes as read: text holds the file from offset on, and the
// value starts at text[body].
struct ObjectText {
    std::int64_t offset = 0;
    std::string text;
    std::size_t body = 0;
};

// Reads the object at offset: its header must start there, or after white
// space from there (not in the middle of a longer number), name object num
// when num is given, and its value must be complete within limit bytes (at
// most kMaxObjectBytes).  large is set when the value goes on past limit.
std::optional<ObjectText> ReadIndirect(FileReader& file, std::int64_t offset, std::optional<std::int64_t> num,
                                       bool* large = nullptr, std::size_t limit = kMaxObjectBytes);

// An object too large to read whole, such as a page-tree node whose /Kids
// names a million pages: its dictionary read a window at a time, each array
// in it of references only and longer than kElidedArray replaced by the
// keyword "_array<k>", where arrays[k] says which bytes of the file hold it.
// No value when the object is no dictionary, or what remains of it is still
// larger than kMaxObjectBytes.
constexpr std::size_t kElidedArray = limits::kElidedArray;
struct LargeObject {
    ObjectText object;
    std::vector<StreamSpan> arrays;
    // The index into arrays that the value stands for, if it is one's mark.
    std::optional<std::size_t> ArrayOf(const Value& v) const;
};
std::optional<LargeObject> ReadLargeIndirect(FileReader& file, std::int64_t offset, std::optional<std::int64_t> num);

// The references of the array held by the bytes at span, read one at a
// time as (number, generation) from a window of the file (256 KB), so that
// an array of any length costs the window.
class WindowTokens;
class References {
public:
    References(FileReader& file, StreamSpan span);
    ~References();
    References(References&&) noexcept;
    References& operator=(References&&) noexcept;
    enum class Step { Ref, End, Bad };
    // The next reference; Bad when the array holds anything else or cannot
    // be read.
    Step Next(std::int64_t& num, std::int64_t& gen);
    // Lets the window go until Next is called again.
    void Park();

private:
    std::unique_ptr<WindowTokens> tokens_;
    bool opened_ = false;
    bool over_ = false;
};

// Visits the references of the array held by the bytes at span one at a
// time (see References); the visitor returns false to stop.  False when
// the array holds anything else or cannot be read.
bool ForEachReference(FileReader& file, StreamSpan span,
                      const std::function<bool(std::int64_t num, std::int64_t gen)>& visit);

// The raw data of the stream whose dictionary dict belongs to object o.
// length is its /Length when known; when the data does not end in
// "endstream" there, the data runs to the first "endstream" within limit
// bytes, as readers recover it.
std::optional<std::string> StreamData(FileReader& file, const ObjectText& o, const Dict& dict,
                                      std::optional<std::int64_t> length, std::size_t limit);

// Where the raw data of the stream whose dictionary dict belongs to object o
// lies in the file, found as StreamData finds it but read a window at a
// time, so that a stream of any size costs no memory.
std::optional<StreamSpan> FindStreamSpan(FileReader& file, const ObjectText& o, const Dict& dict,
                                         std::optional<std::int64_t> length);

// The raw bytes of a span, pulled from the file a window at a time.
class FileSpan : public ByteSource {
public:
    FileSpan(FileReader& file, StreamSpan span) : file_(file), span_(span) {}
    std::ptrdiff_t Pull(char* into, std::size_t n) override;
    bool Rewind() override {
        at_ = 0;
        return true;
    }

private:
    FileReader& file_;
    StreamSpan span_;
    std::int64_t at_ = 0;
    std::string chunk_;
};

// The stream has no filter, or FlateDecode alone (flate tells which), and
// predictor holds its /DecodeParms (predictor 1 when there are none).
bool FlateOrNone(const Dict& dict, bool& flate, Predictor& predictor);

// The stream can be inflated as a stream: FlateDecode with no predictor, or
// no filter at all (flate tells which).
bool StreamableFilter(const Dict& dict, bool& flate);

// Decodes data by the dictionary's /Filter and /DecodeParms: no filter, or
// FlateDecode with or without a predictor; any other filter is Unsupported.
// At most cap bytes are kept.
Decoded DecodeStream(const Dict& dict, std::string_view data, std::size_t cap, std::string& out);

// The dictionary's /Filter names a filter that neither this decoder nor
// libqpdf reads for an object stream (libqpdf decodes Flate, LZW, ASCII85,
// ASCIIHex and RunLength there): what the stream holds is out of every
// reader's reach here.
bool NoReaderDecodes(const Dict& dict);

}  // namespace brastel::pdf
