// Our own reading of plain TIFF chains against libtiff's: wherever we answer,
// the answer is libtiff's, on ordinary scans and on thousands of damaged
// variants of them.
#include "fixtures.h"
#include "plain_chain.h"
#include "tiff_count.h"

#include <gtest/gtest.h>
#include <tiffio.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <random>
#include <vector>

using fixtures::TempDir;
using tifcount::CountTiffPages;
using tifcount::Reader;

namespace {

struct Layout {
    const char* name;
    const char* mode = "w";  // "wb" writes big-endian, "w8" BigTIFF
    int pages = 2;
    std::function<void(TIFF*)> tags;
};

// A file of `pages` small images with the tags `tags` sets, strips written
// as a scanner writes them.
void WriteLayout(const std::string& path, const Layout& l) {
    TIFF* t = TIFFOpen(path.c_str(), l.mode);
    ASSERT_NE(t, nullptr);
    for (int p = 0; p < l.pages; ++p) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, 16);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, 12);
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(t, TIFFTAG_PAGENUMBER, p, l.pages);
        TIFFSetField(t, TIFFTAG_XRESOLUTION, 300.0);
        TIFFSetField(t, TIFFTAG_YRESOLUTION, 300.0);
        TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
        TIFFSetField(t, TIFFTAG_SOFTWARE, "scanner");
        l.tags(t);
        std::vector<unsigned char> row(256, 0x5A);
        if (TIFFIsTiled(t)) {
            std::vector<unsigned char> tile(static_cast<std::size_t>(TIFFTileSize(t)), 0x5A);
            TIFFWriteTile(t, tile.data(), 0, 0, 0, 0);
        } else {
            std::uint16_t planar = PLANARCONFIG_CONTIG, spp = 1;
            TIFFGetFieldDefaulted(t, TIFFTAG_PLANARCONFIG, &planar);
            TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &spp);
            const int planes = planar == PLANARCONFIG_SEPARATE ? spp : 1;
            for (int s = 0; s < planes; ++s)
                for (std::uint32_t y = 0; y < 12; ++y)
                    TIFFWriteScanline(t, row.data(), y, static_cast<std::uint16_t>(s));
        }
        TIFFWriteDirectory(t);
    }
    TIFFClose(t);
}

void Grey(TIFF* t) {
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 4);
}

void Fax(TIFF* t) {
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
    TIFFSetField(t, TIFFTAG_FILLORDER, FILLORDER_MSB2LSB);
}

void RgbLzw(TIFF* t) {
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    TIFFSetField(t, TIFFTAG_PREDICTOR, 2);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 5);
}

void RgbPlanes(TIFF* t) {
    RgbLzw(t);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_SEPARATE);
}

void Palette(TIFF* t) {
    static std::vector<std::uint16_t> map(256, 0x1234);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_PALETTE);
    TIFFSetField(t, TIFFTAG_COLORMAP, map.data(), map.data(), map.data());
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_PACKBITS);
}

void Tiled(TIFF* t) {
    Grey(t);
    TIFFSetField(t, TIFFTAG_TILEWIDTH, 16);
    TIFFSetField(t, TIFFTAG_TILELENGTH, 16);
}

void RgbaExtra(TIFF* t) {
    RgbLzw(t);
    const std::uint16_t extra[] = {EXTRASAMPLE_ASSOCALPHA};
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 4);
    TIFFSetField(t, TIFFTAG_EXTRASAMPLES, 1, extra);
}

const std::vector<Layout>& Scans() {
    static const std::vector<Layout> scans{
        {"grey", "w", 3, Grey},           {"grey big-endian", "wb", 2, Grey}, {"fax G4", "w", 4, Fax},
        {"fax G4 big-endian", "wb", 1, Fax}, {"RGB LZW", "w", 2, RgbLzw},     {"RGB planes", "w", 2, RgbPlanes},
        {"palette", "w", 2, Palette},
    };
    return scans;
}

std::uint64_t SizeOf(int fd) {
    struct stat st {};
    fstat(fd, &st);
    return static_cast<std::uint64_t>(st.st_size);
}

// Offset of the first directory, in the file's own byte order.
std::size_t FirstDirectory(const std::string& b) {
    const auto u = [&](std::size_t i) { return static_cast<std::size_t>(static_cast<unsigned char>(b[i])); };
    return b[0] == 'M' ? u(4) << 24 | u(5) << 16 | u(6) << 8 | u(7) : u(7) << 24 | u(6) << 16 | u(5) << 8 | u(4);
}

