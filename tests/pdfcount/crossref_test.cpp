// The cross-reference walk: positions within a subsection, across
// subsections, back through "/Prev" sections, and its bounds.
#include "pdfbuilder.h"
#include "testsupport.h"

namespace brastel::test {
namespace {

using component::S_OK;
using component::Text;

class CrossRef : public ::testing::Test {
protected:
    void OpenWith(const std::string& bytes) {
        ASSERT_TRUE(BrastelPeer::Open(*counter, dir.Write("x.pdf", bytes)));
    }
    void TearDown() override { BrastelPeer::Close(*counter); }

    component::HResult Walk(std::int32_t k, std::size_t xref, std::int32_t& pos) {
        std::int32_t start = static_cast<std::int32_t>(xref);
        return counter->GetCrossRef(k, start, pos);
    }
    // The first number after the first line end of a window read at p.
    std::int32_t EntryAt(std::int32_t p) {
        Text buffer(256, ' '), blank = " ", le = BrastelPeer::LineEnd(*counter);
        EXPECT_EQ(BrastelPeer::ReadAt(*counter, p, buffer), S_OK);
        std::int16_t mode = 0;
        std::int32_t w = 0, n = -1;
        EXPECT_EQ(BrastelPeer::ExtractNumber(*counter, buffer, le, blank, mode, w, n), S_OK);
        return n;
    }
    static PdfBuilder Objects(const std::string& eol, std::initializer_list<int> numbers) {
        PdfBuilder pdf(eol);
        for (int n : numbers) pdf.Object(n, "<< /N " + std::to_string(n) + " >>");
        return pdf;
    }

