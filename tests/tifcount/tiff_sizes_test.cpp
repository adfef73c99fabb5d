// TIFF page sizes: width and length over the resolution in its unit, pixels
// only without one, and through the component and the row builder when a
// run asks for sizes.
#include "tiff_sizes.h"

#include <fixtures.h>
#include <search/page_sizes.h>
#include <search/row_builder.h>

#include <gtest/gtest.h>
#include <tiffio.h>

#include <vector>

namespace {

using component::PageSizeState;

struct Page {
    std::uint32_t width, length;
    float xres = 0, yres = 0;  // 0: none written
    int unit = -1;             // -1: none written (inch by default)
};

void WritePages(const std::string& path, const std::vector<Page>& pages) {
    TIFF* t = TIFFOpen(path.c_str(), "w");
    ASSERT_NE(t, nullptr);
    for (const Page& p : pages) {
        TIFFSetField(t, TIFFTAG_IMAGEWIDTH, p.width);
        TIFFSetField(t, TIFFTAG_IMAGELENGTH, p.length);
        TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_CCITTFAX4);
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, p.length);
        if (p.xres > 0) TIFFSetField(t, TIFFTAG_XRESOLUTION, p.xres);
        if (p.yres > 0) TIFFSetField(t, TIFFTAG_YRESOLUTION, p.yres);
        if (p.unit >= 0) TIFFSetField(t, TIFFTAG_RESOLUTIONUNIT, p.unit);
        std::vector<unsigned char> row((p.width + 7) / 8, 0);
        for (std::uint32_t y = 0; y < p.length; ++y) TIFFWriteScanline(t, row.data(), y, 0);
        TIFFWriteDirectory(t);
    }
    TIFFClose(t);
}

TEST(TiffSizes, ResolutionsUnitsAndNone) {
    fixtures::TempDir dir;
    const std::string path = dir.path() + "/sizes.tif";
    WritePages(path, {
                         {2480, 3508, 300, 300, RESUNIT_INCH},          // A4 at 300 dpi
                         {1240, 1754, 150, 150, -1},                    // A4, unit by default: inch
                         {1654, 1169, 78.74f, 78.74f, RESUNIT_CENTIMETER},  // A5 landscape at 200 dpi, in cm
                         {1728, 2200, 204, 196, RESUNIT_INCH},          // fax: two resolutions
                         {800, 600, 0, 0, -1},                          // no resolution
                         {800, 600, 72, 72, RESUNIT_NONE},              // a unit of none
                     });
    const auto runs = tifcount::ReadTiffSizes(path.c_str(), 6);
    std::vector<component::PageSizeRun> one;
    for (const auto& r : runs)
        for (std::int64_t i = 0; i < r.pages; ++i) one.push_back(r);
    ASSERT_EQ(one.size(), 6u);
    EXPECT_NEAR(one[0].width, 595.2, 0.01);
    EXPECT_NEAR(one[0].height, 841.92, 0.01);
    EXPECT_NEAR(one[1].width, 595.2, 0.01);
    EXPECT_NEAR(one[2].width / 72 * 25.4, 210.0, 0.1);
    EXPECT_NEAR(one[2].height / 72 * 25.4, 148.5, 0.1);
    EXPECT_NEAR(one[3].width, 1728 / 204.0 * 72, 0.01);
    EXPECT_NEAR(one[3].height, 2200 / 196.0 * 72, 0.01);
    for (int i : {0, 1, 2, 3}) EXPECT_EQ(one[i].state, PageSizeState::Known);
    EXPECT_EQ(one[4].state, PageSizeState::PixelsOnly);
    EXPECT_EQ(one[4].width, 800);
    EXPECT_EQ(one[5].state, PageSizeState::PixelsOnly);
    EXPECT_EQ(search::SizeSummaryText(search::SummarizeSizes(runs)), "A4:2,A5:1,215\u00d7285 mm:1,unknown size:2");
    // No more pages than the count decided.
    EXPECT_EQ(tifcount::ReadTiffSizes(path.c_str(), 2).size(), 1u);
}

TEST(TiffSizes, TheRowBuilderAsksOnlyWhenTheRunDoes) {
    fixtures::TempDir dir;
    const std::string path = dir.path() + "/a3.tif";
    WritePages(path, {{3508, 4961, 300, 300, RESUNIT_INCH}, {3508, 4961, 300, 300, RESUNIT_INCH}});
    search::ComponentLoader loader(QUILLON_BIN_DIR);
    const auto plain = search::RowBuilder(loader).Build(path);
    EXPECT_EQ(plain.row.pages, 2);
    EXPECT_TRUE(plain.row.pageSizes.empty());
    const auto sized = search::RowBuilder(loader, true).Build(path);
    ASSERT_EQ(sized.row.pageSizes.size(), 1u);
    const auto f = search::SummarizeSizes(sized.row.pageSizes);
    EXPECT_EQ(search::SizeSummaryText(f), "A3:2");
    EXPECT_EQ(f.a4Equivalents, 4);
}

}  // namespace
