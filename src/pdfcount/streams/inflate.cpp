#include "streams/inflate.h"

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace brastel::pdf {

namespace {
constexpr std::size_t kOutChunk = std::size_t{64} << 10;
constexpr std::size_t kFirstRoom = 1024;

bool IsPng(long long predictor) { return predictor >= 10 && predictor <= 15; }

// The PNG filters of ISO 32000's predictor functions (the same as PNG's).
unsigned char Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return static_cast<unsigned char>(a);
    return static_cast<unsigned char>(pb <= pc ? b : c);
}
}  // namespace

Decoded Inflate(std::string_view in, std::size_t cap, std::string& out) {
    out.clear();
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return Decoded::Damaged;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    // Streams are read whole from a file of a few MB; a longer input is fed
    // in pieces of what zlib's counters hold.
    std::size_t left = in.size();
    auto feed = [&] {
        if (z.avail_in == 0 && left > 0) {
            z.avail_in = static_cast<uInt>(std::min<std::size_t>(left, UINT_MAX));
            left -= z.avail_in;
        }
    };
    Decoded result = Decoded::Ok;
    for (;;) {
        feed();
        if (out.size() >= cap) {
            // At the cap: one more byte tells a stream that ends here from
            // one that goes on.
            unsigned char probe = 0;
            z.next_out = &probe;
            z.avail_out = 1;
            const int rc = inflate(&z, Z_NO_FLUSH);
            if (z.avail_out == 0) result = Decoded::Capped;
            else if (rc == Z_DATA_ERROR && (!z.msg || std::strcmp(z.msg, "incorrect data check") != 0))
                result = Decoded::Damaged;
            break;
        }
        const std::size_t before = out.size();
        // Room grows with what came out so far: the streams a count reads
        // decode to a few hundred bytes, and every byte of room is zeroed.
        const std::size_t room = std::min({kOutChunk, cap - before, std::max(kFirstRoom, before)});
        out.resize(before + room);
        z.next_out = reinterpret_cast<Bytef*>(out.data() + before);
        z.avail_out = static_cast<uInt>(room);
        const int rc = inflate(&z, Z_NO_FLUSH);
        out.resize(before + room - z.avail_out);
        if (rc == Z_STREAM_END) break;
        if (rc == Z_OK) continue;
        if (rc == Z_BUF_ERROR && z.avail_in == 0 && left == 0) break;  // the data ends early
        // A wrong checksum comes after all the data: readers keep it.
        if (rc == Z_DATA_ERROR && z.msg && std::strcmp(z.msg, "incorrect data check") == 0) break;
        result = Decoded::Damaged;
        break;
    }
    inflateEnd(&z);
    return result;
}

bool InflatesPast(std::string_view in, std::size_t limit) {
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return false;
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
    z.avail_in = static_cast<uInt>(std::min<std::size_t>(in.size(), UINT_MAX));
    std::string scratch(kOutChunk, '\0');
    std::size_t total = 0;
    for (;;) {
        z.next_out = reinterpret_cast<Bytef*>(scratch.data());
        z.avail_out = static_cast<uInt>(scratch.size());
        const int rc = inflate(&z, Z_NO_FLUSH);
        total += scratch.size() - z.avail_out;
        if (total > limit || rc != Z_OK) break;
    }
    inflateEnd(&z);
    return total > limit;
}

struct StreamInflater::State {
    z_stream z{};
};

StreamInflater::StreamInflater(ByteSource& in, bool flate) : in_(in), flate_(flate), input_(kOutChunk) {
    if (!flate_) return;
    z_ = new State;
    if (inflateInit(&z_->z) != Z_OK) {
        delete z_;
        z_ = nullptr;
        damaged_ = true;
    }
}

StreamInflater::~StreamInflater() {
    if (z_) {
        inflateEnd(&z_->z);
        delete z_;
    }
}

bool StreamInflater::Rewind() {
    if (!in_.Rewind()) return false;
    position_ = 0;
    ended_ = false;
    if (!flate_) return true;
    if (!z_) return false;
    damaged_ = inflateReset(&z_->z) != Z_OK;
    z_->z.avail_in = 0;
    return !damaged_;
}

StreamInflater::Step StreamInflater::Next(char* out, std::size_t n, std::size_t& got) {
    got = 0;
    if (damaged_) return Step::Damaged;
    if (ended_) return Step::End;
    if (!flate_) {
        const std::ptrdiff_t pulled = in_.Pull(out, n);
        if (pulled < 0) return (damaged_ = true, Step::Damaged);
        got = static_cast<std::size_t>(pulled);
        position_ += got;
        if (pulled == 0) ended_ = true;
        return ended_ ? Step::End : Step::More;
    }
    z_stream& z = z_->z;
    z.next_out = reinterpret_cast<Bytef*>(out);
    z.avail_out = static_cast<uInt>(std::min<std::size_t>(n, UINT_MAX));
    while (z.avail_out > 0) {
        if (z.avail_in == 0) {
            const std::ptrdiff_t pulled = in_.Pull(input_.data(), input_.size());
            if (pulled < 0) {
                damaged_ = true;
                break;
            }
            // The data ends before the deflate stream does: what came out
            // is kept, as readers keep it.
            if (pulled == 0) {
                ended_ = true;
                break;
            }
            z.next_in = reinterpret_cast<Bytef*>(input_.data());
            z.avail_in = static_cast<uInt>(pulled);
        }
        const int rc = inflate(&z, Z_NO_FLUSH);
        if (rc == Z_STREAM_END) {
            ended_ = true;
            break;
        }
        if (rc == Z_OK || (rc == Z_BUF_ERROR && z.avail_in == 0)) continue;
        // A wrong checksum comes after all the data: readers keep it.
        if (rc == Z_DATA_ERROR && z.msg && std::strcmp(z.msg, "incorrect data check") == 0) ended_ = true;
        else damaged_ = true;
        break;
    }
    got = n - z.avail_out;
    position_ += got;
    if (damaged_) return Step::Damaged;
    return ended_ ? Step::End : Step::More;
}

