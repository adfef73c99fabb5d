// Files written with cross-reference streams and object streams: decided by
// the stream route from a few KB, or handed on when it cannot be sure, and
// counted the way readers count them whichever route decides.
#include "pdfbuilder.h"
#include "streambuilder.h"
#include "routes/structural.h"
#include "testsupport.h"

#include <sys/wait.h>

#include <cstdio>
#include <set>

namespace brastel::test {
namespace {

std::string PatchLast(std::string bytes, const std::string& from, const std::string& to) {
    const auto at = bytes.rfind(from);
    if (at == std::string::npos) throw std::runtime_error("patch target missing: " + from);
    return bytes.replace(at, from.size(), to);
}

// A big-endian field of a cross-reference stream entry.
std::string Field(std::uint64_t value, int width) {
    std::string out;
    for (int k = width - 1; k >= 0; --k) out += static_cast<char>((value >> (8 * k)) & 0xFF);
    return out;
}

// Offset after the last "startxref".
std::size_t LastStartxref(const std::string& bytes) {
    return std::stoul(bytes.substr(bytes.rfind("startxref\n") + 10));
}

// Appends an uncompressed cross-reference stream numbered num (listed as
// the last range of index) whose entries are given, with /Prev prev.
std::string AppendXrefStream(std::string bytes, int num, const std::string& index, std::string entries,
                             long long prev) {
    const std::size_t at = bytes.size();
    entries += "\x01" + Field(at, 4) + Field(0, 2);
    bytes += std::to_string(num) + " 0 obj\n<< /Type /XRef /Size 200 /W [1 4 2] /Index [" + index + " " +
             std::to_string(num) + " 1] /Root 1 0 R /Prev " + std::to_string(prev) + " /Length " +
             std::to_string(entries.size()) + " >>\nstream\n" + entries + "\nendstream\nendobj\nstartxref\n" +
             std::to_string(at) + "\n%%EOF\n";
    return bytes;
}

// Appends an update in a classic table that rewrites the tree root 2,
// with /Prev naming the file's last section.
std::string AppendTableUpdate(std::string bytes, const std::string& rootBody, int size) {
    const std::size_t prev = LastStartxref(bytes);
    const std::size_t rootAt = bytes.size();
    bytes += "2 0 obj\n" + rootBody + "\nendobj\n";
    const std::size_t tableAt = bytes.size();
    char entry[32];
    std::snprintf(entry, sizeof entry, "%010zu 00000 n\r\n", rootAt);
    return bytes + "xref\n2 1\n" + entry + "trailer\n<< /Size " + std::to_string(size) + " /Root 1 0 R /Prev " +
           std::to_string(prev) + " >>\nstartxref\n" + std::to_string(tableAt) + "\n%%EOF\n";
}

class StreamRoute : public ::testing::Test {
protected:
    std::int32_t Count(const std::string& bytes, const std::string& name = "doc.pdf") {
        path = dir.Write(name, bytes);
        return counter.Count(path);
    }
    Route route() const { return counter.LastRoute(); }
    // libqpdf alone on the last file, -1 where it gives no count.
    std::int32_t Structural() const { return CountStructural(path).value_or(-1); }

