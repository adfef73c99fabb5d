// FlateDecode (zlib) and the predictors ISO 32000 puts after it: PNG
// predictors 10 to 15, one filter byte per row, and TIFF predictor 2.  Every
// decoder stops at a cap given by the caller, so a stream that inflates to
// gigabytes costs no more than the cap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brastel::pdf {

enum class Decoded {
    Ok,
    Capped,       // more data than the cap; out holds the first cap bytes
    Damaged,      // not zlib data, a corrupt deflate block, a bad predictor row
    Unsupported,  // a predictor or sample layout this decoder does not read
};

// Inflates zlib-wrapped data into out, at most cap bytes.  Data that ends
// before the deflate stream does (a stream cut short, a missing checksum)
// keeps what it decoded, as readers keep it.
Decoded Inflate(std::string_view in, std::size_t cap, std::string& out);

// Whether zlib data inflates to more than limit bytes: decoded piece by
// piece into a small buffer and dropped, so that the size of a stream too
// large to hold costs no memory.
bool InflatesPast(std::string_view in, std::size_t limit);

// Bytes pulled in order from where they are kept (a span of the file, or a
// decryption of one), and pulled again from the start on Rewind.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to n bytes into `into`: how many, 0 at the end, -1 on a read error.
    virtual std::ptrdiff_t Pull(char* into, std::size_t n) = 0;
    virtual bool Rewind() = 0;
};

// zlib data inflated a window at a time, so that a stream of any decoded
// size costs the few KB of zlib's state and the bytes the caller keeps.
// A stream read without zlib's wrapper (no filter) passes through as it is.
class StreamInflater {
public:
    enum class Step {
        More,     // what was asked for came out, and the stream goes on
        End,      // the stream ended (after what came out)
        Damaged,  // not zlib data, a corrupt block, a read error
    };
    StreamInflater(ByteSource& in, bool flate);
    ~StreamInflater();
    StreamInflater(const StreamInflater&) = delete;
    StreamInflater& operator=(const StreamInflater&) = delete;

    // Appends the next n decoded bytes to out (fewer at the end).
    Step Read(std::size_t n, std::string& out);
    // Decodes the next n bytes and drops them.
    Step Skip(std::size_t n);
    // Back to the first decoded byte.
    bool Rewind();
    // Decoded bytes passed so far since the start.
    std::uint64_t position() const { return position_; }

private:
    // The next decoded bytes into out[0, n): how many came out.
    Step Next(char* out, std::size_t n, std::size_t& got);

    ByteSource& in_;
    bool flate_;
    struct State;
    State* z_ = nullptr;
    std::vector<char> input_;
    std::uint64_t position_ = 0;
    bool ended_ = false;
    bool damaged_ = false;
};

// The /DecodeParms of a Flate stream.
struct Predictor {
    long long predictor = 1;
    long long colors = 1;
    long long bitsPerComponent = 8;
    long long columns = 1;

    // Bytes of one row of samples, or 0 when the parameters are out of range.
    std::size_t RowBytes() const;
    // The inflated size that yields n bytes after the predictor is undone.
    std::size_t EncodedSize(std::size_t n) const;
};

// Undoes the predictor in place.  A trailing partial row is dropped.
Decoded Unpredict(const Predictor& p, std::string& data);

// A predictor undone a row at a time, for data inflated as a stream: only
// the row above is kept.
class RowPredictor {
public:
    explicit RowPredictor(const Predictor& p);
    // Bytes of a row as inflated (a PNG row has its tag byte first), and
    // as it comes out; 0 when this decoder does not read the parameters.
    std::size_t encodedRow() const { return encoded_; }
    std::size_t row() const { return row_; }
    // Undoes the encodedRow() bytes at `in` into the row() bytes at out,
    // which may be `in` itself or lie before it (undone in place); false
    // for a row tag PNG does not define.
    bool Undo(const char* in, char* out);

private:
    Predictor p_;
    std::size_t row_ = 0;
    std::size_t encoded_ = 0;
    std::size_t bpp_ = 1;
    std::string prior_;
};

}  // namespace brastel::pdf