std::optional<std::int32_t> Plain(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return std::nullopt;
    const auto pages = tifcount::CountPlainChain(fd, SizeOf(fd));
    close(fd);
    return pages;
}

}  // namespace

TEST(PlainChain, OrdinaryScansAreReadWithoutLibtiff) {
    TempDir dir;
    for (const Layout& l : Scans()) {
        const std::string path = dir / "scan.tif";
        WriteLayout(path, l);
        EXPECT_EQ(Plain(path), l.pages) << l.name;
        EXPECT_EQ(CountTiffPages(path.c_str()), l.pages) << l.name;
    }
}

TEST(PlainChain, WhatLibtiffMustJudgeIsLeftToIt) {
    TempDir dir;
    const std::vector<Layout> unusual{
        {"tiled", "w", 2, Tiled}, {"extra samples", "w", 2, RgbaExtra}, {"BigTIFF", "w8", 3, Grey}};
    for (const Layout& l : unusual) {
        const std::string path = dir / "unusual.tif";
        WriteLayout(path, l);
        EXPECT_EQ(Plain(path), std::nullopt) << l.name;
        EXPECT_EQ(CountTiffPages(path.c_str()), l.pages) << l.name << ": libtiff still counts it";
    }
    // A chain that turns back to its first directory: libtiff ends it there.
    const std::string loop = dir / "loop.tif";
    WriteLayout(loop, Scans()[0]);
    fixtures::SetLastNextOffset(loop, fixtures::FirstIfdOffset(loop));
    EXPECT_EQ(Plain(loop), std::nullopt);
    EXPECT_EQ(CountTiffPages(loop.c_str()), 3);
}

// Damage of every kind to the directories of every layout: a byte, a few
// bytes or a field set to a telling value.  Wherever our reading answers,
// libtiff alone gives the same answer; and it answers often enough that
// the comparison means something.
TEST(PlainChain, AnswersAsLibtiffDoesOnDamagedScans) {
    TempDir dir;
    const std::string path = dir / "mutant.tif";
    std::mt19937 random(20261209);
    const std::uint32_t telling[] = {0, 1, 2, 3, 4, 7, 8, 12, 16, 255, 256, 0xFFFF, 0xFFFFFFFF, 0x7FFFFFFF};
    int answered = 0, total = 0;
    for (const Layout& l : Scans()) {
        WriteLayout(path, l);
        const std::string original = fixtures::ReadFile(path);
        // Where the directories are: from the first directory on, libtiff
        // writes them after the image data of their page.
        const std::size_t firstIfd = FirstDirectory(original);
        for (int i = 0; i < 2500; ++i) {
            std::string bytes = original;
            const int changes = 1 + static_cast<int>(random() % 3);
            for (int c = 0; c < changes; ++c) {
                const bool inDirectories = random() % 4 != 0;
                const std::size_t from = inDirectories ? std::min(firstIfd, bytes.size() - 1) : 0;
                const std::size_t at = from + random() % (bytes.size() - from);
                switch (random() % 3) {
                    case 0:
                        bytes[at] = static_cast<char>(random());
                        break;
                    case 1:
                        bytes[at] ^= static_cast<char>(1u << (random() % 8));
                        break;
                    default: {
                        const std::uint32_t v = telling[random() % std::size(telling)];
                        const bool big = bytes[0] == 'M';
                        for (std::size_t k = 0; k < 4 && at + k < bytes.size(); ++k)
                            bytes[at + k] = static_cast<char>(big ? v >> (24 - 8 * k) : v >> (8 * k));
                    }
                }
            }
            if (random() % 10 == 0) bytes.resize(firstIfd + random() % (bytes.size() - firstIfd + 1));
            fixtures::WriteFile(path, bytes);
            const auto ours = Plain(path);
            ++total;
            if (!ours) continue;
            ++answered;
            const std::int32_t libtiff = CountTiffPages(path.c_str(), nullptr, nullptr, Reader::LibtiffOnly);
            ASSERT_EQ(*ours, libtiff) << l.name << ", variant " << i << " (seed 20261209)";
        }
    }
    EXPECT_GT(answered, total / 10) << "too few variants read without libtiff to compare";
    EXPECT_LT(answered, total) << "no variant was left to libtiff";
}
