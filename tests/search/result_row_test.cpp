// Cell texts and sort tags of result rows, and the totals label.
#include <search/result_row.h>

#include <gtest/gtest.h>

using namespace search;

TEST(ResultRowCells, KilobytesRoundHalfToEven) {
    EXPECT_EQ(KilobytesOf(0), 0u);
    EXPECT_EQ(KilobytesOf(512), 0u);
    EXPECT_EQ(KilobytesOf(513), 1u);
    EXPECT_EQ(KilobytesOf(1536), 2u);
    EXPECT_EQ(KilobytesOf(2560), 2u);
    EXPECT_EQ(KilobytesOf(3584), 4u);
    EXPECT_EQ(KilobytesOf(123456789), 120563u);
}

TEST(ResultRowCells, SizeTextAndTag) {
    EXPECT_EQ(SizeCellText(0), "      0 KB");
    EXPECT_EQ(SizeCellTag(0), "0000000000");
    EXPECT_EQ(SizeCellText(120563), " 120563 KB");
    EXPECT_EQ(SizeCellTag(120563), "0000120563");
    EXPECT_EQ(SizeCellText(9999999), "9999999 KB");
    // 10,000,000 KB and more: a wider cell, not an error.
    EXPECT_EQ(SizeCellText(10000000), "10000000 KB");
    EXPECT_EQ(SizeCellTag(10000000), "0010000000");
    EXPECT_EQ(SizeCellTag(KilobytesOf(20ull << 40)), "21474836480");  // a 20 TiB file
}

TEST(ResultRowCells, PageCountTextAndTag) {
    EXPECT_EQ(PageCountText(12), "12");
    EXPECT_EQ(PageCountTag(12), "000000012");
    EXPECT_EQ(PageCountText(0), "Error");
    EXPECT_EQ(PageCountTag(-1), "Error");
    EXPECT_EQ(PageCountTag(2147483647), "2147483647");
}

TEST(ResultRowCells, KindFromLastExtension) {
    EXPECT_EQ(KindOfName("a.tif"), FileKind::Tif);
    EXPECT_EQ(KindOfName("a.TIFF"), FileKind::Tif);
    EXPECT_EQ(KindOfName("a.tif.pdf"), FileKind::Pdf);
    EXPECT_EQ(KindOfName("a.pdfx"), FileKind::Pdf);
    EXPECT_EQ(KindOfName("a.ti"), FileKind::None);
    EXPECT_EQ(KindOfName("tif"), FileKind::None);
}

TEST(TotalsLabel, CheckedKindsOnly) {
    EXPECT_EQ(TotalPagesText(false, true, 99, 7), "Total Pages PDFs = 7");
    EXPECT_EQ(TotalPagesText(true, true, 0, 0), "Total Pages TIFs = 0 PDFs = 0");
    EXPECT_EQ(TotalPagesText(true, false, 5000000000LL, 0), "Total Pages TIFs = 5000000000");
    EXPECT_EQ(TotalPagesText(false, false, 1, 1), "Total Pages");
    EXPECT_EQ(TotalPagesResetText(true, true), "Total Pages TIFs = 000000 PDFs = 000000");
}
