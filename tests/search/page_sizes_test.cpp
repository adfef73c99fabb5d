// Named sizes, A4 equivalents and the totals by size and by folder.
#include <search/page_sizes.h>

#include <gtest/gtest.h>

#include <cmath>

namespace {

using component::PageSizeRun;
using component::PageSizeState;
using namespace search;

constexpr double kPt = 72.0 / 25.4;  // points per millimetre

PageSizeRun Mm(double w, double h, std::int64_t pages = 1) { return {w * kPt, h * kPt, PageSizeState::Known, pages}; }

TEST(SizeName, EveryNamedSizeInBothOrientationsAndAtTheToleranceEdge) {
    for (const NamedSize& n : NamedSizes()) {
        EXPECT_EQ(SizeName(n.shortMm, n.longMm), n.name);
        EXPECT_EQ(SizeName(n.longMm, n.shortMm), n.name);
        // 1.9% off on both sides still names it; 2.5% off on one side does not.
        EXPECT_EQ(SizeName(n.shortMm * 1.019, n.longMm * 0.981), n.name);
        EXPECT_NE(SizeName(n.shortMm * 1.025, n.longMm), n.name);
    }
}

TEST(SizeName, NearestOfTwoCandidatesAndOthersByTheirMillimetres) {
    // Letter and A4 differ by 2.8% and 6%: each page goes to its own.
    EXPECT_EQ(SizeName(215.9, 279.4), "Letter");
    EXPECT_EQ(SizeName(210, 297), "A4");
    EXPECT_EQ(SizeName(612 / kPt, 792 / kPt), "Letter");
    EXPECT_EQ(SizeName(595 / kPt, 842 / kPt), "A4");
    EXPECT_EQ(SizeName(100, 200), "100\u00d7200 mm");
    EXPECT_EQ(SizeName(200.4, 99.6), "200\u00d7100 mm");
    // Larger than A0 (and no ANSI E): over A0; A0 scanned 1% large stays A0.
    EXPECT_EQ(SizeName(1000, 1300), "over A0");
    EXPECT_EQ(SizeName(849, 1200), "A0");
    // Long and thin: no larger than A0 in area, so its millimetres.
    EXPECT_EQ(SizeName(300, 3000), "300\u00d73000 mm");
}

TEST(A4Equivalents, AreaOverA4RoundedUpWithHalfAPercentToSpare) {
    EXPECT_EQ(A4Equivalents(210, 297), 1);
    EXPECT_EQ(A4Equivalents(105, 148), 1);         // smaller pages are still one
    EXPECT_EQ(A4Equivalents(210 * 1.002, 297 * 1.002), 1);  // 0.4% large: one
    EXPECT_EQ(A4Equivalents(210 * 1.01, 297), 2);  // 1% large: two
    EXPECT_EQ(A4Equivalents(297, 420), 2);         // A3
    EXPECT_EQ(A4Equivalents(841, 1189), 16);       // A0
    EXPECT_EQ(A4Equivalents(215.9, 279.4), 1);     // Letter is smaller than A4
    EXPECT_EQ(A4Equivalents(215.9, 355.6), 2);     // Legal is larger
    EXPECT_EQ(A4Equivalents(0, 0), 1);
}

TEST(SummarizeSizes, GroupsByNameCountsUnknownPagesAndArea) {
    const std::vector<PageSizeRun> runs{Mm(210, 297, 10), Mm(297, 420, 2), Mm(297, 210, 2),
                                        {0, 0, PageSizeState::Unknown, 3},
                                        {2480, 3508, PageSizeState::PixelsOnly, 1}};
    const FileSizes f = SummarizeSizes(runs);
    ASSERT_EQ(f.groups.size(), 3u);
    EXPECT_EQ(SizeSummaryText(f), "A4:12,A3:2,unknown size:4");
    EXPECT_EQ(f.unknownPages, 4);
    EXPECT_EQ(f.a4Equivalents, 12 + 4 + 4);
    EXPECT_NEAR(f.areaM2, 12 * 0.06237 + 2 * 0.12474, 1e-6);
    EXPECT_NEAR(f.groups[0].widthMm, 210, 1e-9);
    EXPECT_NEAR(f.groups[0].heightMm, 297, 1e-9);
    EXPECT_EQ(f.groups[2].widthMm, 0);
}

TEST(SummarizeSizes, AbsurdAndBrokenSizesAreUnknown) {
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<PageSizeRun> runs{Mm(16000, 200), Mm(-210, 297), Mm(0, 297),
                                        {inf, 10, PageSizeState::Known, 1}, {std::nan(""), 10, PageSizeState::Known, 1}};
    const FileSizes f = SummarizeSizes(runs);
    EXPECT_EQ(SizeSummaryText(f), "unknown size:5");
    EXPECT_EQ(f.unknownPages, 5);
    EXPECT_EQ(f.areaM2, 0);
}

TEST(FitRunsToCount, CutsRunsPastTheCountAndPadsWithUnknown) {
    std::vector<PageSizeRun> runs{Mm(210, 297, 3), Mm(297, 420, 4)};
    FitRunsToCount(runs, 5);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[1].pages, 2);
    FitRunsToCount(runs, 8);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[2].state, PageSizeState::Unknown);
    EXPECT_EQ(runs[2].pages, 3);
    std::vector<PageSizeRun> none;
    FitRunsToCount(none, 4);
    EXPECT_EQ(SizeSummaryText(SummarizeSizes(none)), "unknown size:4");
}

