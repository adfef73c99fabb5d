#include "plain_chain.h"

#include "tiff_count.h"

#include <component/read_fully.h>

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>

namespace tifcount {

namespace {

// A directory of more entries than fit one read is rare enough for libtiff.
constexpr std::size_t kWindow = 4096;
constexpr std::uint32_t kMaxEntries = (kWindow - 6) / 12;
// More strips than this in one image is no ordinary scan.
constexpr std::uint64_t kMaxStrips = 1u << 24;

// Tags whose values decide whether libtiff accepts a directory.
enum Tag : std::uint16_t {
    kImageWidth = 256,
    kImageLength = 257,
    kBitsPerSample = 258,
    kCompression = 259,
    kPhotometric = 262,
    kStripOffsets = 273,
    kSamplesPerPixel = 277,
    kRowsPerStrip = 278,
    kStripByteCounts = 279,
    kPlanarConfig = 284,
};

// Tags libtiff reads with checks of its own that a mistake in them fails the
// directory: tiles, extra samples, sample formats and ranges, depth.
bool LeftToLibtiff(std::uint16_t tag) {
    switch (tag) {
        case 280: case 281:          // Min/MaxSampleValue
        case 322: case 323:          // TileWidth, TileLength
        case 324: case 325:          // TileOffsets, TileByteCounts
        case 338: case 339:          // ExtraSamples, SampleFormat
        case 340: case 341:          // SMin/SMaxSampleValue
        case 32996: case 32997:      // DataType, ImageDepth
        case 32998:                  // TileDepth
            return true;
        default:
            return false;
    }
}

// Codecs a Debian libtiff reads a directory of without special treatment:
// none, the CCITT group, LZW, JPEG, Deflate (both numbers), PackBits.
bool PlainCodec(std::uint16_t c) {
    switch (c) {
        case 1: case 2: case 3: case 4: case 5: case 7: case 8: case 32773: case 32946:
            return true;
        default:
            return false;
    }
}

// Bytes per value of the classic TIFF field types 1..13; 0 for any other.
std::uint32_t TypeSize(std::uint16_t type) {
    static constexpr std::array<std::uint8_t, 14> sizes{0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8, 4};
    return type < sizes.size() ? sizes[type] : 0;
}

constexpr std::uint16_t kShort = 3, kLong = 4;

// One read of the file kept for the reads that fall inside it.
class Window {
public:
    Window(int fd, std::uint64_t size) : fd_(fd), size_(size) {}

    // The `len` bytes at `off`, or null when they are not all in the file or
    // cannot be read.
    const unsigned char* At(std::uint64_t off, std::size_t len) {
        if (len > kWindow || off > size_ || len > size_ - off) return nullptr;
        if (off < start_ || off + len > start_ + have_) {
            const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, size_ - off));
            const std::int64_t got = component::ReadFully(fd_, buf_.data(), want, static_cast<std::int64_t>(off));
            if (got < 0 || static_cast<std::size_t>(got) < len) return nullptr;
            start_ = off;
            have_ = static_cast<std::size_t>(got);
        }
        return buf_.data() + (off - start_);
    }

private:
    int fd_;
    std::uint64_t size_;
    std::uint64_t start_ = 0;
    std::size_t have_ = 0;
    std::array<unsigned char, kWindow> buf_{};
};

struct Order {
    bool big;
    std::uint16_t U16(const unsigned char* p) const {
        return big ? static_cast<std::uint16_t>(p[0] << 8 | p[1]) : static_cast<std::uint16_t>(p[1] << 8 | p[0]);
    }
    std::uint32_t U32(const unsigned char* p) const {
        return big ? (std::uint32_t{p[0]} << 24 | std::uint32_t{p[1]} << 16 | std::uint32_t{p[2]} << 8 | p[3])
                   : (std::uint32_t{p[3]} << 24 | std::uint32_t{p[2]} << 16 | std::uint32_t{p[1]} << 8 | p[0]);
    }
};

struct Entry {
    std::uint16_t type = 0;
    std::uint32_t count = 0;
    std::array<unsigned char, 4> value{};  // copied: the window may move on
    bool present = false;
};

// The one whole number an entry holds, when it is a SHORT or LONG of count 1.
std::optional<std::uint32_t> Single(const Entry& e, const Order& o) {
    if (!e.present || e.count != 1) return std::nullopt;
    if (e.type == kShort) return o.U16(e.value.data());
    if (e.type == kLong) return o.U32(e.value.data());
    return std::nullopt;
}

std::optional<std::uint16_t> SingleShort(const Entry& e, const Order& o) {
    if (!e.present || e.count != 1 || e.type != kShort) return std::nullopt;
    return o.U16(e.value.data());
}

// (x + y - 1) / y as libtiff computes it in 32 bits: 0 when the sum would wrap.
std::uint32_t HowMany32(std::uint32_t x, std::uint32_t y) {
    return x < 0xFFFFFFFFu - (y - 1) ? (x + (y - 1)) / y : 0;
}

