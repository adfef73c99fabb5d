// Page sizes as the counter reads them when asked: boxes inherited through
// the tree, crop boxes clipped to the media box, /UserUnit, /Rotate, object
// streams, and boxes that give no size.
#include "pagebox.h"
#include "pdfbuilder.h"
#include "streambuilder.h"
#include "testsupport.h"

#include <component/page_sizes.h>

#include <gtest/gtest.h>

namespace brastel::test {
namespace {

using component::PageSizeRun;
using component::PageSizeState;

struct Counted {
    std::int32_t pages = 0;
    std::vector<PageSizeRun> runs;
    component::HResult sizesResult = component::E_FAIL;
};

Counted CountWithSizes(const std::string& path, bool want = true) {
    Brastelv1* b = NewBrastelv1();
    component::IPageSizes* sizes = nullptr;
    EXPECT_EQ(b->QueryInterface(component::IID_IPageSizes, reinterpret_cast<void**>(&sizes)), component::S_OK);
    Counted c;
    sizes->WantPageSizes(want);
    component::Text p = path;
    b->PDF_PageCount(p, c.pages);
    c.sizesResult = sizes->LastPageSizes(c.runs);
    sizes->Release();
    b->Release();
    return c;
}

// Pages of the given bodies below one root node with rootEntries.
std::string Document(const std::vector<std::string>& pages, const std::string& rootEntries = "") {
    PdfBuilder b("\n");
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (std::size_t i = 0; i < pages.size(); ++i) kids += std::to_string(i + 3) + " 0 R ";
    b.Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages.size()) + " " + rootEntries +
                    " >>");
    for (std::size_t i = 0; i < pages.size(); ++i)
        b.Object(static_cast<int>(i + 3), "<< /Type /Page /Parent 2 0 R " + pages[i] + " >>");
    b.Xref("/Size " + std::to_string(pages.size() + 3) + " /Root 1 0 R");
    return b.str();
}

std::vector<PageSizeRun> Pages(const std::vector<PageSizeRun>& runs) {
    std::vector<PageSizeRun> one;
    for (const auto& r : runs)
        for (std::int64_t i = 0; i < r.pages; ++i) one.push_back({r.width, r.height, r.state, 1});
    return one;
}

void ExpectSize(const PageSizeRun& r, double w, double h) {
    EXPECT_EQ(r.state, PageSizeState::Known);
    EXPECT_NEAR(r.width, w, 0.01);
    EXPECT_NEAR(r.height, h, 0.01);
}

TEST(PageSizes, EveryNamedSizeUprightAndTurned) {
    // Millimetres of the standard sizes, in points.
    const double sizes[][2] = {{841, 1189}, {594, 841}, {420, 594}, {297, 420}, {210, 297}, {148, 210}, {105, 148},
                               {250, 353},  {176, 250}, {215.9, 279.4}, {215.9, 355.6}, {279.4, 431.8},
                               {431.8, 558.8}, {558.8, 863.6}, {863.6, 1117.6}};
    std::vector<std::string> pages;
    for (const auto& s : sizes) {
        const double w = s[0] / 25.4 * 72, h = s[1] / 25.4 * 72;
        pages.push_back("/MediaBox [0 0 " + std::to_string(w) + " " + std::to_string(h) + "]");
        pages.push_back("/MediaBox [0 0 " + std::to_string(h) + " " + std::to_string(w) + "]");
    }
    TempDir dir;
    const Counted c = CountWithSizes(dir.Write("named.pdf", Document(pages)));
    ASSERT_EQ(c.pages, 30);
    const auto one = Pages(c.runs);
    ASSERT_EQ(one.size(), 30u);
    for (std::size_t i = 0; i < 15; ++i) {
        const double w = sizes[i][0] / 25.4 * 72, h = sizes[i][1] / 25.4 * 72;
        ExpectSize(one[2 * i], w, h);
        ExpectSize(one[2 * i + 1], h, w);
    }
}

TEST(PageSizes, InheritedCropBoxesUserUnitAndRotation) {
    // Root: A4 media box, /Rotate 90 handed down; node 4: its own media
    // box; pages: crop box, clipped crop box, /UserUnit, own /Rotate 0,
    // /Rotate 270 and -90.
    PdfBuilder b("\n");
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 9 0 R] /Count 6 /MediaBox [0 0 595 842] /Rotate 90 >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R /Rotate 0 >>");
    b.Object(4, "<< /Type /Pages /Parent 2 0 R /Kids [5 0 R 6 0 R 7 0 R 8 0 R] /Count 4 /MediaBox [0 0 1000 500]"
                " /CropBox [100 100 400 300] >>");
    b.Object(5, "<< /Type /Page /Parent 4 0 R /Rotate 0 >>");
    b.Object(6, "<< /Type /Page /Parent 4 0 R /CropBox [900 -50 1200 450] /Rotate 0 >>");
    b.Object(7, "<< /Type /Page /Parent 4 0 R /UserUnit 2.5 /Rotate 0 /CropBox [0 0 1000 500] >>");
    b.Object(8, "<< /Type /Page /Parent 4 0 R /Rotate -90 /CropBox [10 10 20 40] >>");
    b.Object(9, "<< /Type /Page /Parent 2 0 R /Rotate 450 /MediaBox [0.5 0 100.25 50] >>");
    b.Xref("/Size 10 /Root 1 0 R");
    TempDir dir;
    const Counted c = CountWithSizes(dir.Write("inherit.pdf", b.str()));
    ASSERT_EQ(c.pages, 6);
    const auto one = Pages(c.runs);
    ASSERT_EQ(one.size(), 6u);
    ExpectSize(one[0], 595, 842);
    ExpectSize(one[1], 300, 200);     // the node's crop box
    ExpectSize(one[2], 100, 450);     // crop box clipped to the media box
    ExpectSize(one[3], 2500, 1250);   // /UserUnit 2.5
    ExpectSize(one[4], 30, 10);       // -90: turned
    ExpectSize(one[5], 50, 99.75);    // 450 is 90
}