    TempDir dir;
    Counter counter;
    std::string path;
};

// ---- the layouts of a cross-reference stream ----------------------------

TEST_F(StreamRoute, FieldWidthsPredictorsAndIndexRanges) {
    struct Layout {
        int w[3];
        int predictor;
        bool compress;
        bool index;
    };
    const Layout layouts[] = {
        {{1, 4, 2}, 0, true, true},  {{1, 2, 1}, 12, true, true}, {{1, 4, 2}, 2, true, true},
        {{2, 8, 8}, 12, true, false}, {{1, 3, 1}, 0, false, true}, {{1, 4, 2}, 0, false, false},
    };
    // Documents past 7 pages list pages past the object stream (10) and the
    // cross-reference stream (11), and rows across several windows.
    for (const int pages : {7, 150})
        for (const Layout& l : layouts) {
            StreamDocOptions o;
            o.pages = pages;
            std::copy(l.w, l.w + 3, o.xref.widths);
            o.xref.predictor = l.predictor;
            o.xref.compress = l.compress;
            o.xref.explicitIndex = l.index;
            const std::string bytes = StreamDocument(o).str();
            const std::string what = std::to_string(pages) + " pages, " + std::to_string(l.w[0]) +
                                     std::to_string(l.w[1]) + std::to_string(l.w[2]) + " predictor " +
                                     std::to_string(l.predictor);
            EXPECT_EQ(Count(bytes), pages) << what;
            EXPECT_EQ(route(), Route::Stream) << what;
            EXPECT_EQ(Structural(), pages) << what;
            // A few KB of the file, not all of it.
            EXPECT_LT(BrastelPeer::BytesRead(*counter), 16 * 1024) << what;
        }
}

TEST_F(StreamRoute, CatalogAndTreeAsPlainObjectsOrInObjectStreams) {
    // Catalog plain, tree root in an object stream, pages plain.
    StreamPdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.ObjectStream(5, {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>"}});
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R >>");
    pdf.Object(4, "<< /Type /Page /Parent 2 0 R >>");
    pdf.XrefStream(6, " /Root 1 0 R");
    EXPECT_EQ(Count(pdf.str()), 2);
    EXPECT_EQ(route(), Route::Stream);

    // Two object streams, one uncompressed; /Count written as a reference
    // to a number in the other stream.
    StreamPdfBuilder two;
    two.ObjectStream(10, {{1, "<< /Type /Catalog /Pages 2 0 R >>"}, {9, "3"}}, false);
    two.ObjectStream(11, {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 9 0 R >>"},
                          {3, "<< /Type /Page /Parent 2 0 R >>"},
                          {4, "<< /Type /Page /Parent 2 0 R >>"},
                          {5, "<< /Type /Page /Parent 2 0 R >>"}});
    two.XrefStream(12, " /Root 1 0 R");
    EXPECT_EQ(Count(two.str()), 3);
    EXPECT_EQ(route(), Route::Stream);
}

TEST_F(StreamRoute, ObjectMustBeWhereTheCrossReferenceSays) {
    // The entry of object 2 names index 1 of the object stream, where the
    // pair names object 7: the number is not confirmed, and the route
    // hands the file on.
    StreamPdfBuilder pdf;
    pdf.ObjectStream(10, {{1, "<< /Type /Catalog /Pages 2 0 R >>"}, {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"},
                          {3, "<< /Type /Page /Parent 2 0 R >>"}},
                     false);
    pdf.XrefStream(11, " /Root 1 0 R");
    const std::int32_t n = Count(Patch(pdf.str(), "1 0 2 ", "1 0 7 "));
    EXPECT_TRUE(n == 1 || n < 1) << n;
    EXPECT_NE(route(), Route::Stream);

    // An entry whose offset points one byte into "12 0 obj" finds no header.
    StreamPdfBuilder plain;
    plain.Object(1, "<< /Type /Catalog /Pages 12 0 R >>");
    plain.Object(12, "<< /Type /Pages /Kids [] /Count 0 >>");
    plain.XrefStream(13, " /Root 1 0 R", {{1, 4, 2}, 0, false, true});
    const std::size_t at = plain.OffsetOf(12);
    Count(Patch(plain.str(), "\x01" + Field(at, 4), "\x01" + Field(at + 1, 4)));
    EXPECT_NE(route(), Route::Stream);
}

// ---- chains of sections -------------------------------------------------

TEST_F(StreamRoute, PrevChainsNewestEntryWins) {
    StreamDocOptions o;
    o.pages = 2;
    StreamPdfBuilder pdf = StreamDocument(o);
    // Update 1: a third page and a new tree root, in a new object stream.
    pdf.ObjectStream(20, {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>"},
                          {5, "<< /Type /Page /Parent 2 0 R >>"}});
    pdf.XrefStream(21, " /Root 1 0 R");
    EXPECT_EQ(Count(pdf.str()), 3);
    EXPECT_EQ(route(), Route::Stream);
    // Update 2: the root again, as a plain object, with a fourth page.
    pdf.Object(6, "<< /Type /Page /Parent 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R 6 0 R] /Count 4 >>");
    pdf.XrefStream(22, " /Root 1 0 R");
    EXPECT_EQ(Count(pdf.str()), 4);
    EXPECT_EQ(route(), Route::Stream);
    EXPECT_EQ(Structural(), 4);
}

TEST_F(StreamRoute, ClassicAndStreamSectionsMixed) {
    // A classic file updated with a cross-reference stream.
    DocOptions d;
    d.pages = 2;
    PdfBuilder classic = StandardDocument(d);
    const std::size_t table = classic.str().rfind("\r\nxref\r\n") + 2;
    StreamPdfBuilder update;
    update.Resume(classic.str(), table);
    update.ObjectStream(20, {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>"},
                             {5, "<< /Type /Page /Parent 2 0 R >>"}});
    update.XrefStream(21, " /Root 1 0 R");
    EXPECT_EQ(Count(update.str()), 3);
    EXPECT_EQ(route(), Route::Stream);

    // A stream file updated with a classic table.
    StreamDocOptions o;
    o.pages = 2;
    EXPECT_EQ(Count(AppendTableUpdate(StreamDocument(o).str(), "<< /Type /Pages /Kids [3 0 R] /Count 1 >>", 102)), 1);
    EXPECT_EQ(route(), Route::Stream);
}

TEST_F(StreamRoute, BytesAppendedAfterTheLastSectionDoNotHideIt) {
    StreamDocOptions o;
    o.pages = 4;
    const std::string good = StreamDocument(o).str();
    for (const std::string& appended :
         {std::string("%PDF-1.5\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"), std::string(300, '\0')}) {
        EXPECT_EQ(Count(good + appended), 4);
        EXPECT_EQ(route(), Route::Stream);
    }
    // A last "startxref" that leads nowhere: the file is rebuilt, as readers
    // rebuild it.
    EXPECT_EQ(Count(good + "\nstartxref\n17\n%%EOF\n"), 4);
    EXPECT_EQ(route(), Route::ObjectScan);
}

TEST_F(StreamRoute, UpdateThatFreesTheTreeRootLeavesNoPages) {
    StreamDocOptions o;
    o.pages = 2;
    const std::string base = StreamDocument(o).str();
    // Object 2 free in the newest section (type 0, next generation 1).
    const std::string freed = std::string(1, '\0') + Field(0, 4) + Field(1, 2);
    const std::string bytes = AppendXrefStream(base, 30, "2 1", freed, static_cast<long long>(LastStartxref(base)));
    EXPECT_EQ(Count(bytes), 0);
    EXPECT_EQ(route(), Route::Stream);
    EXPECT_EQ(Structural(), 0);
}

TEST_F(StreamRoute, PrevLoopEndsAndIsHandedOn) {
    StreamDocOptions o;
    o.pages = 3;
    const std::string base = StreamDocument(o).str();
    // A section that lists only itself and names itself as /Prev: the walk
    // meets it again and stops.
    const std::string bytes = AppendXrefStream(base, 40, "40 0", "", static_cast<long long>(base.size()));
    const std::int32_t n = Count(bytes);
    EXPECT_TRUE(n == 3 || n == -1) << n;
    EXPECT_NE(route(), Route::Stream);
}

TEST_F(StreamRoute, HybridFilesReadTheStreamTheTableHides) {
    StreamPdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.ObjectStream(10, {{2, "<< /Type /Pages /Kids [3 0 R 4 0 R 5 0 R] /Count 3 >>"},
                          {3, "<< /Type /Page /Parent 2 0 R >>"},
                          {4, "<< /Type /Page /Parent 2 0 R >>"}});
    pdf.Object(5, "<< /Type /Page /Parent 2 0 R >>");
    pdf.Hybrid(11, " /Root 1 0 R");
    EXPECT_EQ(Count(pdf.str()), 3);
    EXPECT_EQ(route(), Route::Stream);
    // An update in a classic table on top of the hybrid section.
    EXPECT_EQ(Count(AppendTableUpdate(pdf.str(), "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>", 12)), 2);
    EXPECT_TRUE(route() == Route::Table || route() == Route::Stream);  // both read hybrid sections
}

// ---- encryption ---------------------------------------------------------

// A standard security handler whose user password is not empty: libqpdf
// refuses the file without it.
std::string EncryptDict(const std::string& streamFilter) {
    const std::string hex32(64, 'A');
    return "<< /Filter /Standard /V 4 /R 4 /Length 128 /P -1028 /O <" + hex32 + "> /U <" + hex32 +
           "> /CF << /StdCF << /CFM /AESV2 /AuthEvent /DocOpen /Length 16 >> >> /StmF " + streamFilter +
           " /StrF " + streamFilter + " /EFF /StdCF >>";
}
const char* kId = " /ID [<0123456789ABCDEF0123456789ABCDEF> <0123456789ABCDEF0123456789ABCDEF>]";

TEST_F(StreamRoute, EncryptedFilesCountedWhereTheTreeNeedsNoKey) {
    // Streams left as they are (/Identity): the object streams are read,
    // although libqpdf wants the password.
    StreamDocOptions o;
    o.pages = 4;
    o.plainObjects = {{60, EncryptDict("/Identity")}};
    o.trailerExtra = std::string(" /Encrypt 60 0 R") + kId;
    EXPECT_EQ(Count(StreamDocument(o).str()), 4);
    EXPECT_EQ(route(), Route::Stream);
    EXPECT_EQ(Structural(), -1);

    // Encrypted object streams cannot be read: handed on, and libqpdf
    // cannot read them either without the password.
    o.plainObjects = {{60, EncryptDict("/StdCF")}};
    EXPECT_EQ(Count(StreamDocument(o).str()), -1);
    EXPECT_NE(route(), Route::Stream);
    EXPECT_EQ(LastReasonCode(*counter), component::CountReason::NeedsPassword);
    // So says the route that met them when libqpdf does not know the
    // security handler (a certificate's, here) and calls the file damaged.
    o.plainObjects = {{60, Patch(EncryptDict("/StdCF"), "/Filter /Standard", "/Filter /Adobe.PubSec")}};
    EXPECT_EQ(Count(StreamDocument(o).str()), -1);
    EXPECT_EQ(LastReasonCode(*counter), component::CountReason::NeedsPassword);

    // The same encryption with the tree in plain objects: integers in
    // dictionaries are never encrypted.
    StreamPdfBuilder plain;
    plain.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    plain.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 2 >>");
    plain.Object(3, "<< /Type /Page /Parent 2 0 R >>");
    plain.Object(4, "<< /Type /Page /Parent 2 0 R >>");
    plain.Object(60, EncryptDict("/StdCF"));
    plain.XrefStream(5, std::string(" /Root 1 0 R /Encrypt 60 0 R") + kId);
    EXPECT_EQ(Count(plain.str()), 2);
    EXPECT_EQ(route(), Route::Stream);
}

// ---- counting as readers count, whichever route decides -------------------

struct TreeCase {
    const char* name;
    std::vector<std::pair<int, std::string>> objects;  // catalog 1 first
    std::int32_t expected;                             // -1: no count
};

std::vector<TreeCase> TreeCases() {
    using Objects = std::vector<std::pair<int, std::string>>;
    // Catalog 1 naming `pages`, tree root 2 with rootKeys, pages 3 and 4,
    // and more objects.
    auto doc = [](const std::string& rootKeys, Objects more = {}, const std::string& pages = "2 0 R") {
        const std::string page = "<< /Type /Page /Parent 2 0 R >>";
        Objects objects{{1, "<< /Type /Catalog /Pages " + pages + " >>"},
                        {2, "<< /Type /Pages " + rootKeys + " >>"},
                        {3, page},
                        {4, page}};
        objects.insert(objects.end(), more.begin(), more.end());
        return objects;
    };
    Objects filler;
    for (int i = 20; i < 28; ++i) filler.push_back({i, "<< /Filler " + std::to_string(i) + " >>"});
    const std::string twoKids = "/Kids [3 0 R 4 0 R]";
    std::string page1500, node10;
    for (int i = 0; i < 1500; ++i) page1500 += " 3 0 R";
    for (int i = 0; i < 10; ++i) node10 += " 5 0 R";
    std::string page500;
    for (int i = 0; i < 500; ++i) page500 += " 3 0 R";
    return {
        {"stale count", doc(twoKids + " /Count 7", filler), 7},
        // qpdf, pdfinfo and mutool: 7, whichever cross-reference lists the five objects.
        {"stale count, five objects", doc(twoKids + " /Count 7", {{5, "<< /Producer (five) >>"}}), 7},
        // qpdf and mutool: 1500 and 5000 (pdfinfo finds the count larger
        // than the objects and gives none).
        {"a page listed 1500 times", doc("/Kids [" + page1500 + "] /Count 1500"), 1500},
        {"a node listed 10 times",
         doc("/Kids [" + node10 + "] /Count 5000", {{5, "<< /Type /Pages /Kids [" + page500 + "] /Count 500 >>"}}),
         5000},
        {"count beyond the objects", doc(twoKids + " /Count 500", filler), 2},
        {"no count, a kid named twice", doc("/Kids [3 0 R 4 0 R 3 0 R]"), 3},
        {"count 0", doc(twoKids + " /Count 0"), 0},
        {"empty tree", doc("/Kids []"), 0},
        {"pages names a page", doc(twoKids + " /Count 2", {}, "3 0 R"), 0},
        {"pages names nothing", doc(twoKids + " /Count 2", {}, "9 0 R"), 0},
        {"count is a name", doc(twoKids + " /Count /Two"), -1},
        {"count with a fraction", doc(twoKids + " /Count 2.5"), 2},
        {"count 2.0", doc(twoKids + " /Count 2.0"), 2},
        {"count by reference", doc(twoKids + " /Count 8 0 R", {{8, "2"}}), 2},
        {"no count, a loop", doc("/Kids [5 0 R]", {{5, "<< /Type /Pages /Kids [3 0 R 5 0 R] >>"}}), -1},
        {"no count, a shared subtree",
         doc("/Kids [5 0 R 6 0 R]", {{5, "<< /Type /Pages /Kids [7 0 R] >>"},
                                     {6, "<< /Type /Pages /Kids [7 0 R] >>"},
                                     {7, "<< /Type /Pages " + twoKids + " >>"}}),
         4},
    };
}

// The three ways the tests write a tree case: a classic table, plain
// objects listed by a cross-reference stream, and everything in an object
// stream.
std::vector<std::pair<const char*, std::string>> TreeLayouts(const TreeCase& c) {
    PdfBuilder classic("\n");
    for (const auto& [num, body] : c.objects) classic.Object(num, body);
    classic.Xref(" /Root 1 0 R");
    StreamPdfBuilder plain;
    int next = 0;
    for (const auto& [num, body] : c.objects) {
        plain.Object(num, body);
        next = std::max(next, num + 1);
    }
    plain.XrefStream(next, " /Root 1 0 R");
    StreamPdfBuilder packed;
    packed.ObjectStream(50, c.objects);
    packed.XrefStream(51, " /Root 1 0 R");
    return {{"classic table", classic.str()}, {"cross-reference stream", plain.str()}, {"object stream", packed.str()}};
}

TEST_F(StreamRoute, OneAnswerWhateverTheRoute) {
    for (const TreeCase& c : TreeCases()) {
        for (const auto& [layout, bytes] : TreeLayouts(c)) {
            EXPECT_EQ(Count(bytes, "tree.pdf"), c.expected) << c.name << " (" << layout << ")";
            EXPECT_EQ(Structural(), c.expected) << c.name << " (" << layout << ", libqpdf alone)";
            if (c.expected >= 0 && std::string(layout) != "classic table") {
                EXPECT_EQ(route(), Route::Stream) << c.name << " (" << layout << ")";
            }
        }
    }
}

TEST_F(StreamRoute, EachRouteAloneGivesTheSameAnswer) {
    // Every reader that reads the tree gives the one answer; the text and
    // table routes, which read no tree, give it or leave the file to the
    // next, and so does the object scan where the answer is no page.
    const Route routes[] = {Route::Text,       Route::Table,      Route::Stream,
                            Route::Structural, Route::ObjectScan, Route::Reconstruction};
    for (const TreeCase& c : TreeCases()) {
        for (const auto& [layout, bytes] : TreeLayouts(c)) {
            for (const Route r : routes) {
                BrastelPeer::SetOnlyRoute(*counter, r);
                const std::int32_t n = Count(bytes, "tree.pdf");
                const bool mayHandOn = r == Route::Text || r == Route::Table || (r == Route::ObjectScan && c.expected < 1);
                if (mayHandOn && n == -1) continue;
                EXPECT_EQ(n, c.expected) << c.name << " (" << layout << ", route " << static_cast<int>(r) << " alone)";
            }
            BrastelPeer::SetOnlyRoute(*counter, std::nullopt);
        }
    }
}

TEST_F(StreamRoute, ObjectsInUseAreCountedByTheirNewestEntries) {
    // A stale /Count 7 over two leaves with five objects: 7.  An update that
    // frees object 5 leaves four objects in use, too few with two kid
    // references to hold 7 pages: the leaves, 2, whichever route decides,
    // the table reading counting each object by its newest entry.  (qpdf
    // and mutool give any /Count, 7; pdfinfo none, 7 being above /Size.)
    PdfBuilder pdf("\n");
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 7 >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R >>");
    pdf.Object(4, "<< /Type /Page /Parent 2 0 R >>");
    pdf.Object(5, "<< /Producer (five) >>");
    pdf.Xref(" /Root 1 0 R");
    EXPECT_EQ(Count(pdf.str()), 7);
    const std::size_t prev = LastStartxref(pdf.str());
    const std::string freed = pdf.str() + "xref\n5 1\n0000000000 00001 f\r\ntrailer\n<< /Size 6 /Root 1 0 R /Prev " +
                              std::to_string(prev) + " >>\nstartxref\n" + std::to_string(pdf.size()) + "\n%%EOF\n";
    EXPECT_EQ(Count(freed), 2);
    EXPECT_EQ(Structural(), 2);
    for (const Route r : {Route::Text, Route::Table}) {
        BrastelPeer::SetOnlyRoute(*counter, r);
        EXPECT_EQ(Count(freed), -1) << "route " << static_cast<int>(r) << " has no tree to walk: it hands on";
    }
    BrastelPeer::SetOnlyRoute(*counter, std::nullopt);
}

// ---- damaged stream files -------------------------------------------------

TEST_F(StreamRoute, WrongLengthsAreRecoveredAsReadersRecoverThem) {
    StreamDocOptions o;
    o.pages = 5;
    o.xref.compress = false;
    const std::string good = StreamDocument(o).str();
    const std::size_t xrefAt = good.rfind("11 0 obj");
    const std::size_t lengthAt = good.find("/Length ", xrefAt) + 8;
    const std::size_t digits = good.find(' ', lengthAt) - lengthAt;
    const long length = std::stol(good.substr(lengthAt, digits));
    for (const long wrong : {length + 9, length - 3, 0L}) {
        std::string bytes = good;
        bytes.replace(lengthAt, digits, std::to_string(wrong));
        // The offset after "startxref" stays right: the object starts before the change.
        EXPECT_EQ(Count(bytes), 5) << wrong;
        EXPECT_EQ(route(), Route::Stream) << wrong;
    }
    // The object stream's /Length too.
    const std::string objstm = Patch(good, "/Filter /FlateDecode /Length ", "/Filter /FlateDecode /Length 1");
    EXPECT_EQ(Count(objstm), 5);
    EXPECT_EQ(route(), Route::Stream);
}

TEST_F(StreamRoute, DamagedFilesAreHandedOnNeverMiscounted) {
    StreamDocOptions o;
    o.pages = 5;
    const std::string good = StreamDocument(o).str();
    const std::size_t xrefAt = LastStartxref(good);
    auto withStartxref = [&](std::size_t offset) {
        return good.substr(0, good.rfind("startxref\n")) + "startxref\n" + std::to_string(offset) + "\n%%EOF\n";
    };
    struct Variant {
        const char* name;
        std::string bytes;
    };
    std::string corrupt = good;
    corrupt[xrefAt + good.substr(xrefAt).find("stream\n") + 10] ^= 0x5A;  // inside the deflate data
    const Variant variants[] = {
        {"startxref past the end", withStartxref(good.size() + 100)},
        {"startxref into an object", withStartxref(xrefAt + 3)},
        {"startxref at the object stream", withStartxref(good.find("10 0 obj"))},
        {"corrupt deflate data", corrupt},
        {"entries wider than the data", Patch(good, "/W [1 4 2]", "/W [1 4 3]")},
        {"offsets moved by an insertion", Patch(good, "%\xE2\xE3\xCF\xD3\n", "%\xE2\xE3\xCF\xD3\n% inserted\n")},
        {"unknown filter", PatchLast(good, "/Filter /FlateDecode", "/Filter /LZWDecode  ")},
    };
    for (const Variant& v : variants) {
        const std::int32_t n = Count(v.bytes);
        EXPECT_TRUE(n == 5 || n == -1) << v.name << " gave " << n;
        EXPECT_NE(route(), Route::Stream) << v.name;
    }
    // Cut anywhere: the count is right or there is none.
    for (std::size_t cut = 16; cut < good.size(); cut += 97) {
        const std::int32_t n = Count(good.substr(0, cut));
        EXPECT_TRUE(n == 5 || n < 1) << "cut at " << cut << " gave " << n;
    }
}

TEST_F(StreamRoute, DamagedStreamFilesCountedFromTheirObjectStreams) {
    // The catalog and the tree live only in object streams; with the
    // cross-reference unusable, the object scan finds them there, as
    // readers rebuilding the file do.
    StreamDocOptions o;
    o.pages = 6;
    const std::string good = StreamDocument(o).str();
    const std::size_t xrefAt = LastStartxref(good);
    const std::string tail = good.substr(good.rfind("startxref\n"));
    std::string corrupt = good;
    corrupt[xrefAt + good.substr(xrefAt).find("stream\n") + 10] ^= 0x5A;
    struct Variant {
        const char* name;
        std::string bytes;
    };
    const Variant variants[] = {
        {"startxref past the end", Patch(good, tail, "startxref\n999999\n%%EOF\n")},
        {"corrupt cross-reference stream", corrupt},
        {"cut inside the cross-reference stream", good.substr(0, xrefAt + 60)},
        {"cut before the cross-reference stream", good.substr(0, xrefAt)},
    };
    for (const Variant& v : variants) {
        EXPECT_EQ(Count(v.bytes), 6) << v.name;
        EXPECT_EQ(route(), Route::ObjectScan) << v.name;
    }
    // A stale count the file's objects could hold is the answer there too.
    o.countText = "9";
    const std::string stale = StreamDocument(o).str();
    EXPECT_EQ(Count(stale.substr(0, LastStartxref(stale))), 9);
}

TEST_F(StreamRoute, ObjectStreamBombIsDecodedNoFurtherThanTheCountNeeds) {
    // The catalog and the tree at the start of an object stream that
    // inflates to a gigabyte: the stream route, or the object scan when the
    // cross-reference is broken, reads the first KB of it and counts; no
    // reader after them (libqpdf would hold it whole) decodes it.
    std::set<Route> ran;
    BrastelPeer::SetBeforeRoute(*counter, [&](Route r) { ran.insert(r); });
    auto bomb = [](bool soundCrossReference, const std::string& count = "1") {
        StreamPdfBuilder pdf;
        pdf.ObjectStream(10, {{1, "<< /Type /Catalog /Pages 2 0 R >>"}, {2, "<< /Type /Pages /Kids [3 0 R] /Count " + count + " >>"}},
                         true, std::size_t{1} << 30);
        pdf.Object(3, "<< /Type /Page /Parent 2 0 R >>");
        pdf.XrefStream(11, " /Root 1 0 R");
        return soundCrossReference ? pdf.str() : Patch(pdf.str(), "/Type /XRef", "/Type /XRaf");
    };
    EXPECT_EQ(Count(bomb(true)), 1);
    EXPECT_EQ(route(), Route::Stream);
    EXPECT_FALSE(ran.count(Route::Structural));
    ran.clear();
    EXPECT_EQ(Count(bomb(false)), 1);
    EXPECT_EQ(route(), Route::ObjectScan);
    EXPECT_FALSE(ran.count(Route::Reconstruction));
    // With the page gone and a /Count too large to stand, the scan cannot
    // count; it finds the stream inflating past any object stream's size,
    // and the count ends there with a reason.
    ran.clear();
    EXPECT_EQ(Count(Patch(bomb(false, "99"), "3 0 obj", "3 0 xbj")), -1);
    EXPECT_TRUE(ran.count(Route::ObjectScan));
    EXPECT_FALSE(ran.count(Route::Reconstruction));
    EXPECT_EQ(LastReasonCode(*counter), component::CountReason::Damaged);
}

TEST_F(StreamRoute, TreeInStreamsThatNoReaderDecodesEndsAtTheScan) {
    // A damaged file whose object streams use a filter neither we nor
    // libqpdf decode: where the tree is inside them, nobody can count it and
    // the scan says so, without libqpdf rebuilding the whole file to fail.
    // Where the tree is a plain object, or libqpdf knows the filter, the
    // readers after the scan still get their turn.
    std::set<Route> ran;
    BrastelPeer::SetBeforeRoute(*counter, [&](Route r) { ran.insert(r); });
    const auto damaged = [](bool treeInStream, const std::string& filter) {
        StreamPdfBuilder pdf;
        if (treeInStream) {
            pdf.ObjectStream(10, {{1, "<< /Type /Catalog /Pages 2 0 R >>"}, {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"}});
        } else {
            pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
            pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
            pdf.ObjectStream(10, {{4, "<< /Producer (x) >>"}});
        }
        pdf.Object(3, "<< /Type /Page /Parent 2 0 R >>");
        pdf.XrefStream(11, " /Root 1 0 R");
        const std::string sealed = Patch(pdf.str(), "/Filter /FlateDecode", "/Filter " + filter);
        return Patch(sealed, "/Type /XRef", "/Type /XRaf");
    };
    for (const char* filter : {"/BrotliDecode", "[/BrotliDecode]", "[/FlateDecode /JBIG2Decode]"}) {
        ran.clear();
        EXPECT_EQ(Count(damaged(true, filter)), -1) << filter;
        EXPECT_TRUE(ran.count(Route::ObjectScan)) << filter;
        EXPECT_FALSE(ran.count(Route::Reconstruction)) << filter;
        EXPECT_EQ(LastReasonCode(*counter), component::CountReason::Damaged) << filter;
    }
    EXPECT_EQ(Count(damaged(false, "/BrotliDecode")), 1) << "the tree is plain: the scan counts it";
    // LZW is libqpdf's to decode (though not ours): its reconstruction runs.
    ran.clear();
    EXPECT_EQ(Count(damaged(true, "/LZWDecode")), -1);
    EXPECT_TRUE(ran.count(Route::Reconstruction));
}

TEST_F(StreamRoute, ObjectStreamOfAnyDecodedSizeIsReadAsAStream) {
    // Valid, and its object stream inflates to 24 MB: the route inflates
    // only as far as the tree, reading the file once.
    StreamPdfBuilder pdf;
    pdf.ObjectStream(10, {{1, "<< /Type /Catalog /Pages 2 0 R >>"}, {2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>"}},
                     true, std::size_t{24} << 20);
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R >>");
    pdf.XrefStream(11, " /Root 1 0 R");
    EXPECT_LT(pdf.size(), std::size_t{1} << 20);
    EXPECT_EQ(Count(pdf.str()), 1);
    EXPECT_EQ(route(), Route::Stream);
    EXPECT_LT(BrastelPeer::BytesRead(*counter), std::int64_t{1} << 20);
}

// ---- files rewritten by the qpdf command ---------------------------------

bool Qpdf(const std::string& args) {
    const int rc = std::system(("qpdf " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) && (WEXITSTATUS(rc) == 0 || WEXITSTATUS(rc) == 3);
}

TEST_F(StreamRoute, FilesRewrittenByQpdf) {
    if (std::system("qpdf --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "qpdf command not installed";
    DocOptions d;
    d.pages = 9;
    const std::string in = dir.Write("plain.pdf", StandardDocument(d).str());
    const std::string out = dir / "out.pdf";
    struct Rewrite {
        const char* args;
        std::int32_t count;
        Route route;
    };
    const Rewrite rewrites[] = {
        {"--object-streams=generate", 9, Route::Stream},
        {"--object-streams=generate --compress-streams=y --recompress-flate", 9, Route::Stream},
        {"--object-streams=generate --linearize", 9, Route::Stream},
        {"--object-streams=generate --newline-before-endstream", 9, Route::Stream},
        // AES object streams that the empty password opens.
        {"--object-streams=generate --encrypt '' owner 256 --", 9, Route::Stream},
        {"--object-streams=generate --encrypt user owner 256 --", -1, Route::None},  // needs the password
        {"--object-streams=generate --encrypt user owner 128 --use-aes=y --", -1, Route::None},
    };
    for (const Rewrite& r : rewrites) {
        ASSERT_TRUE(Qpdf(std::string(r.args) + " " + in + " " + out)) << r.args;
        EXPECT_EQ(counter.Count(out), r.count) << r.args;
        EXPECT_EQ(counter.LastRoute(), r.route) << r.args;
    }
    // A stale /Count, kept by qpdf's rewrite: the same answer as the
    // classic file it came from.
    PdfBuilder stale("\n");
    stale.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    stale.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count 7 >>");
    stale.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R >>");
    stale.Object(4, "<< /Type /Page /Parent 2 0 R /Contents 6 0 R >>");
    stale.Object(5, "<< /Length 0 >>\nstream\n\nendstream");
    stale.Object(6, "<< /Length 0 >>\nstream\n\nendstream");
    stale.Object(7, "<< /Producer (a stale count) >>");
    stale.Xref(" /Root 1 0 R /Info 7 0 R");
    const std::string stalePath = dir.Write("stale.pdf", stale.str());
    EXPECT_EQ(counter.Count(stalePath), 7);
    EXPECT_EQ(counter.LastRoute(), Route::Text);
    ASSERT_TRUE(Qpdf("--object-streams=generate " + stalePath + " " + out));
    EXPECT_EQ(counter.Count(out), 7);
    EXPECT_EQ(counter.LastRoute(), Route::Stream);
    EXPECT_EQ(CountStructural(out), 7);
}

}  // namespace
}  // namespace brastel::test
