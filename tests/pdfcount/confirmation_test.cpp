// Files that are valid PDF but lead the text route's plain-text search to
// the wrong object or value; every reader (qpdf, pdfinfo, mutool) counts
// them right, and so must the counter.  Grouped by the check that refuses
// the text route's answer; each group ends with the correct twin, which
// keeps the text route's fast answer.
#include "pdfbuilder.h"
#include "testsupport.h"

#include <cstdio>

namespace brastel::test {
namespace {

class Confirmation : public ::testing::Test {
protected:
    std::int32_t Count(const std::string& bytes, const std::string& seed = "") {
        KeepAsSeed(seed, bytes);
        return counter.Count(dir.Write("doc.pdf", bytes));
    }
    Route LastRoute() const { return counter.LastRoute(); }
    TempDir dir;
    Counter counter;
};

// Catalog 1 -> tree root 2 with two pages (3, 4); orphans written before the
// table: catalog 5 -> tree root 6 with /Count 9 over nine orphan pages, so
// that a wrong turn anywhere gives 9 and a plausible file.
PdfBuilder WithOrphans(const std::string& catalogExtra, const std::string& rootBody) {
    PdfBuilder pdf("\r\n");
    pdf.Object(1, "<< /Type /Catalog" + catalogExtra + "\r\n/Pages 2 0 R\r\n>>");
    pdf.Object(2, rootBody);
    pdf.Object(3, PageBody("\r\n"));
    pdf.Object(4, PageBody("\r\n"));
    pdf.Object(5, "<< /Type /Catalog\r\n/Pages 6 0 R\r\n>>");
    std::string kids;
    for (int i = 0; i < 9; ++i) kids += std::to_string(10 + i) + " 0 R ";
    pdf.Object(6, "<< /Type /Pages /Kids [" + kids + "]\r\n/Count 9\r\n>>");
    for (int i = 0; i < 9; ++i) pdf.Object(10 + i, "<< /Type /Page /Parent 6 0 R >>");
    return pdf;
}

const std::string kRoot = "<< /Type /Pages /Kids [3 0 R 4 0 R]\r\n/Count 2\r\n>>";

// ---- a key counts only at the top level of its own dictionary ------------

TEST_F(Confirmation, CountHiddenInsideThePagesObject) {
    const std::pair<const char*, std::string> hidden[] = {
        {"string", "<< /Type /Pages /T (x\r\n/Count 9\r\n) /Kids [3 0 R 4 0 R]\r\n/Count 2\r\n>>"},
        {"comment", "<< /Type /Pages % /Count 9\r\n/Kids [3 0 R 4 0 R]\r\n/Count 2\r\n>>"},
        {"nested", "<< /Type /Pages /X << /Count 9\r\n>> /Kids [3 0 R 4 0 R]\r\n/Count 2\r\n>>"},
        {"array", "<< /Type /Pages /X [ /Count 9\r\n] /Kids [3 0 R 4 0 R]\r\n/Count 2\r\n>>"},
    };
    for (const auto& [where, root] : hidden) {
        PdfBuilder pdf = WithOrphans("", root);
        pdf.Xref(" /Root 1 0 R");
        EXPECT_EQ(Count(pdf.str(), std::string("confirm-count-in-") + where), 2) << where;
        EXPECT_EQ(LastRoute(), Route::Table) << where;
    }
}

TEST_F(Confirmation, PagesHiddenInsideTheCatalog) {
    for (const std::string extra : {" /T (\r\n/Pages 6 0 R\r\n)", " /X << /Pages 6 0 R >>"}) {
        PdfBuilder pdf = WithOrphans(extra, kRoot);
        pdf.Xref(" /Root 1 0 R");
        EXPECT_EQ(Count(pdf.str(), "confirm-pages-in-catalog-string"), 2) << extra;
        EXPECT_EQ(LastRoute(), Route::Table) << extra;
    }
}

TEST_F(Confirmation, RootHiddenInOrAroundTheTrailer) {
    {  // in a string and in a nested dictionary of the trailer
        for (const std::string entries : {" /T (/Root 5 0 R) /Root 1 0 R", " /X << /Root 5 0 R >> /Root 1 0 R"}) {
            PdfBuilder pdf = WithOrphans("", kRoot);
            pdf.Xref(entries);
            EXPECT_EQ(Count(pdf.str()), 2) << entries;
            EXPECT_EQ(LastRoute(), Route::Table) << entries;
        }
    }
    {  // "trailer" in a comment after the real trailer
        PdfBuilder pdf = WithOrphans("", kRoot);
        pdf.Xref(" /Root 1 0 R");
        const std::string bytes = Patch(pdf.str(), ">>\r\nstartxref", ">>\r\n% trailer << /Root 5 0 R >>\r\nstartxref");
        EXPECT_EQ(Count(bytes, "confirm-trailer-in-comment"), 2);
        EXPECT_EQ(LastRoute(), Route::Table);
    }
    {  // trailer-like text after %%EOF
        PdfBuilder pdf = WithOrphans("", kRoot);
        pdf.Xref(" /Root 1 0 R");
        EXPECT_EQ(Count(pdf.str() + "trailer\r\n<< /Root 5 0 R >>\r\n", "confirm-trailer-after-eof"), 2);
        EXPECT_EQ(LastRoute(), Route::Table);
    }
    {  // the twin: nothing hidden, the text route answers
        PdfBuilder pdf = WithOrphans(" /T (a string)", kRoot);
        pdf.Xref(" /Info << /Title (x) >> /Root 1 0 R");
        EXPECT_EQ(Count(pdf.str()), 2);
        EXPECT_EQ(LastRoute(), Route::Text);
    }
}

// ---- the newest revision of every object ----------------------------------

// A two-page document updated to three pages: the update rewrites the tree
// root and adds page 5, with its subsections written out of order.
std::string UpdateOutOfOrder(PdfBuilder pdf) {
    pdf.Object(5, PageBody("\r\n"));
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R]\r\n/Count 3\r\n>>");
    pdf.Xref(" /Root 1 0 R", {{0, 1}, {5, 1}, {2, 1}});
    return pdf.str();
}

TEST_F(Confirmation, SubsectionsOutOfOrderInAnUpdate) {
    DocOptions o;
    o.pages = 2;
    EXPECT_EQ(Count(UpdateOutOfOrder(StandardDocument(o)), "confirm-subsections-out-of-order"), 3);
    EXPECT_EQ(LastRoute(), Route::Table);
    // The twin, in ascending order: the text route finds the new root.
    PdfBuilder pdf = StandardDocument(o);
    pdf.Object(5, PageBody("\r\n"));
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R]\r\n/Count 3\r\n>>");
    pdf.Xref(" /Root 1 0 R", {{0, 1}, {2, 1}, {5, 1}});
    EXPECT_EQ(Count(pdf.str()), 3);
    EXPECT_EQ(LastRoute(), Route::Text);
}