TEST(PageSizes, BadBoxesGiveUnknownSizeAndTheCountStands) {
    const std::vector<std::string> pages{
        "/MediaBox [0 0 612]",              // three numbers
        "/MediaBox [0 0 612 792 5]",        // five
        "/MediaBox [0 0 0 792]",            // no width
        "/MediaBox [0 0 612 (792)]",        // a string
        "/MediaBox (0 0 612 792)",          // no array
        "/MediaBox [0 0 1e9 792]",          // not a PDF number
        "/MediaBox [0 0 50000 792]",        // over 15 m
        "/MediaBox 99 0 R",                 // a reference to no object
        "/MediaBox [612 792 0 0]",          // corners the other way round: a box
        "",                                 // none anywhere
        "/MediaBox [0 0 612 792] /CropBox [700 0 800 10]",  // crop box outside: the media box
    };
    TempDir dir;
    const Counted c = CountWithSizes(dir.Write("bad.pdf", Document(pages)));
    ASSERT_EQ(c.pages, 11);
    const auto one = Pages(c.runs);
    ASSERT_EQ(one.size(), 11u);
    for (std::size_t i = 0; i < 8; ++i) EXPECT_EQ(one[i].state, PageSizeState::Unknown) << i;
    ExpectSize(one[8], 612, 792);
    EXPECT_EQ(one[9].state, PageSizeState::Unknown);
    ExpectSize(one[10], 612, 792);
}

TEST(PageSizes, PagesInObjectStreamsBehindACrossReferenceStream) {
    StreamPdfBuilder b;
    b.ObjectStream(10, {{1, "<< /Type /Catalog /Pages 2 0 R >>"},
                        {2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 842 1191] >>"},
                        {3, "<< /Type /Page /Parent 2 0 R >>"},
                        {4, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 1008] >>"}});
    b.XrefStream(11, "/Root 1 0 R");
    TempDir dir;
    const Counted c = CountWithSizes(dir.Write("objstm.pdf", b.str()));
    ASSERT_EQ(c.pages, 2);
    const auto one = Pages(c.runs);
    ASSERT_EQ(one.size(), 2u);
    ExpectSize(one[0], 842, 1191);
    ExpectSize(one[1], 612, 1008);
}

TEST(PageSizes, ReadOnlyWhenAskedAndHeldAsRuns) {
    std::vector<std::string> pages(5000, "");
    pages[4000] = "/MediaBox [0 0 842 595]";
    TempDir dir;
    const std::string path = dir.Write("many.pdf", Document(pages, "/MediaBox [0 0 595 842]"));
    const Counted no = CountWithSizes(path, false);
    EXPECT_EQ(no.pages, 5000);
    EXPECT_EQ(no.sizesResult, component::S_FALSE);
    EXPECT_TRUE(no.runs.empty());
    const Counted yes = CountWithSizes(path);
    EXPECT_EQ(yes.pages, 5000);
    ASSERT_EQ(yes.runs.size(), 3u);
    EXPECT_EQ(yes.runs[0].pages, 4000);
    EXPECT_EQ(yes.runs[1].pages, 1);
    EXPECT_EQ(yes.runs[2].pages, 999);
}

TEST(PageSizes, ATreeThatLoopsEndsTheWalkWithoutAHang) {
    PdfBuilder b("\n");
    b.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 /MediaBox [0 0 595 842] >>");
    b.Object(3, "<< /Type /Page /Parent 2 0 R >>");
    b.Object(4, "<< /Type /Pages /Parent 2 0 R /Kids [2 0 R] /Count 1 >>");
    b.Xref("/Size 5 /Root 1 0 R");
    TempDir dir;
    const Counted c = CountWithSizes(dir.Write("loop.pdf", b.str()));
    // Whatever the count, no more sizes than pages, and no hang.
    std::int64_t sized = 0;
    for (const auto& r : c.runs) sized += r.pages;
    EXPECT_LE(sized, std::max(c.pages, 0));
}

TEST(PageBox, NumbersAndRectanglesAsReadersTakeThem) {
    using namespace pdf;
    auto box = [](const std::string& text) {
        Lexer lex(text);
        return ReadBox(ReadValue(lex));
    };
    EXPECT_EQ(box("[0 0 612 792]").state, BoxEntry::State::Ok);
    EXPECT_EQ(box("[+.5 -0. 612. 792.25]").box.height(), 792.25);
    EXPECT_EQ(box("[612 792 0 0]").box.width(), 612);
    EXPECT_EQ(box("null").state, BoxEntry::State::Absent);
    EXPECT_EQ(box("[0 0 612 792").state, BoxEntry::State::Bad);
    EXPECT_EQ(box("[0 0 0 0]").state, BoxEntry::State::Bad);
    PageGeometry g;
    EXPECT_FALSE(ShownSize(g));
    g.media = box("[0 0 100 200]");
    g.userUnit = -3;  // no unit: 1
    g.rotate = 180;
    const auto s = ShownSize(g);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->first, 100);
    EXPECT_EQ(s->second, 200);
}

}  // namespace
}  // namespace brastel::test
