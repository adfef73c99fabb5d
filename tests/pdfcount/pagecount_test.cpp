// PDF_PageCount on built files: which reader decides, and that the answer
// is the true page count or -1, never an invented or wrapped number.
#include "pdfbuilder.h"
#include "testsupport.h"

#include <sys/stat.h>

#include <cstdio>

namespace brastel::test {
namespace {

class PageCount : public ::testing::Test {
protected:
    std::int32_t Count(const std::string& bytes) { return counter.Count(dir.Write("doc.pdf", bytes)); }
    TempDir dir;
    Counter counter;
};

// ---- the text route decides -------------------------------------------

TEST_F(PageCount, ClassicTableWithEveryLineEnd) {
    for (const std::string eol : {"\r\n", "\r", "\n"}) {
        DocOptions o;
        o.eol = eol;
        o.pages = 4;
        EXPECT_EQ(Count(StandardDocument(o).str()), 4) << "line end " << eol.size();
        EXPECT_EQ(counter.LastRoute(), Route::Text);
    }
}

TEST_F(PageCount, CountDirectlyBeforeNextKey) {
    PdfBuilder pdf("\r\n");
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Count 2/Kids [3 0 R 4 0 R] >>");
    pdf.Object(3, PageBody("\r\n"));
    pdf.Object(4, PageBody("\r\n"));
    pdf.Xref(" /Root 1 0 R");
    EXPECT_EQ(Count(pdf.str()), 2);
    EXPECT_EQ(counter.LastRoute(), Route::Text);
}

TEST_F(PageCount, SeveralSubsections) {
    PdfBuilder pdf("\r\n");
    pdf.Object(1, "<< /Type /Catalog /Pages 11 0 R >>");
    pdf.Object(10, PageBody("\r\n"));
    pdf.Object(11, "<< /Type /Pages /Kids [10 0 R 12 0 R] /Count 2\r\n>>");
    pdf.Object(12, PageBody("\r\n"));
    pdf.Xref(" /Root 1 0 R", {{0, 2}, {10, 3}});
    EXPECT_EQ(Count(pdf.str()), 2);
    EXPECT_EQ(counter.LastRoute(), Route::Text);
}

TEST_F(PageCount, IncrementalUpdateCountsTheNewestSection) {
    DocOptions o;
    o.pages = 2;
    PdfBuilder pdf = StandardDocument(o);
    // The update adds page 5 and rewrites the tree root; both "startxref"
    // keywords end up within the file's last few hundred bytes.
    pdf.Object(5, PageBody("\r\n"));
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3\r\n>>");
    pdf.Xref(" /Root 1 0 R", {{2, 1}, {5, 1}});
    EXPECT_EQ(Count(pdf.str()), 3);
    EXPECT_EQ(counter.LastRoute(), Route::Text);
}

TEST_F(PageCount, LinearizedFileTakesItsPageCount) {
    EXPECT_EQ(Count(Linearized(5, "\r\n")), 5);
    EXPECT_EQ(counter.LastRoute(), Route::Text);
    EXPECT_EQ(BrastelPeer::LinearPos(*counter), 1);
}

// The linearized file above, grown by an update that rewrites page 4 right
// after the linearized part.
std::string GrownLinearized(const std::string& rootExtra) {
    std::string bytes = Linearized(3, "\r\n", rootExtra);
    const std::size_t firstXref = LastStartxref(bytes);
    // An update right after the linearized part rewrites page 4.
    PdfBuilder update("\r\n", "");
    update.Raw(bytes);
    update.Object(4, "<< /Type /Page /Parent 2 0 R /Rotate 90 >>");
    bytes = update.str();
    const std::size_t x2 = bytes.size();
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", update.OffsetOf(4));
    bytes += "xref\r\n4 1\r\n" + std::string(entry) + "trailer\r\n<< /Size 8 /Root 1 0 R /Prev " +
             std::to_string(firstXref) + " >>\r\nstartxref\r\n" + std::to_string(x2) + "\r\n%%EOF\r\n";
    return bytes;
}

TEST_F(PageCount, GrownLinearizedFileClimbsThroughParent) {
    EXPECT_EQ(Count(GrownLinearized("")), 3);
    EXPECT_EQ(counter.LastRoute(), Route::Text);
    // A Parent chain that comes back on itself: the climb stops and the
    // table read by its tokens takes the count from the tree's root.
    EXPECT_EQ(Count(GrownLinearized(" /Parent 4 0 R")), 3);
    EXPECT_EQ(counter.LastRoute(), Route::Table);
}

// A count the literal extraction cannot convert ("/Count 3 >>" on one line,
// "/Count 3>>", a comment after it) is read as a token from the confirmed
// object; anything that is no whole token still goes to the structural reader.
TEST_F(PageCount, CountTokenOnOneLineWithClosingBrackets) {
    for (const char* suffix : {" >>", ">>", " %note\n>>", "\t/Kids [] >>"}) {
        DocOptions o;
        o.pages = 3;
        o.countSuffix = suffix;
        o.countOnOwnLine = false;
        EXPECT_EQ(Count(StandardDocument(o).str()), 3) << suffix;
        EXPECT_EQ(counter.LastRoute(), Route::Text) << suffix;
    }
    // Not a whole token: the text route gives up and no count is invented
    // from the broken value (the structural reader counts leaves or refuses).
    for (const char* value : {"3.5", "-3", "3x", "+", "7 0 R"}) {
        DocOptions o;
        o.pages = 3;
        o.countText = value;
        o.countSuffix = " >>";
        o.countOnOwnLine = false;
        const int n = Count(StandardDocument(o).str());
        EXPECT_TRUE(n == 3 || n == -1) << value << " gave " << n;
        EXPECT_NE(counter.LastRoute(), Route::Text) << value;
    }
}

// ---- the text route cannot confirm: the structural reader decides -------

TEST_F(PageCount, LaterSubsectionWithLfLineEnds) {
    PdfBuilder pdf("\n");
    pdf.Object(1, "<< /Type /Catalog /Pages 11 0 R >>");
    pdf.Object(10, PageBody("\n"));
    pdf.Object(11, "<< /Type /Pages /Kids [10 0 R 12 0 R] /Count 2\n>>");
    pdf.Object(12, PageBody("\n"));
    pdf.Xref(" /Root 1 0 R", {{0, 2}, {10, 3}});
    // The position walk lands on object 12's entry instead of 11's; the
    // check of the object found there hands the file to the table route,
    // which reads the table by its tokens and finds object 11.
    EXPECT_EQ(Count(pdf.str()), 2);
    EXPECT_EQ(counter.LastRoute(), Route::Table);
}

TEST_F(PageCount, ShiftedOffsets) {
    DocOptions o;
    o.pages = 3;
    const std::string bytes = Patch(StandardDocument(o).str(), "1 0 obj", "   1 0 obj");
    EXPECT_EQ(Count(bytes), 3);
    EXPECT_EQ(counter.LastRoute(), Route::ObjectScan);  // before libqpdf's reconstruction
}

TEST_F(PageCount, CrossReferenceAndObjectStreams) {
    if (std::system("qpdf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf command not installed";
    DocOptions o;
    o.pages = 6;
    const std::string in = dir.Write("plain.pdf", StandardDocument(o).str());
    const std::string out = dir / "packed.pdf";
    const int rc = std::system(("qpdf --object-streams=generate " + in + " " + out).c_str());
    ASSERT_TRUE(WIFEXITED(rc) && (WEXITSTATUS(rc) == 0 || WEXITSTATUS(rc) == 3));
    EXPECT_EQ(counter.Count(out), 6);
    EXPECT_EQ(counter.LastRoute(), Route::Stream);
    EXPECT_LT(BrastelPeer::BytesRead(*counter), 8192);
}

TEST_F(PageCount, HybridFileWhoseStreamCouldListAnyObjectIsLeftToOthers) {
    // Objects listed in the cross-reference stream are invisible to the
    // table walk, which could find an older version instead; a stream whose
    // dictionary cannot be read may list any object.
    DocOptions o;
    o.pages = 2;
    const std::string bytes = Patch(StandardDocument(o).str(), " /Root 1 0 R", " /Root 1 0 R /XRefStm 0");
    EXPECT_EQ(Count(bytes), 2);
    EXPECT_NE(counter.LastRoute(), Route::Text);
    EXPECT_NE(counter.LastRoute(), Route::Table);
}

TEST_F(PageCount, TruncatedFiles) {
    DocOptions o;
    o.pages = 3;
    const std::string full = StandardDocument(o).str();
    // Cut before the table: libqpdf finds no trailer, but the objects are
    // all there and the catalog is found by its type.
    EXPECT_EQ(Count(full.substr(0, full.find("xref"))), 3);
    EXPECT_EQ(counter.LastRoute(), Route::ObjectScan);
    // Cut inside the header: nothing to count.
    EXPECT_EQ(Count(full.substr(0, 12)), -1);
    // Cut inside the page tree root.
    EXPECT_EQ(Count(full.substr(0, full.find("/Kids") + 3)), -1);
}

// ---- no invented or wrapped counts --------------------------------------

TEST_F(PageCount, HugeCountsAreNeverWrapped) {
    DocOptions o;
    o.pages = 1;
    o.countText = "9999999999";  // does not fit 32 bits
    EXPECT_EQ(Count(StandardDocument(o).str()), 1);
    EXPECT_EQ(counter.LastRoute(), Route::Stream);  // the leaves decide
    o.countText = "2000000000";  // fits, but no file this size holds that many pages
    EXPECT_EQ(Count(StandardDocument(o).str()), 1);
    EXPECT_EQ(counter.LastRoute(), Route::Stream);
}

TEST_F(PageCount, CountThatIsNoNumberGivesNoCount) {
    DocOptions o;
    o.pages = 1;
    o.countText = "6 0 R";
    PdfBuilder pdf = StandardDocument(o);
    std::string bytes = pdf.str();
    // Object 6 is a stream, not a number; no reader gives this a count.
    bytes = bytes.substr(0, bytes.find("xref"));
    bytes += "6 0 obj\r\n<< /Length 1 >>\r\nstream\r\n2\r\nendstream\r\nendobj\r\n";
    EXPECT_EQ(Count(bytes), -1);
}

TEST_F(PageCount, PrevCycleWithTheTreeRootInNoTable) {
    // The catalog names object 9, which no section lists, and the two
    // sections name each other as predecessor: the walk stops, and the
    // tree is found by the object headers.
    PdfBuilder pdf("\r\n");
    pdf.Object(1, "<< /Type /Catalog /Pages 9 0 R >>");
    pdf.Object(3, "<< /Type /Page /Parent 9 0 R >>");
    pdf.Object(4, "<< /Type /Page /Parent 9 0 R >>");
    pdf.Xref(" /Root 1 0 R /Prev 0000000000", {{0, 2}, {3, 2}});
    pdf.Object(9, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2\r\n>>");
    const std::size_t x2 = pdf.Xref(" /Root 1 0 R", {{1, 1}});
    char patched[16];
    std::snprintf(patched, sizeof patched, "%010zu", x2);
    const std::string bytes = Patch(pdf.str(), "/Prev 0000000000", std::string("/Prev ") + patched);
    EXPECT_EQ(Count(bytes), 2);
    EXPECT_NE(counter.LastRoute(), Route::Text);
}

TEST_F(PageCount, DamagedTableWithBrokenEncryptionDictionary) {
    // libqpdf refuses a file whose /Encrypt is not a dictionary; the object
    // scan still counts it when the tree agrees with its /Count.
    DocOptions o;
    o.pages = 2;
    PdfBuilder pdf = StandardDocument(o);
    std::string bytes = pdf.str().substr(0, pdf.str().find("xref"));
    PdfBuilder damaged("\r\n", "");
    damaged.Raw(bytes);
    damaged.Object(6, "E< /Filter /Standard /V 5 >>");
    damaged.Xref(" /Root 1 0 R /Encrypt 6 0 R");
    bytes = Patch(damaged.str(), "n\r\n", "n\r\n0000777777777");  // garble the second entry
    EXPECT_EQ(Count(bytes), 2);
    EXPECT_EQ(counter.LastRoute(), Route::ObjectScan);
    // A /Count the file's objects could hold is the answer, as qpdf and
    // mutool give it, by the rule every route shares.
    EXPECT_EQ(Count(Patch(bytes, "/Count 2", "/Count 5")), 5);
}

// ---- the caller's contract ----------------------------------------------

TEST_F(PageCount, EmptyMissingAndForeignFiles) {
    EXPECT_EQ(counter.Count(""), 0);
    EXPECT_EQ(Count(""), 0);  // zero-length file
    const std::string missing = dir / "missing.pdf";
    EXPECT_EQ(counter.Count(missing), -1);
    struct stat st {};
    EXPECT_NE(::stat(missing.c_str(), &st), 0) << "counting must not create the file";
    EXPECT_EQ(counter.Count(dir / ""), -1);  // a folder
    const std::string fifo = dir / "pipe.pdf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(counter.Count(fifo), -1);  // neither blocks nor reads a pipe
    EXPECT_EQ(Count(std::string(2000, 'x')), -1);
    EXPECT_EQ(Count("%PDF-1.4\r\n" + std::string(900, 'y') + "\r\n%%EOF\r\n"), -1);
    EXPECT_EQ(Count(std::string("\0\1\2\3trailer startxref 5 %%EOF", 29)), -1);
}

TEST_F(PageCount, ReadOnlyFileAndRepeatedUse) {
    DocOptions o;
    o.pages = 7;
    const std::string path = dir.Write("ro.pdf", StandardDocument(o).str());
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(counter.Count(path), 7);
    o.pages = 2;
    EXPECT_EQ(Count(StandardDocument(o).str()), 2);  // one instance, many files
    Counter other;
    EXPECT_EQ(other.Count(path), 7);  // two instances in turn
}

}  // namespace
}  // namespace brastel::test