TEST_F(Confirmation, SubsectionsOutOfOrderInAnUpdatedLinearizedFile) {
    const std::string base = Linearized(2, "\r\n");
    PdfBuilder pdf("\r\n", "");
    pdf.Raw(base);
    // Page 5 comes first after the linearized part: the climb starts there.
    pdf.Object(5, PageBody("\r\n"));
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R]\r\n/Count 3\r\n>>");
    pdf.Xref(" /Root 1 0 R /Prev " + std::to_string(LastStartxref(base)), {{0, 1}, {5, 1}, {2, 1}});
    EXPECT_EQ(Count(pdf.str(), "confirm-linearized-update-out-of-order"), 3);
    EXPECT_EQ(LastRoute(), Route::Table);
}

TEST_F(Confirmation, PrevSearchThatRunsIntoAFakeTableInAStream) {
    // The update points the catalog at a new tree root 6; its table lists
    // 6 after 7, so the position walk leaves for the older section, finds no
    // /Prev in its trailer and searches on, into a stream whose data holds a
    // "/Prev" to a table and an object 6 of its own.
    DocOptions o;
    o.pages = 2;
    PdfBuilder pdf = StandardDocument(o);
    const std::size_t streamAt = pdf.size();
    const std::string head = "7 0 obj\r\n<< /Length ";
    const std::size_t dataAt = streamAt + head.size() + 5 + 13;  // "NNNNN >>\r\nstream\r\n"
    const std::string fake = "6 0 obj\r\n<< /Type /Pages /Kids [3 0 R 4 0 R]\r\n/Count 9\r\n>>\r\nendobj\r\n";
    const std::size_t fakeXref = dataAt + fake.size();
    char entries[64];
    std::snprintf(entries, sizeof entries, "0000000000 65535 f\r\n%010zu 00000 n\r\n", dataAt);
    const std::string data = fake + "xref\r\n5 2\r\n" + entries + "trailer\r\n<< /Size 7 >>\r\n/Prev " +
                             std::to_string(fakeXref) + " \r\n";
    char length[8];
    std::snprintf(length, sizeof length, "%05zu", data.size());
    pdf.Raw(head + length + " >>\r\nstream\r\n" + data + "endstream\r\nendobj\r\n");
    pdf.Object(6, "<< /Type /Pages /Kids [3 0 R 4 0 R]\r\n/Count 2\r\n>>");
    pdf.Object(1, "<< /Type /Catalog\r\n/Pages 6 0 R\r\n>>");
    pdf.Xref(" /Root 1 0 R", {{0, 1}, {1, 1}, {7, 1}, {6, 1}});
    std::string bytes = pdf.str();
    // Object 7 was written by hand: give its entry the offset.
    char entry7[16];
    std::snprintf(entry7, sizeof entry7, "%010zu", streamAt);
    bytes = Patch(bytes, "7 1\r\n0000000000 65535 f", std::string("7 1\r\n") + entry7 + " 00000 n");
    EXPECT_EQ(Count(bytes, "confirm-prev-into-stream-table"), 2);
    EXPECT_EQ(LastRoute(), Route::Table);
}