TEST(AddPageRun, JoinsEqualNeighboursOnly) {
    std::vector<PageSizeRun> runs;
    for (int i = 0; i < 100000; ++i) component::AddPageRun(runs, 595, 842, PageSizeState::Known);
    component::AddPageRun(runs, 842, 595, PageSizeState::Known);
    component::AddPageRun(runs, 595, 842, PageSizeState::Known, 2);
    ASSERT_EQ(runs.size(), 3u);
    EXPECT_EQ(runs[0].pages, 100000);
}

TEST(SizeTotals, AddsFilesPagesA4AndAreaBySize) {
    SizeTotals t;
    t.Add(SummarizeSizes({Mm(210, 297, 10), Mm(841, 1189, 1)}));
    t.Add(SummarizeSizes({Mm(210, 297, 5), {0, 0, PageSizeState::Unknown, 2}}));
    ASSERT_EQ(t.Lines().size(), 3u);
    EXPECT_EQ(t.Lines()[0].name, "A4");
    EXPECT_EQ(t.Lines()[0].files, 2);
    EXPECT_EQ(t.Lines()[0].pages, 15);
    EXPECT_EQ(t.Lines()[1].name, "A0");
    EXPECT_EQ(t.Lines()[1].a4Equivalents, 16);
    EXPECT_EQ(t.a4Equivalents(), 15 + 16 + 2);
    EXPECT_EQ(t.unknownPages(), 2);
}

TEST(FolderOf, DepthBelowTheSearchFolder) {
    const std::vector<std::string> roots{"/data/scans", "/data/scans/deep/"};
    EXPECT_EQ(FolderOf("/data/scans/clientA/2024/x.pdf", roots, 1), "/data/scans/clientA");
    EXPECT_EQ(FolderOf("/data/scans/clientA/2024/x.pdf", roots, 2), "/data/scans/clientA/2024");
    EXPECT_EQ(FolderOf("/data/scans/clientA/2024/x.pdf", roots, 5), "/data/scans/clientA/2024");
    EXPECT_EQ(FolderOf("/data/scans/clientA/2024/x.pdf", roots, 0), "/data/scans");
    EXPECT_EQ(FolderOf("/data/scans/top.pdf", roots, 1), "/data/scans");
    // The deepest search folder that holds the file counts.
    EXPECT_EQ(FolderOf("/data/scans/deep/a/b/x.pdf", roots, 1), "/data/scans/deep/a");
    // A name that only begins like a search folder is not below it.
    EXPECT_EQ(FolderOf("/data/scansX/a/x.pdf", roots, 1), "/data/scansX/a");
    EXPECT_EQ(FolderOf("/a/b/x.pdf", {"/"}, 1), "/a");
    EXPECT_EQ(FolderOf("x.pdf", {}, 1), ".");
}

TEST(FolderTotals, FilesPagesAndA4ByFolder) {
    FolderTotals t({"/s"}, 1);
    const FileSizes a0 = SummarizeSizes({Mm(841, 1189, 2)});
    t.Add("/s/c1/a.pdf", 2, &a0);
    t.Add("/s/c1/sub/b.pdf", 0, nullptr);
    t.Add("/s/c2/c.tif", 3, nullptr);
    ASSERT_EQ(t.Lines().size(), 2u);
    const auto& c1 = t.Lines().at("/s/c1");
    EXPECT_EQ(c1.files, 2);
    EXPECT_EQ(c1.pages, 2);
    EXPECT_EQ(c1.a4Equivalents, 32);
    EXPECT_EQ(t.Lines().at("/s/c2").pages, 3);
}

}  // namespace