StreamInflater::Step StreamInflater::Read(std::size_t n, std::string& out) {
    while (n > 0) {
        const std::size_t before = out.size();
        const std::size_t room = std::min(n, kOutChunk);
        out.resize(before + room);
        std::size_t got = 0;
        const Step step = Next(out.data() + before, room, got);
        out.resize(before + got);
        n -= got;
        if (step != Step::More) return step;
    }
    return Step::More;
}

StreamInflater::Step StreamInflater::Skip(std::size_t n) {
    char scratch[16384];
    while (n > 0) {
        std::size_t got = 0;
        const Step step = Next(scratch, std::min(n, sizeof scratch), got);
        n -= got;
        if (step != Step::More) return step;
    }
    return Step::More;
}

std::size_t Predictor::RowBytes() const {
    if (colors < 1 || colors > 32 || columns < 1 || columns > (1 << 24)) return 0;
    if (bitsPerComponent != 1 && bitsPerComponent != 2 && bitsPerComponent != 4 && bitsPerComponent != 8 &&
        bitsPerComponent != 16)
        return 0;
    const long long bits = colors * bitsPerComponent * columns;
    return static_cast<std::size_t>((bits + 7) / 8);
}

std::size_t Predictor::EncodedSize(std::size_t n) const {
    if (!IsPng(predictor)) return n;
    const std::size_t row = RowBytes();
    if (row == 0) return n;
    return (n + row - 1) / row * (row + 1);
}

Decoded Unpredict(const Predictor& p, std::string& data) {
    if (p.predictor == 1) return Decoded::Ok;
    RowPredictor rows(p);
    if (rows.row() == 0) return Decoded::Unsupported;
    // Each row is undone into the place of the previous output, which
    // always lies at or before the row's own bytes.
    const std::size_t count = data.size() / rows.encodedRow();
    for (std::size_t r = 0; r < count; ++r)
        if (!rows.Undo(data.data() + r * rows.encodedRow(), data.data() + r * rows.row())) return Decoded::Damaged;
    data.resize(count * rows.row());
    return Decoded::Ok;
}

RowPredictor::RowPredictor(const Predictor& p) : p_(p) {
    const std::size_t row = p.RowBytes();
    if (row == 0) return;
    if (p.predictor == 1 || (p.predictor == 2 && p.bitsPerComponent == 8)) {
        row_ = encoded_ = row;
    } else if (IsPng(p.predictor)) {
        row_ = row;
        encoded_ = row + 1;
        bpp_ = std::max<std::size_t>(1, static_cast<std::size_t>(p.colors * p.bitsPerComponent / 8));
        prior_.assign(row, '\0');
    }
}

bool RowPredictor::Undo(const char* in, char* out) {
    if (!IsPng(p_.predictor)) {
        std::memmove(out, in, row_);
        // TIFF: each sample is stored as its difference from the one to its left.
        if (p_.predictor == 2) {
            const std::size_t step = static_cast<std::size_t>(p_.colors);
            for (std::size_t i = step; i < row_; ++i) out[i] = static_cast<char>(out[i] + out[i - step]);
        }
        return true;
    }
    const unsigned char tag = static_cast<unsigned char>(in[0]);
    if (tag > 4) return false;
    // Each byte of the row is read before the byte it may overwrite.
    unsigned char* cur = reinterpret_cast<unsigned char*>(out);
    const unsigned char* raw = reinterpret_cast<const unsigned char*>(in + 1);
    const unsigned char* up = reinterpret_cast<const unsigned char*>(prior_.data());
    for (std::size_t i = 0; i < row_; ++i) {
        const int a = i >= bpp_ ? cur[i - bpp_] : 0;
        const int b = up[i];
        const int c = i >= bpp_ ? up[i - bpp_] : 0;
        int v = raw[i];
        switch (tag) {
        case 1: v += a; break;
        case 2: v += b; break;
        case 3: v += (a + b) / 2; break;
        case 4: v += Paeth(a, b, c); break;
        default: break;
        }
        cur[i] = static_cast<unsigned char>(v);
    }
    std::memcpy(prior_.data(), cur, row_);
    return true;
}

}  // namespace brastel::pdf