TEST_F(Confirmation, FreeEntryIsNeverFollowed) {
    DocOptions o;
    o.pages = 2;
    PdfBuilder pdf = StandardDocument(o);
    const std::size_t rootAt = pdf.OffsetOf(2);
    pdf.Xref(" /Root 1 0 R", {{0, 1}, {2, 1}});
    char stale[32];
    std::snprintf(stale, sizeof stale, "%010zu 00001 f", rootAt);
    // The update frees the tree root, leaving its old offset in the entry.
    const std::string bytes = Patch(pdf.str(), "2 1\r\n" + std::string(stale).substr(0, 10) + " 00000 n",
                                    "2 1\r\n" + std::string(stale));
    EXPECT_LT(Count(bytes, "confirm-free-pages-entry"), 1);  // readers: no pages
    EXPECT_NE(LastRoute(), Route::Text);
    EXPECT_NE(LastRoute(), Route::Table);
}

// ---- a linearized file's /N and its climb reach the catalog's own tree ----

TEST_F(Confirmation, LinearizedCountThatTheTreeContradicts) {
    EXPECT_EQ(Count(Linearized(3, "\r\n", "", 9), "confirm-linearized-n-contradicted"), 3);
    EXPECT_EQ(LastRoute(), Route::Table);
    EXPECT_EQ(Count(Linearized(3, "\r\n")), 3);  // the twin
    EXPECT_EQ(LastRoute(), Route::Text);
}

TEST_F(Confirmation, ClimbFromAnOrphanPageReachesAnOrphanTree) {
    const std::string base = Linearized(3, "\r\n");
    PdfBuilder pdf("\r\n", "");
    pdf.Raw(base);
    pdf.Object(8, "<< /Type /Page /Parent 9 0 R >>");
    std::string kids;
    for (int i = 0; i < 9; ++i) kids += "8 0 R ";
    pdf.Object(9, "<< /Type /Pages /Kids [" + kids + "]\r\n/Count 9\r\n>>");
    pdf.Xref(" /Root 1 0 R /Prev " + std::to_string(LastStartxref(base)), {{8, 2}});
    EXPECT_EQ(Count(pdf.str(), "confirm-linearized-orphan-climb"), 3);
    EXPECT_EQ(LastRoute(), Route::Table);
}

