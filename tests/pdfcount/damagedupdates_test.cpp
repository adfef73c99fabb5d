// Files whose newest revision is slightly damaged or was never finished: an
// update cut short, its section never written, a byte inserted, a line end
// changed, "endstream" lost.  Readers rebuild or tolerate these and count
// the newest revision; so must the counter, never an older revision's count.
#include "pdfbuilder.h"
#include "streambuilder.h"
#include "testsupport.h"

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <iterator>

namespace brastel::test {
namespace {

std::string Page(int parent = 2) { return "<< /Type /Page /Parent " + std::to_string(parent) + " 0 R >>"; }

std::string Root(int pages) {
    std::string kids;
    for (int i = 0; i < pages; ++i) kids += " " + std::to_string(3 + i) + " 0 R";
    return "<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>";
}

// Revision 1: a classic file of three pages (catalog 1, root 2, pages 3-5).
PdfBuilder ThreePages() {
    DocOptions d;
    d.eol = "\n";
    d.pages = 3;
    return StandardDocument(d);
}

std::size_t LastTable(const std::string& bytes) { return bytes.rfind("\nxref\n") + 1; }

// Revision 2 on top of three pages: a content stream of `padding` bytes,
// pages 6 and 7 and a new root of five pages, as plain objects in a classic
// section.
std::string PlainUpdate(std::size_t padding) {
    PdfBuilder pdf = ThreePages();
    pdf.Object(8, "<< /Length " + std::to_string(padding) + " >>\nstream\n" + std::string(padding, 'x') +
                      "\nendstream");
    pdf.Object(6, Page());
    pdf.Object(7, Page());
    pdf.Object(2, Root(5));
    pdf.Xref(" /Root 1 0 R");
    return pdf.str();
}

// Revision 2 on top of `base` whose newest section is at `last`: pages 6
// and 7 and a new root of five pages in object stream 20, listed by
// cross-reference stream 21.
std::string StreamUpdate(const std::string& base, std::size_t last, int firstNew = 6) {
    StreamPdfBuilder update;
    update.Resume(base, last);
    std::vector<int> kids = {3, 4, 5};
    for (int k = 0; k < 2; ++k) kids.push_back(firstNew + k);
    std::string list;
    for (int k : kids) list += " " + std::to_string(k) + " 0 R";
    update.ObjectStream(20, {{2, "<< /Type /Pages /Kids [" + list + "] /Count 5 >>"},
                             {firstNew, Page()},
                             {firstNew + 1, Page()}});
    update.XrefStream(21, " /Root 1 0 R");
    return update.str();
}

class DamagedUpdate : public ::testing::Test {
protected:
    std::int32_t Count(const std::string& bytes, const std::string& seed = "") {
        KeepAsSeed(seed, bytes);
        return counter.Count(dir.Write("doc.pdf", bytes));
    }
    Route route() const { return counter.LastRoute(); }

