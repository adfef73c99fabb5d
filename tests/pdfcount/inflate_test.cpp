// FlateDecode and its predictors: the data readers get back, the cap that
// stops a bomb, and damaged data refused rather than misread.
#include "streams/inflate.h"
#include "streambuilder.h"

#include <gtest/gtest.h>

#include <zlib.h>

namespace brastel::pdf {
namespace {

using test::Deflate;

std::string ZerosDeflated(std::size_t mebibytes) { return test::DeflateRepeated("", mebibytes, '\0'); }

TEST(Inflate, DataAndTheCap) {
    const std::string text = "1 0 obj << /Type /Catalog /Pages 2 0 R >> endobj";
    std::string out;
    EXPECT_EQ(Inflate(Deflate(text), 1 << 20, out), Decoded::Ok);
    EXPECT_EQ(out, text);
    // Exactly at the cap is no overflow; one byte over is.
    EXPECT_EQ(Inflate(Deflate(text), text.size(), out), Decoded::Ok);
    EXPECT_EQ(Inflate(Deflate(text), text.size() - 1, out), Decoded::Capped);
    EXPECT_EQ(out, text.substr(0, text.size() - 1));
    // Output that outgrows the room given at first, in steps of every size,
    // comes back whole and in order; a cap inside a step cuts it there.
    std::string varied;
    for (std::uint32_t x = 1; varied.size() < 300000; x = x * 1103515245u + 12345u)
        varied += std::to_string(x >> 7) + (x % 3 ? " " : "\n");
    EXPECT_EQ(Inflate(Deflate(varied), 1 << 20, out), Decoded::Ok);
    EXPECT_EQ(out, varied);
    EXPECT_EQ(Inflate(Deflate(varied), 70001, out), Decoded::Capped);
    EXPECT_EQ(out, varied.substr(0, 70001));
    // A gigabyte of zeros stops at the cap, having produced only that much.
    EXPECT_EQ(Inflate(ZerosDeflated(3), 4 << 20, out), Decoded::Ok);  // the stream is sound up to its checksum
    EXPECT_EQ(out, std::string(std::size_t{3} << 20, '\0'));
    const std::string bomb = ZerosDeflated(1024);
    EXPECT_LT(bomb.size(), std::size_t{2} << 20);
    EXPECT_EQ(Inflate(bomb, 8 << 20, out), Decoded::Capped);
    EXPECT_EQ(out.size(), std::size_t{8} << 20);
    // Its size is told without holding it.
    EXPECT_TRUE(InflatesPast(bomb, std::size_t{64} << 20));
    EXPECT_FALSE(InflatesPast(ZerosDeflated(3), std::size_t{3} << 20));
    EXPECT_FALSE(InflatesPast("not zlib", 0));
}

TEST(Inflate, DamagedData) {
    const std::string text(5000, 'x');
    const std::string packed = Deflate(text);
    std::string out;
    // Cut short: what was decoded is kept, as readers keep it.
    EXPECT_EQ(Inflate(packed.substr(0, packed.size() - 4), 1 << 20, out), Decoded::Ok);  // no checksum
    EXPECT_EQ(out, text);
    EXPECT_EQ(Inflate(packed.substr(0, packed.size() / 2), 1 << 20, out), Decoded::Ok);
    EXPECT_LE(out.size(), text.size());
    // A wrong checksum comes after the data.
    std::string badSum = packed;
    badSum.back() = static_cast<char>(badSum.back() ^ 0x55);
    EXPECT_EQ(Inflate(badSum, 1 << 20, out), Decoded::Ok);
    EXPECT_EQ(out, text);
    // Not zlib at all, or a corrupt block.
    EXPECT_EQ(Inflate("plain text, no zlib header", 1 << 20, out), Decoded::Damaged);
    std::string corrupt = packed;
    corrupt[2] = static_cast<char>(0xFF);
    EXPECT_EQ(Inflate(corrupt, 1 << 20, out), Decoded::Damaged);
    EXPECT_EQ(Inflate("", 1 << 20, out), Decoded::Ok);
    EXPECT_TRUE(out.empty());
}

// Rows of 3 bytes with the given PNG filter tags, decoded against the rows
// a writer started from.
TEST(Predictor, PngFiltersOfEveryKind) {
    Predictor p;
    p.predictor = 12;
    p.columns = 3;
    const std::string rows[] = {std::string("\x01\x00\x10", 3), std::string("\x02\x01\x20", 3),
                                std::string("\x01\x05\x7F", 3), std::string("\x00\x00\x00", 3),
                                std::string("\xFF\x80\x01", 3)};
    auto paeth = [](int a, int b, int c) {
        const int q = a + b - c, pa = std::abs(q - a), pb = std::abs(q - b), pc = std::abs(q - c);
        return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    };
    std::string encoded, expected, prior(3, '\0');
    for (int tag = 0; tag <= 4; ++tag) {
        const std::string& row = rows[tag];
        encoded += static_cast<char>(tag);
        for (int i = 0; i < 3; ++i) {
            const int x = static_cast<unsigned char>(row[i]);
            const int a = i ? static_cast<unsigned char>(row[i - 1]) : 0;
            const int b = static_cast<unsigned char>(prior[i]);
            const int c = i ? static_cast<unsigned char>(prior[i - 1]) : 0;
            const int predicted[] = {0, a, b, (a + b) / 2, paeth(a, b, c)};
            encoded += static_cast<char>(x - predicted[tag]);
        }
        expected += row;
        prior = row;
    }
    std::string data = encoded + "\x02\x01";  // a partial row at the end is dropped
    EXPECT_EQ(Unpredict(p, data), Decoded::Ok);
    EXPECT_EQ(data, expected);
    EXPECT_EQ(p.EncodedSize(15), 20u);

    data = std::string("\x05\x00\x00\x00", 4);  // no such filter
    EXPECT_EQ(Unpredict(p, data), Decoded::Damaged);
}

TEST(Predictor, TiffAndUnsupportedLayouts) {
    Predictor p;
    p.predictor = 2;
    p.colors = 2;
    p.columns = 2;  // rows of 4 bytes, two samples per pixel
    std::string data("\x01\x02\x01\x01\x10\x20\x00\xFF", 8);
    EXPECT_EQ(Unpredict(p, data), Decoded::Ok);
    EXPECT_EQ(data, std::string("\x01\x02\x02\x03\x10\x20\x10\x1F", 8));

    p.bitsPerComponent = 16;  // TIFF differences of 16-bit samples are not read
    EXPECT_EQ(Unpredict(p, data), Decoded::Unsupported);
    Predictor odd;
    odd.predictor = 12;
    odd.bitsPerComponent = 3;
    EXPECT_EQ(Unpredict(odd, data), Decoded::Unsupported);
    odd.bitsPerComponent = 8;
    odd.columns = 0;
    EXPECT_EQ(Unpredict(odd, data), Decoded::Unsupported);
    odd.columns = 1;
    odd.predictor = 7;
    EXPECT_EQ(Unpredict(odd, data), Decoded::Unsupported);
}

}  // namespace
}  // namespace brastel::pdf
