// Page-tree nodes too large to read whole: a /Count is read without the
// kids, and counting leaves reads the kids from the file one at a time.
#include "io/filereader.h"
#include "syntax/indirect.h"
#include "heappeak.h"
#include "pdfbuilder.h"
#include "streambuilder.h"
#include "testsupport.h"

#include <fcntl.h>
#include <unistd.h>

#include <set>

namespace brastel::test {
namespace {

// Catalog 1, root 2 whose /Kids names pages 3 .. pages+2 (with /Count
// when withCount), after firstKid.
std::string WideTree(int pages, bool withCount, const std::string& firstKid = "") {
    PdfBuilder pdf("\n");
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    kids.reserve(static_cast<std::size_t>(pages) * 12);
    kids += firstKid;
    for (int i = 0; i < pages; ++i) (kids += std::to_string(3 + i)) += " 0 R ";
    pdf.Object(2, "<< /Type /Pages /Kids [" + kids + "]" + (withCount ? " /Count " + std::to_string(pages) : "") +
                      " /Resources << /ProcSet [/PDF] >> >>");
    for (int i = 0; i < pages; ++i) pdf.Object(3 + i, "<</Type/Page>>");
    pdf.Xref(" /Root 1 0 R");
    return pdf.str();
}

class WideTrees : public ::testing::Test {
protected:
    void SetUp() override { BrastelPeer::SetBeforeRoute(*counter, [this](Route r) { ran.insert(r); }); }
    std::int32_t Count(const std::string& bytes) {
        ran.clear();
        return counter.Count(dir.Write("wide.pdf", bytes));
    }
    TempDir dir;
    Counter counter;
    std::set<Route> ran;
};

TEST_F(WideTrees, AMillionKidsAreCountedNativelyWithOrWithoutCount) {
    for (const bool withCount : {true, false}) {
        EXPECT_EQ(Count(WideTree(1000000, withCount)), 1000000) << withCount;
        EXPECT_EQ(counter.LastRoute(), Route::Stream) << withCount;
        EXPECT_FALSE(ran.count(Route::Structural)) << withCount;
    }
}

TEST_F(WideTrees, LeavesOfAMillionKidsAreCountedWithoutHoldingTheKids) {
    // What is held is the cross-reference (7 MB of stream entries; a
    // classic table stays in the file) and windows of the file: the kids are
    // read one at a time, where held as references they would take 16 MB,
    // and the objects in use are counted where the cross-reference lists
    // them.  The text route's search for /Count past the 12 MB array gives
    // up early rather than gather it (it held 25 MB doing so).
    struct Case {
        const char* name;
        std::string bytes;
        std::size_t bound;
    };
    const Case cases[] = {{"stream", WideTreeDocument(1000000, false), std::size_t{12} << 20},
                          {"table", WideTree(1000000, false), std::size_t{6} << 20}};
    for (const Case& c : cases) {
        const std::string path = dir.Write("wide.pdf", c.bytes);
        const HeapPeak heap;
        EXPECT_EQ(counter.Count(path), 1000000) << c.name;
        EXPECT_EQ(counter.LastRoute(), Route::Stream) << c.name;
        EXPECT_LT(heap.bytes(), c.bound) << c.name;
    }
}

// A chain of `depth` page-tree nodes, each naming the next node first and
// then `refs` references to one page; the root's /Count is the truth.
std::string DeepWideTree(int depth, int refs) {
    const int page = depth + 2;
    PdfBuilder pdf("\n");
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string same;
    for (int i = 0; i < refs; ++i) (same += std::to_string(page)) += " 0 R ";
    for (int level = 0; level < depth; ++level) {
        const int node = 2 + level;
        const std::string next = level + 1 < depth ? std::to_string(node + 1) + " 0 R " : "";
        const std::int64_t below = static_cast<std::int64_t>(depth - level) * refs;
        pdf.Object(node, "<< /Type /Pages /Kids [" + next + same + "] /Count " + std::to_string(below) + " >>");
    }
    pdf.Object(page, "<</Type/Page>>");
    pdf.Xref(" /Root 1 0 R");
    return pdf.str();
}

TEST_F(WideTrees, ADeepTreeOfWideNodesHoldsLittleForEachLevel) {
    // A walk down the chain holds each unfinished node's kids, and no more:
    // not the read that found a node (a 256 KB window for a 66 KB node), and
    // for a node too long to hold, not its window of the file (256 KB) while
    // the walk is below it.
    struct Case {
        const char* name;
        int depth, refs;
        std::size_t bound;
    };
    for (const Case& c : {Case{"66 KB nodes, held", 100, 9400, std::size_t{10} << 20},
                          Case{"280 KB nodes, read from the file", 40, 40000, std::size_t{4} << 20}}) {
        const std::string path = dir.Write("deep.pdf", DeepWideTree(c.depth, c.refs));
        BrastelPeer::SetOnlyRoute(*counter, Route::Stream);
        const HeapPeak heap;
        EXPECT_EQ(counter.Count(path), c.depth * c.refs) << c.name;
        EXPECT_LT(heap.bytes(), c.bound) << c.name;
    }
}

TEST_F(WideTrees, CrossReferenceStreamsAreHeldAsTheirEntriesAlone) {
    // A million entries of 7 bytes: the stream's raw data, or its rows
    // with their PNG tag bytes, are never held besides them.
    constexpr std::size_t kEntries = std::size_t{7} * 1000004;
    struct Case {
        const char* name;
        bool compress;
        int predictor;
    };
    for (const Case& c : {Case{"no filter", false, 0}, Case{"Flate", true, 0}, Case{"PNG Up", true, 12},
                          Case{"TIFF", true, 2}}) {
        StreamPdfBuilder::XrefOptions xref;
        xref.compress = c.compress;
        xref.predictor = c.predictor;
        const std::string path = dir.Write("wide.pdf", WideTreeDocument(1000000, true, xref));
        const HeapPeak heap;
        EXPECT_EQ(counter.Count(path), 1000000) << c.name;
        EXPECT_EQ(counter.LastRoute(), Route::Stream) << c.name;
        EXPECT_LT(heap.bytes(), kEntries + (std::size_t{512} << 10)) << c.name;
    }
}

TEST_F(WideTrees, KidsThatAreNotAllReferencesAreLeftToLibqpdf) {
    // A direct page before a long array of references: the array is too
    // long to keep and is no list of references; libqpdf decides, and
    // counts the direct page too.
    EXPECT_EQ(Count(WideTree(200000, false, "<</Type/Page>> ")), 200001);
    EXPECT_NE(counter.LastRoute(), Route::Stream);
    EXPECT_TRUE(ran.count(Route::Stream));
}

TEST(LargeObjects, ReferencesAreReadAcrossEveryWindowBoundary) {
    // Varied gaps (comments, line ends, long runs of blanks) put tokens
    // across the reader's window boundaries at many places.
    TempDir dir;
    std::string kids;
    std::vector<std::pair<std::int64_t, std::int64_t>> expected;
    for (int i = 0; i < 120000; ++i) {
        expected.push_back({1000 + i * 7, i % 3});
        kids += std::to_string(1000 + i * 7) + " " + std::to_string(i % 3) + " R";
        kids += i % 97 == 0 ? std::string(3000 + i % 500, ' ') : i % 89 == 0 ? "%note\n" : i % 2 ? "\r\n" : " ";
    }
    const std::string object = "7 0 obj\n<< /Type /Pages /Kids [" + kids + "] /Count (x) >>\nendobj\n";
    const std::string path = dir.Write("o.pdf", "%PDF-1.4\n" + object);
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    FileReader file(fd, static_cast<std::int64_t>(9 + object.size()));
    const auto large = pdf::ReadLargeIndirect(file, 9, 7);
    ASSERT_TRUE(large);
    ASSERT_EQ(large->arrays.size(), 1u);
    const auto dict = pdf::Dict::At(large->object.text, large->object.body);
    ASSERT_TRUE(dict && dict->complete());
    EXPECT_EQ(dict->Get("/Count").text, "(x)") << "what follows the array is kept";
    const auto k = large->ArrayOf(dict->Get("/Kids"));
    ASSERT_TRUE(k);
    std::vector<std::pair<std::int64_t, std::int64_t>> got;
    EXPECT_TRUE(pdf::ForEachReference(file, large->arrays[*k], [&](std::int64_t n, std::int64_t g) {
        got.push_back({n, g});
        return true;
    }));
    EXPECT_EQ(got, expected);
    // An object that is small after all is no large object.
    EXPECT_FALSE(pdf::ReadLargeIndirect(file, 9, 8)) << "another object number";
    ::close(fd);
}

}  // namespace
}  // namespace brastel::test