    TempDir dir;
    Counter counter;
};

TEST_F(CrossRef, FirstSubsectionPositions) {
    PdfBuilder pdf = Objects("\r\n", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21,
                                      22, 23, 24});
    const std::size_t x = pdf.Xref(" /Root 1 0 R");
    OpenWith(pdf.str());
    std::int32_t pos = 0;
    ASSERT_EQ(Walk(3, x, pos), S_OK);
    EXPECT_EQ(pos, static_cast<std::int32_t>(x) + 68);
    EXPECT_EQ(EntryAt(pos), static_cast<std::int32_t>(pdf.OffsetOf(3)));
    EXPECT_EQ(BrastelPeer::FirstObject(*counter), 0);
    EXPECT_EQ(BrastelPeer::LineEnd(*counter), "\r\n");
    // Object 0: the position lies on the header line; after its line end
    // comes entry 0's offset field, ten zeros.
    ASSERT_EQ(Walk(0, x, pos), S_OK);
    EXPECT_EQ(EntryAt(pos), 0);
    ASSERT_EQ(Walk(24, x, pos), S_OK);
    EXPECT_EQ(EntryAt(pos), static_cast<std::int32_t>(pdf.OffsetOf(24)));
}

TEST_F(CrossRef, LaterSubsectionWithCrLfIsExact) {
    PdfBuilder pdf = Objects("\r\n", {1, 2, 10, 11, 12, 13});
    const std::size_t x = pdf.Xref(" /Root 1 0 R", {{0, 3}, {10, 4}});
    OpenWith(pdf.str());
    std::int32_t pos = 0;
    ASSERT_EQ(Walk(12, x, pos), S_OK);
    EXPECT_EQ(EntryAt(pos), static_cast<std::int32_t>(pdf.OffsetOf(12)));
    EXPECT_EQ(BrastelPeer::FirstObject(*counter), 10);
}

TEST_F(CrossRef, LaterSubsectionWithOneByteLineEndsLandsOneEntryOn) {
    // The walk counts two bytes after each header line; with LF there is
    // one, so a later subsection is reached one entry too far.  The count
    // never trusts such a position: the object found there is checked.
    PdfBuilder pdf = Objects("\n", {1, 2, 10, 11, 12, 13});
    const std::size_t x = pdf.Xref(" /Root 1 0 R", {{0, 3}, {10, 4}});
    OpenWith(pdf.str());
    std::int32_t pos = 0;
    ASSERT_EQ(Walk(12, x, pos), S_OK);
    EXPECT_EQ(EntryAt(pos), static_cast<std::int32_t>(pdf.OffsetOf(13)));
}

TEST_F(CrossRef, EmptySubsectionStartCountsAsFound) {
    PdfBuilder pdf = Objects("\r\n", {1, 2});
    const std::size_t x = pdf.Xref(" /Root 1 0 R", {{5, 0}, {0, 3}});
    OpenWith(pdf.str());
    std::int32_t pos = 0;
    EXPECT_EQ(Walk(5, x, pos), S_OK);
}

TEST_F(CrossRef, FollowsPrevPastTrailerAndGaps) {
    PdfBuilder pdf = Objects("\r\n", {1, 2, 3, 4, 5, 6});
    pdf.Xref(" /Root 1 0 R");
    pdf.Object(4, "<< /N 40 >>");
    pdf.Object(5, "<< /N 50 >>");
    const std::size_t x2 = pdf.Xref(" /Root 1 0 R", {{4, 2}});
    OpenWith(pdf.str());
    std::int32_t pos = 0;
    // Beyond the newest subsection: its header window meets "trailer".
    ASSERT_EQ(Walk(6, x2, pos), S_OK);
    EXPECT_EQ(EntryAt(pos), static_cast<std::int32_t>(pdf.OffsetOf(6)));
    // Before the newest section's first subsection.
    ASSERT_EQ(Walk(2, x2, pos), S_OK);
    EXPECT_EQ(EntryAt(pos), static_cast<std::int32_t>(pdf.OffsetOf(2)));
    // The newest version of an updated object.
    ASSERT_EQ(Walk(5, x2, pos), S_OK);
    EXPECT_EQ(EntryAt(pos), static_cast<std::int32_t>(pdf.OffsetOf(5)));
}

TEST_F(CrossRef, GapBetweenSubsectionsFollowsPrev) {
    PdfBuilder pdf = Objects("\r\n", {1, 2, 3, 4, 5});
    pdf.Xref(" /Root 1 0 R");
    pdf.Object(1, "<< /N 10 >>");
    pdf.Object(5, "<< /N 50 >>");
    const std::size_t x2 = pdf.Xref(" /Root 1 0 R", {{1, 1}, {5, 1}});
    OpenWith(pdf.str());
    std::int32_t pos = 0;
    ASSERT_EQ(Walk(3, x2, pos), S_OK);
    EXPECT_EQ(EntryAt(pos), static_cast<std::int32_t>(pdf.OffsetOf(3)));
}

TEST_F(CrossRef, PrevCycleEndsWithFailure) {
    // Section A names B as its predecessor and B names A: an object in
    // neither must not keep the walk running.
    PdfBuilder pdf = Objects("\r\n", {1, 2, 3});
    pdf.Xref(" /Root 1 0 R /Prev 0000000000");
    pdf.Object(2, "<< /N 20 >>");
    const std::size_t x2 = pdf.Xref(" /Root 1 0 R", {{2, 1}});
    std::string bytes = pdf.str();
    const auto placeholder = bytes.find("/Prev 0000000000");
    char patched[16];
    std::snprintf(patched, sizeof patched, "%010zu", x2);
    bytes.replace(placeholder + 6, 10, patched);
    OpenWith(bytes);
    std::int32_t pos = 0;
    EXPECT_LT(Walk(9, x2, pos), 0);
    EXPECT_LT(Walk(7, x2, pos), 0);
}

TEST_F(CrossRef, ArithmeticOverflowFails) {
    PdfBuilder pdf = Objects("\r\n", {1});
    pdf.Xref(" /Root 1 0 R");
    OpenWith(pdf.str());
    std::int32_t pos = 0;
    EXPECT_LT(Walk(1, static_cast<std::size_t>(INT32_MAX - 2), pos), 0);
    EXPECT_LT(Walk(INT32_MAX, pdf.str().find("xref"), pos), 0);
}

}  // namespace
}  // namespace brastel::test