    TempDir dir;
    Counter counter;
};

// ---- an update whose section was never written ---------------------------------

TEST_F(DamagedUpdate, InterruptedSaveCountsTheNewestObjects) {
    // The last "startxref" in the file is revision 1's, 40 KB before the
    // end: readers look for it only near the end, rebuild, and count 5.
    const std::string whole = PlainUpdate(40000);
    ASSERT_EQ(Count(whole), 5);
    const std::size_t section = LastStartxref(whole);
    EXPECT_EQ(Count(whole.substr(0, section), "update-section-never-written"), 5);
    EXPECT_EQ(route(), Route::ObjectScan);
    // Cut at every byte of the last 200: the newest revision every time.
    for (std::size_t cut = whole.size() - 200; cut < whole.size(); ++cut)
        EXPECT_EQ(Count(whole.substr(0, cut)), 5) << "cut " << whole.size() - cut << " bytes before the end";
    // Bytes after the last section that hold no object change nothing, and
    // neither do objects within the last kilobyte, where readers still find
    // that "startxref".
    const std::string threePages = ThreePages().str();
    EXPECT_EQ(Count(threePages + std::string(5000, '\0')), 3);
    EXPECT_EQ(Count(threePages + "9 0 obj\n<< /Type /Page >>\nendobj\n"), 3);
}

// ---- an update in an object stream, behind small damage ------------------------

TEST_F(DamagedUpdate, StreamUpdateBehindSmallDamageIsStillRead) {
    const std::string base = ThreePages().str();
    const std::string good = StreamUpdate(base, LastTable(base));
    ASSERT_EQ(Count(good), 5);
    const std::size_t xrefStream = LastStartxref(good);
    const std::size_t table = LastTable(base);
    auto withStartxref = [&](const std::string& bytes, std::size_t offset) {
        return bytes.substr(0, bytes.rfind("startxref\n")) + "startxref\n" + std::to_string(offset) + "\n%%EOF\n";
    };
    auto insertAt = [&](std::size_t at, const std::string& what) {
        std::string bytes = good;
        bytes.insert(at, what);
        // What the writer meant: every offset after the byte is one short.
        return bytes;
    };
    struct Variant {
        const char* name;
        std::string bytes;
    };
    std::string early = Patch(good, "/Prev " + std::to_string(table), "/Prev " + std::to_string(table - 1));
    early = withStartxref(early, xrefStream - 1);
    std::string noEndstream = good;
    noEndstream.erase(noEndstream.rfind("endstream\n"), 10);
    std::string spaced = good;
    spaced.replace(spaced.find("stream\n", spaced.find("20 0 obj")), 7, "stream \n");
    const Variant variants[] = {
        {"startxref and /Prev one byte early", early},
        {"a blank after the header", insertAt(good.find('\n') + 1, " ")},
        {"a line end before an object", insertAt(good.find("3 0 obj"), "\n")},
        {"a blank before the base table", insertAt(table, " ")},
        {"no endstream after the newest cross-reference stream", noEndstream},
        {"object stream written stream-blank-line-end", spaced},
    };
    for (const Variant& v : variants) {
        std::string seed = std::string("update-") + v.name;
        std::replace(seed.begin(), seed.end(), ' ', '-');
        EXPECT_EQ(Count(v.bytes, seed), 5) << v.name;
        EXPECT_EQ(route(), Route::Stream) << v.name;
    }
}

TEST_F(DamagedUpdate, HybridAndThreeRevisionFilesBehindSmallDamage) {
    // Revision 1 hybrid, revision 2 in a cross-reference stream.
    StreamPdfBuilder hybrid;
    hybrid.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    hybrid.ObjectStream(10, {{2, Root(3)}, {3, Page()}, {4, Page()}});
    hybrid.Object(5, Page());
    const std::size_t hybridTable = hybrid.Hybrid(11, " /Root 1 0 R");
    const std::string onHybrid = StreamUpdate(hybrid.str(), hybridTable, 12);
    ASSERT_EQ(Count(onHybrid), 5);
    // Three revisions: the classic base, a classic update, a stream update.
    PdfBuilder two = ThreePages();
    two.Object(9, "<< /Producer (revision 2) >>");
    two.Xref(" /Root 1 0 R /Info 9 0 R");
    const std::string three = StreamUpdate(two.str(), LastTable(two.str()));
    ASSERT_EQ(Count(three), 5);
    for (const auto& [name, good] : {std::pair<const char*, std::string>{"hybrid", onHybrid}, {"three revisions", three}}) {
        const std::size_t newest = LastStartxref(good);
        const std::size_t prevAt = good.rfind("/Prev ") + 6;
        const std::size_t prev = std::stoul(good.substr(prevAt));
        std::string early = good;
        early.replace(prevAt, std::to_string(prev).size(), std::to_string(prev - 1));
        early = early.substr(0, early.rfind("startxref\n")) + "startxref\n" + std::to_string(newest - 1) + "\n%%EOF\n";
        EXPECT_EQ(Count(early), 5) << name << ": one byte early";
        EXPECT_EQ(route(), Route::Stream) << name;
        std::string inserted = good;
        inserted.insert(good.find('\n') + 1, "\n");
        EXPECT_EQ(Count(inserted), 5) << name << ": a line end inserted";
        EXPECT_EQ(route(), Route::Stream) << name;
        std::string noEndstream = good;
        noEndstream.erase(noEndstream.rfind("endstream\n"), 10);
        EXPECT_EQ(Count(noEndstream), 5) << name << ": no endstream";
    }
}

bool Qpdf(const std::string& args) {
    const int rc = std::system(("qpdf " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) && (WEXITSTATUS(rc) == 0 || WEXITSTATUS(rc) == 3);
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(DamagedUpdate, LinearizedFileWithADamagedUpdate) {
    if (std::system("qpdf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf command not installed";
    DocOptions d;
    d.eol = "\n";
    d.pages = 40;
    const std::string in = dir.Write("plain.pdf", StandardDocument(d).str());
    const std::string out = dir / "linear.pdf";
    ASSERT_TRUE(Qpdf("--linearize --object-streams=disable " + in + " " + out));
    const std::string linear = ReadAll(out);
    // The update adds two pages to the root, whatever its number.
    auto numberAfter = [&](std::size_t at) { return std::stoi(linear.substr(at)); };
    const std::size_t catalogHeader = linear.rfind(" 0 obj", linear.find("/Type /Catalog"));
    const int rootNum = numberAfter(linear.find("/Pages ", catalogHeader) + 7);
    const int catalogNum = numberAfter(linear.rfind('\n', catalogHeader) + 1);
    const std::size_t kidsAt = linear.find("/Kids [", linear.find("\n" + std::to_string(rootNum) + " 0 obj"));
    const std::string kids = linear.substr(kidsAt + 7, linear.find(']', kidsAt) - kidsAt - 7);
    StreamPdfBuilder update;
    update.Resume(linear, LastStartxref(linear));
    update.ObjectStream(900, {{rootNum, "<< /Type /Pages /Kids [" + kids + " 901 0 R 902 0 R] /Count 42 >>"},
                              {901, Page(rootNum)},
                              {902, Page(rootNum)}});
    update.XrefStream(903, " /Root " + std::to_string(catalogNum) + " 0 R");
    const std::string good = update.str();
    ASSERT_EQ(Count(good), 42);
    std::string noEndstream = good;
    noEndstream.erase(noEndstream.rfind("endstream\n"), 10);
    EXPECT_EQ(Count(noEndstream, "linearized-update-no-endstream"), 42);
    const std::size_t newest = LastStartxref(good);
    const std::string early =
        good.substr(0, good.rfind("startxref\n")) + "startxref\n" + std::to_string(newest - 1) + "\n%%EOF\n";
    EXPECT_EQ(Count(early), 42);
    EXPECT_EQ(route(), Route::Stream);
}

// ---- an empty tree found through damage ------------------------------------

TEST_F(DamagedUpdate, DamagedTreeRootIsNoEmptyTree) {
    // qpdf, pdfinfo and mutool agree on each count below; libqpdf without
    // rebuilding reads the damaged object as null, which is no answer.
    auto damageLast = [](std::string bytes, const std::string& header) {
        return bytes.replace(bytes.rfind(header), header.size(), "2 0 ob\x05");
    };
    // The newest root's header damaged: readers rebuild and find revision 1's root.
    PdfBuilder update = ThreePages();
    update.Object(6, Page());
    update.Object(7, Page());
    update.Object(2, Root(5));
    update.Xref(" /Root 1 0 R");
    EXPECT_EQ(Count(damageLast(update.str(), "2 0 obj"), "damaged-newest-root-header"), 3);
    // Revision 1's root damaged and the last "startxref" lost: the newest root.
    std::string base = ThreePages().str();
    base.replace(base.find("2 0 obj"), 7, "2 0 ob\x05");
    PdfBuilder onDamaged("\n", "");
    onDamaged.Raw(base);
    onDamaged.Object(6, Page());
    onDamaged.Object(7, Page());
    onDamaged.Object(2, Root(5));
    const std::string lost = onDamaged.str() + "startxref\n999999\n%%EOF\n";
    EXPECT_EQ(Count(lost), 5);
    // A root whose entry points past the end of the file, the object intact.
    DocOptions d;
    d.eol = "\n";
    d.pages = 1;
    const PdfBuilder one = StandardDocument(d);
    char offset[16];
    std::snprintf(offset, sizeof offset, "%010zu", one.OffsetOf(2));
    EXPECT_EQ(Count(Patch(one.str(), std::string(offset) + " 00000 n", "4294967295 00000 n"), "root-entry-past-the-end"), 1);
    // A stray token in the catalog before /Pages (qpdf and pdfinfo 1;
    // mutool loses /Pages and says 0: the catalog does name a tree).
    PdfBuilder strayCatalog("\n");
    strayCatalog.Object(1, "<< /Type /Catalog /X 1 0 R 0 R /Pages 2 0 R >>");
    strayCatalog.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    strayCatalog.Object(3, Page());
    strayCatalog.Xref(" /Root 1 0 R");
    const std::string stray = strayCatalog.str();
    EXPECT_EQ(Count(stray, "catalog-stray-token"), 1);
    BrastelPeer::SetOnlyRoute(*counter, Route::Stream);
    EXPECT_EQ(Count(stray), -1) << "the stream route cannot read that catalog: it hands the file on";
    BrastelPeer::SetOnlyRoute(*counter, std::nullopt);
    // A tree that is really empty stays a document of no pages.
    d.pages = 0;
    EXPECT_EQ(Count(StandardDocument(d).str()), 0);
}

// ---- the object scan: the newest definition wins ----------------------------

TEST_F(DamagedUpdate, ScanTakesANewerDefinitionInALaterObjectStream) {
    // With no usable cross-reference, object 2 defined plainly in revision
    // 1 and again inside revision 2's object stream: the stream's copy is
    // newer, since the stream stands later in the file.
    const std::string base = ThreePages().str();
    const std::string good = StreamUpdate(base, LastTable(base));
    const std::string lost = good.substr(0, good.rfind("startxref\n")) + "startxref\n999999\n%%EOF\n";
    EXPECT_EQ(Count(lost, "scan-newer-definition-in-object-stream"), 5);
    EXPECT_EQ(route(), Route::ObjectScan);
    // The other way round: a plain definition after the object stream wins.
    PdfBuilder later("\n", "");
    later.Raw(lost.substr(0, lost.rfind("startxref\n")));
    later.Object(2, Root(3));
    const std::string older = later.str() + "startxref\n999999\n%%EOF\n";
    EXPECT_EQ(Count(older), 3);
    EXPECT_EQ(route(), Route::ObjectScan);
}

}  // namespace
}  // namespace brastel::test
