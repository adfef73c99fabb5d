// FlateDecode (zlib) and the predictors ISO 32000 puts after it: PNG
// predictors 10 to 15, one filter byte per row, and TIFF predictor 2.  Every
// decoder stops at a cap given by the caller, so a stream that inflates to
// gigabytes costs no more than the cap.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

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

}  // namespace brastel::pdf