// ---- a count is a whole number ----------------------------------------------

TEST_F(Confirmation, RealWithNoFractionIsAWholeCount) {
    DocOptions o;
    o.pages = 2;
    o.countText = "2.0";
    EXPECT_EQ(Count(StandardDocument(o).str()), 2);  // "2.0" alone on its line
    EXPECT_EQ(LastRoute(), Route::Text);
    o.countSuffix = " >>";
    o.countOnOwnLine = false;
    EXPECT_EQ(Count(StandardDocument(o).str(), "count-real-one-line"), 2);
    EXPECT_EQ(LastRoute(), Route::Text);
    // Kept in an object of its own.
    o.countText = "9 0 R";
    PdfBuilder real = StandardDocument(o);
    real.Object(9, "2.0");
    real.Xref(" /Root 1 0 R", {{9, 1}});
    EXPECT_EQ(Count(real.str(), "count-real-indirect"), 2);
    EXPECT_EQ(LastRoute(), Route::Table);
}

TEST_F(Confirmation, AnyOtherRealOrNonNumberIsNoCount) {
    for (const char* value : {"2.5", "/Two", "(2)", "1.999"}) {
        DocOptions o;
        o.pages = 2;
        o.countText = value;
        const int n = Count(StandardDocument(o).str());
        // Never a count read from the value (2.5 would round to 2).
        EXPECT_NE(LastRoute(), Route::Text) << value;
        EXPECT_NE(LastRoute(), Route::Table) << value;
        EXPECT_TRUE(n == -1 || n == 2) << value << " gave " << n;
    }
}

// ---- bytes after the last %%EOF ---------------------------------------------

TEST_F(Confirmation, BytesAppendedAfterTheLastEof) {
    DocOptions o;
    o.pages = 20;
    const std::string doc = StandardDocument(o).str();
    // Another file's start, cut at 2,000 bytes: its objects 3 and 4 (a font
    // and a stream) take the numbers of two pages, which a reconstruction
    // of the whole file would let them replace.  Readers count 20.
    std::string other = "%PDF-1.4\r\n3 0 obj\r\n<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>\r\nendobj\r\n"
                        "4 0 obj\r\n<< /Length 8000 /Filter /FlateDecode >>\r\nstream\r\n";
    for (int i = 0; other.size() < 2000; ++i) other += static_cast<char>(i * 37);
    // Its "startxref" is then 2,000 bytes from the end: readers rebuild
    // the file, and so does the scan.
    EXPECT_EQ(Count(doc + other, "appended-other-file-start"), 20);
    EXPECT_EQ(LastRoute(), Route::ObjectScan);
    EXPECT_EQ(Count(doc + std::string(5000, '\0')), 20);  // padding
    EXPECT_EQ(LastRoute(), Route::Table);
    EXPECT_EQ(Count(doc + std::string(300, '\0')), 20);  // short padding: the text route still answers
    EXPECT_EQ(LastRoute(), Route::Text);
    // A "startxref" appended after %%EOF that leads nowhere: readers rebuild
    // the file and find its 20 pages.  An earlier "startxref" is not taken
    // instead: with a whole other file appended (its offsets off by the
    // first file's length), readers rebuild it too, and the newest objects,
    // the appended file's, give its 7 pages.
    EXPECT_EQ(Count(doc + "startxref\r\n12\r\n%%EOF\r\n", "appended-startxref-to-nowhere"), 20);
    EXPECT_EQ(LastRoute(), Route::ObjectScan);
    DocOptions other7;
    other7.pages = 7;
    EXPECT_EQ(Count(doc + StandardDocument(other7).str(), "appended-whole-other-file"), 7);
}

}  // namespace
}  // namespace brastel::test
