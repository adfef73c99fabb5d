// The one reader of classic cross-reference tables: the table route and
// the stream route read a table alike, and a route that runs after a failed
// one looks up the sections that one read instead of reading them again.
#include "pdfbuilder.h"
#include "routes/structural.h"
#include "testsupport.h"

#include <cstdio>
#include <map>

namespace brastel::test {
namespace {

// A document of `pages` pages written object by object, its table shaped
// by each test: catalog 1, page-tree root 2, pages 3 on.
class HandWritten {
public:
    explicit HandWritten(int pages) {
        bytes_ = "%PDF-1.4\n";
        std::string kids;
        for (int i = 0; i < pages; ++i) kids += std::to_string(3 + i) + " 0 R ";
        Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        Object(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
        for (int i = 0; i < pages; ++i) Object(3 + i, "<< /Type /Page /Parent 2 0 R >>");
    }
    void Object(int num, const std::string& body) {
        at_[num] = bytes_.size();
        bytes_ += std::to_string(num) + " 0 obj\n" + body + "\nendobj\n";
    }
    // "xref" after `lead`, one subsection of every object with entries
    // ending in entryEnd (whose header claims `extra` more than written),
    // the trailer dictionary's text, and a startxref pointing at the lead.
    void Table(const std::string& entryEnd, const std::string& trailerDict, int extra = 0,
               const std::string& lead = "") {
        const std::size_t start = bytes_.size();
        const int n = static_cast<int>(at_.rbegin()->first) + 1;
        bytes_ += lead + "xref\n0 " + std::to_string(n + extra) + "\n";
        for (int num = 0; num < n; ++num) {
            char entry[32];
            if (at_.count(num)) std::snprintf(entry, sizeof entry, "%010zu 00000 n", at_[num]);
            else std::snprintf(entry, sizeof entry, "%010d 65535 f", 0);
            bytes_ += entry + entryEnd;
        }
        bytes_ += "trailer\n" + trailerDict + "\nstartxref\n" + std::to_string(start) + "\n%%EOF\n";
    }
    const std::string& str() const { return bytes_; }

private:
    std::string bytes_;
    std::map<int, std::size_t> at_;
};

class OneTableReader : public ::testing::Test {
protected:
    // The count of one route alone (-1 when it cannot decide).
    std::int32_t CountBy(const std::string& path, std::optional<Route> route) {
        BrastelPeer::SetOnlyRoute(*counter, route);
        const std::int32_t n = counter.Count(path);
        BrastelPeer::SetOnlyRoute(*counter, std::nullopt);
        return n;
    }
    TempDir dir;
    Counter counter;
};

TEST_F(OneTableReader, TableAndStreamRoutesReadEveryTableAlike) {
    // Where the two readers differed, both now read as readers do, and
    // libqpdf gives the same count.
    struct Case {
        const char* what;
        std::string bytes;
    };
    std::vector<Case> cases;
    {  // entries of 19 bytes (a one-byte line end): qpdf, mutool and pdfinfo read them
        HandWritten d(3);
        d.Table("\n", "<< /Size 6 /Root 1 0 R >>");
        cases.push_back({"19-byte entries", d.str()});
    }
    {  // a trailer broken by a stray token after /Root: qpdf and pdfinfo keep what comes before
        HandWritten d(3);
        d.Table("\r\n", "<< /Size 6 /Root 1 0 R junk >>");
        cases.push_back({"broken trailer", d.str()});
    }
    {  // a subsection that claims more entries than it holds
        HandWritten d(3);
        d.Table("\r\n", "<< /Size 6 /Root 1 0 R >>", 2);
        cases.push_back({"count past the entries", d.str()});
    }
    {  // "startxref" pointing at blanks before "xref": pdfinfo and mutool pass them
        HandWritten d(3);
        d.Table("\r\n", "<< /Size 6 /Root 1 0 R >>", 0, "\n\n");
        cases.push_back({"blanks before xref", d.str()});
    }
    {  // 600 sections: one bound of /Prev chains for every route
        PdfBuilder pdf;
        pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
        pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
        pdf.Object(3, "<< /Type /Page /Parent 2 0 R >>");
        pdf.Xref(" /Root 1 0 R");
        for (int i = 1; i < 600; ++i) {
            pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Rotate " + std::to_string(90 * (i % 4)) + " >>");
            pdf.Xref(" /Root 1 0 R", {{3, 1}});
        }
        cases.push_back({"600 sections", pdf.str()});
    }
    for (const Case& c : cases) {
        const std::string path = dir.Write("doc.pdf", c.bytes);
        const std::int32_t pages = c.what == std::string("600 sections") ? 1 : 3;
        EXPECT_EQ(CountBy(path, Route::Table), pages) << c.what;
        EXPECT_EQ(CountBy(path, Route::Stream), pages) << c.what;
        EXPECT_EQ(CountStructural(path).value_or(-1), pages) << c.what;
    }
}

TEST_F(OneTableReader, AHybridSectionsStreamIsReadNotFeared) {
    // A hybrid section whose stream (no /Index) may list any object: the
    // table's objects in use come first, then the stream's entries, then the
    // table's free ones, as qpdf orders them.  The table route no longer
    // leaves such a file to the stream route: the catalog and the tree are
    // in use in the table.
    std::string b = "%PDF-1.5\n";
    std::vector<std::size_t> at{0};
    for (const char* body : {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
                             "<< /Type /Page /Parent 2 0 R >>"}) {
        at.push_back(b.size());
        b += std::to_string(at.size() - 1) + " 0 obj\n" + body + "\nendobj\n";
    }
    at.push_back(b.size());  // object 4: the cross-reference stream, rows of [1 4 2]
    std::string rows;
    for (std::size_t num = 0; num < at.size(); ++num) {
        const auto off = static_cast<std::uint32_t>(at[num]);
        rows += static_cast<char>(num == 0 ? 0 : 1);
        for (int shift : {24, 16, 8, 0}) rows += static_cast<char>((off >> shift) & 0xff);
        rows += std::string(2, '\0');
    }
    b += "4 0 obj\n<< /Type /XRef /Size 5 /W [1 4 2] /Length " + std::to_string(rows.size()) + " >>\nstream\n" +
         rows + "\nendstream\nendobj\n";
    const std::size_t table = b.size();
    b += "xref\n0 5\n0000000000 65535 f\r\n";
    for (int num = 1; num <= 3; ++num) {
        char entry[32];
        std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", at[static_cast<std::size_t>(num)]);
        b += entry;
    }
    b += "0000000000 65535 f\r\ntrailer\n<< /Size 5 /Root 1 0 R /XRefStm " + std::to_string(at[4]) +
         " >>\nstartxref\n" + std::to_string(table) + "\n%%EOF\n";
    const std::string path = dir.Write("hybrid.pdf", b);
    EXPECT_EQ(counter.Count(path), 1);
    EXPECT_TRUE(counter.LastRoute() == Route::Text || counter.LastRoute() == Route::Table)
        << static_cast<int>(counter.LastRoute());
    EXPECT_EQ(CountBy(path, Route::Table), 1);
    EXPECT_EQ(CountStructural(path).value_or(-1), 1);
}

TEST_F(OneTableReader, ObjectsInUseAreCountedByTheirNewestEntries) {
    // A root /Count is trusted when the objects in use could hold that many
    // pages; else the leaves decide (or the claim, when the objects and the
    // kids the walk followed could hold it).  Objects 1-9 are in use until an
    // update frees 4-7, leaving 5 (and 1 leaf): /Count 5 stands, 6 is within
    // the 5 objects and 1 kid, 7 is not.  Both routes count the same objects,
    // whether the count is settled early, over the whole chain, or (with a
    // number listed twice in one section) by sorting every entry.
    for (const bool listedTwice : {false, true}) {
        for (const auto& [claim, pages] : {std::pair{5, 5}, std::pair{6, 6}, std::pair{7, 1}}) {
            PdfBuilder pdf;
            pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
            pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count " + std::to_string(claim) + " >>");
            pdf.Object(3, "<< /Type /Page /Parent 2 0 R >>");
            for (int n = 4; n <= 9; ++n) pdf.Object(n, "null");
            const std::size_t first = pdf.Xref(" /Root 1 0 R");
            std::string update = "xref\r\n4 4\r\n";
            for (int n = 4; n <= 7; ++n) update += "0000000000 00001 f\r\n";
            // Object 9 listed again, in use, in a second subsection.
            if (listedTwice) {
                char entry[32];
                std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", pdf.OffsetOf(9));
                update += "9 1\r\n" + std::string(entry);
            }
            const std::size_t at = pdf.size();
            pdf.Raw(update + "trailer\r\n<< /Size 10 /Root 1 0 R /Prev " + std::to_string(first) +
                    " >>\r\nstartxref\r\n" + std::to_string(at) + "\r\n%%EOF\r\n");
            const std::string path = dir.Write("doc.pdf", pdf.str());
            const std::string what = std::to_string(claim) + (listedTwice ? " listed twice" : "");
            EXPECT_EQ(counter.Count(path), pages) << what;
            EXPECT_EQ(CountBy(path, Route::Stream), pages) << what;
            EXPECT_EQ(CountBy(path, Route::Table), claim == 5 ? 5 : -1) << what;  // no leaves walked there
        }
    }
}

TEST_F(OneTableReader, ARouteAfterAFailedOneReadsNoSectionAgain) {
    // A root /Count larger than the objects in use: the table route reads
    // every entry of the chain to judge it and gives up, and the stream route
    // counts the leaves.  It looks up what the table route read: each
    // section is parsed once, the long table read once.
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 50000 >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R >>");
    constexpr int kObjects = 20000;
    for (int n = 4; n < kObjects; ++n) pdf.Object(n, "null");
    pdf.Xref(" /Root 1 0 R");
    for (int rotate : {90, 180}) {
        pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Rotate " + std::to_string(rotate) + " >>");
        pdf.Xref(" /Root 1 0 R", {{3, 1}});
    }
    const std::string path = dir.Write("doc.pdf", pdf.str());
    std::vector<Route> ran;
    BrastelPeer::SetBeforeRoute(*counter, [&](Route r) { ran.push_back(r); });
    EXPECT_EQ(counter.Count(path), 1);
    EXPECT_EQ(counter.LastRoute(), Route::Stream);
    EXPECT_EQ(ran, (std::vector<Route>{Route::Text, Route::Table, Route::Stream}));
    EXPECT_EQ(BrastelPeer::SectionsParsed(*counter), 3u);
    const std::int64_t table = std::int64_t{20} * kObjects;
    EXPECT_GT(BrastelPeer::BytesRead(*counter), table);
    EXPECT_LT(BrastelPeer::BytesRead(*counter), table + table / 5);
    // Each count reads afresh: the next count parses the sections again.
    EXPECT_EQ(counter.Count(path), 1);
    EXPECT_EQ(BrastelPeer::SectionsParsed(*counter), 3u);
}

TEST_F(OneTableReader, TheTablesAreLetGoBeforeLibqpdfReadsTheFile) {
    // The native routes read the table and cannot decide (the hybrid's
    // stream is at no object); libqpdf then holds the document, and the
    // count holds no table of its own beside it.
    DocOptions o;
    o.pages = 2;
    const std::string bytes = Patch(StandardDocument(o).str(), " /Root 1 0 R", " /Root 1 0 R /XRefStm 0");
    std::map<Route, bool> held;
    BrastelPeer::SetBeforeRoute(*counter, [&](Route r) { held[r] = BrastelPeer::HoldsXref(*counter); });
    EXPECT_EQ(counter.Count(dir.Write("doc.pdf", bytes)), 2);
    EXPECT_TRUE(held[Route::Stream]);  // the table route's, looked up again
    ASSERT_TRUE(held.count(Route::Structural));
    EXPECT_FALSE(held[Route::Structural]);
    EXPECT_GT(BrastelPeer::SectionsParsed(*counter), 0u);
}

TEST_F(OneTableReader, BlanksBeforeXrefLeadNoWhereForLibqpdfWithoutReconstruction) {
    // The table is read past the blank, but its /Prev leads nowhere and the
    // native routes cannot decide.  libqpdf without reconstruction refuses
    // such a table, so it is not asked: the object scan counts the file.
    std::string b = "%PDF-1.4\n";
    std::vector<std::size_t> at{0};
    for (const char* body : {"<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>",
                             "<< /Type /Page /Parent 2 0 R >>", "<< /Type /Page /Parent 2 0 R >>"}) {
        at.push_back(b.size());
        b += std::to_string(at.size() - 1) + " 0 obj\n" + body + "\nendobj\n";
    }
    const std::size_t start = b.size();
    b += "\nxref\n0 2\n0000000000 65535 f\r\n";
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", at[1]);
    b += entry;
    b += "trailer\n<< /Size 5 /Root 1 0 R /Prev 3 >>\nstartxref\n" + std::to_string(start) + "\n%%EOF\n";
    EXPECT_EQ(counter.Count(dir.Write("doc.pdf", b)), 2);
    EXPECT_EQ(counter.LastRoute(), Route::ObjectScan);
    EXPECT_FALSE(BrastelPeer::XrefFound(*counter));
    EXPECT_GT(BrastelPeer::SectionsParsed(*counter), 0u);  // the table was read
}

TEST_F(OneTableReader, AFileCutShortIsNotSearchedBackForItsTable) {
    // The table route looks back a megabyte for the last "startxref", but
    // one before objects is an older revision's, which it never takes: past
    // the first object header it stops.  Padding after the section is still
    // passed over.
    PdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R >>");
    pdf.Xref(" /Root 1 0 R");
    std::string cut = pdf.str();
    for (int n = 4; n < 40000; ++n) cut += std::to_string(n) + " 0 obj\r\nnull\r\nendobj\r\n";
    BrastelPeer::SetOnlyRoute(*counter, Route::Table);
    EXPECT_EQ(counter.Count(dir.Write("cut.pdf", cut)), -1);
    EXPECT_LT(BrastelPeer::BytesRead(*counter), 16 << 10);
    EXPECT_EQ(counter.Count(dir.Write("padded.pdf", pdf.str() + std::string(200000, ' '))), 1);
    BrastelPeer::SetOnlyRoute(*counter, std::nullopt);
}

}  // namespace
}  // namespace brastel::test