// Whether the directory whose entries start at `entries` is one libtiff
// reads without an error.
bool PlainDirectory(const unsigned char* entries, std::uint32_t n, const Order& o, Window& file,
                    std::uint64_t fileSize) {
    std::array<Entry, 10> key{};  // the tags of the Tag enumeration, by slot
    const auto slot = [](std::uint16_t tag) -> int {
        switch (tag) {
            case kImageWidth: return 0;
            case kImageLength: return 1;
            case kBitsPerSample: return 2;
            case kCompression: return 3;
            case kPhotometric: return 4;
            case kStripOffsets: return 5;
            case kSamplesPerPixel: return 6;
            case kRowsPerStrip: return 7;
            case kStripByteCounts: return 8;
            case kPlanarConfig: return 9;
            default: return -1;
        }
    };
    std::uint32_t lastTag = 0;
    for (std::uint32_t i = 0; i < n; ++i) {
        const unsigned char* e = entries + 12u * i;
        const std::uint16_t tag = o.U16(e);
        const std::uint16_t type = o.U16(e + 2);
        const std::uint32_t count = o.U32(e + 4);
        if (i > 0 && tag <= lastTag) return false;  // unsorted or repeated
        lastTag = tag;
        const std::uint32_t width = TypeSize(type);
        if (width == 0 || LeftToLibtiff(tag)) return false;
        const std::uint64_t bytes = std::uint64_t{count} * width;
        if (bytes > 4) {
            const std::uint32_t at = o.U32(e + 8);
            if (at > fileSize || bytes > fileSize - at) return false;
        }
        if (const int s = slot(tag); s >= 0) {
            Entry& k = key[static_cast<std::size_t>(s)];
            k = Entry{type, count, {}, true};
            std::memcpy(k.value.data(), e + 8, 4);
        }
    }

    const auto width = Single(key[0], o), length = Single(key[1], o);
    if (!width || !length || *width == 0 || *length == 0) return false;

    std::uint32_t samples = 1;
    if (key[6].present) {
        const auto v = SingleShort(key[6], o);
        if (!v || *v == 0 || *v > 16) return false;
        samples = *v;
    }
    std::uint32_t bits = 1;
    if (const Entry& b = key[2]; b.present) {
        if (b.type != kShort || (b.count != 1 && b.count != samples)) return false;
        const unsigned char* values = b.value.data();
        if (b.count * 2u > 4) values = file.At(o.U32(b.value.data()), b.count * 2u);
        if (!values) return false;
        bits = o.U16(values);
        for (std::uint32_t i = 1; i < b.count; ++i)
            if (o.U16(values + 2 * i) != bits) return false;  // libtiff wants one size for all samples
        if (bits == 0 || bits > 64) return false;
    }
    if (key[3].present) {
        const auto c = SingleShort(key[3], o);
        if (!c || !PlainCodec(*c)) return false;
    }
    // Colour spaces libtiff reads without reshaping the directory: palette
    // images only when a missing colour map is no error, never YCbCr.
    const auto photometric = SingleShort(key[4], o);
    if (!photometric) return false;
    switch (*photometric) {
        case 0: case 1: case 2: case 4: case 5:
            break;
        case 3:
            // Below 8 bits a palette image needs its colour map, and libtiff
            // drops a map of the wrong size before it looks for one.
            if (bits < 8) return false;
            break;
        default:
            return false;
    }
    bool separate = false;
    if (key[9].present) {
        const auto p = SingleShort(key[9], o);
        if (!p || (*p != 1 && *p != 2)) return false;
        separate = *p == 2;
    }
    std::uint32_t rows = 0xFFFFFFFFu;
    if (key[7].present) {
        const auto r = Single(key[7], o);
        if (!r || *r == 0) return false;
        rows = *r;
    }
    std::uint64_t strips = rows == 0xFFFFFFFFu ? 1 : HowMany32(*length, rows);
    if (separate) strips *= samples;
    if (strips == 0 || strips > kMaxStrips) return false;
    for (const Entry* s : {&key[5], &key[8]})
        if (!s->present || (s->type != kShort && s->type != kLong) || s->count != strips) return false;

    // Neither a scanline nor a strip may come to zero bytes or overflow.
    const std::uint64_t lineBits = std::uint64_t{*width} * (separate ? 1 : samples) * bits;
    const std::uint64_t lineBytes = (lineBits + 7) / 8;
    const std::uint64_t stripRows = std::min(rows, *length);
    if (lineBytes == 0 || lineBytes > (std::uint64_t{1} << 62) / stripRows) return false;
    return true;
}

}  // namespace

std::optional<std::int32_t> CountPlainChain(int fd, std::uint64_t fileSize) {
    Window file(fd, fileSize);
    const unsigned char* header = file.At(0, 8);
    if (!header) return std::nullopt;
    if (header[0] != header[1] || (header[0] != 'I' && header[0] != 'M')) return std::nullopt;
    Order o{header[0] == 'M'};
    if (o.U16(header + 2) != 42) return std::nullopt;  // BigTIFF, or no TIFF
    std::uint64_t next = o.U32(header + 4);
    std::uint64_t previous = 0;
    std::int32_t pages = 0;
    while (next != 0) {
        // A chain that turns back may loop; libtiff's own check decides.
        if (next <= previous || pages >= kMaxPages) return std::nullopt;
        const unsigned char* countField = file.At(next, 2);
        if (!countField) return std::nullopt;
        const std::uint32_t n = o.U16(countField);
        if (n == 0 || n > kMaxEntries) return std::nullopt;
        const unsigned char* entries = file.At(next + 2, 12u * n + 4);
        if (!entries) return std::nullopt;
        const std::uint64_t after = o.U32(entries + 12u * n);
        if (!PlainDirectory(entries, n, o, file, fileSize)) return std::nullopt;
        ++pages;
        previous = next;
        next = after;
    }
    if (pages == 0) return std::nullopt;  // no directory at all: libtiff says why
    return pages;
}

}  // namespace tifcount
