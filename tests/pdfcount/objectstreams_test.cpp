// Object streams of any decoded size: inflated as a stream up to the
// objects a count needs, so a valid file is counted natively whatever its
// size, and a bomb ends the count once the work a count may do runs out.
#include "streams/inflate.h"
#include "heappeak.h"
#include "pdfbuilder.h"
#include "streambuilder.h"
#include "testsupport.h"

#include <cstring>
#include <set>

namespace brastel::test {
namespace {

// Bytes handed out in pieces of at most `piece`, as a file span is.
class PieceSource : public pdf::ByteSource {
public:
    PieceSource(std::string data, std::size_t piece) : data_(std::move(data)), piece_(piece) {}
    std::ptrdiff_t Pull(char* into, std::size_t n) override {
        n = std::min({n, piece_, data_.size() - at_});
        std::memcpy(into, data_.data() + at_, n);
        at_ += n;
        return static_cast<std::ptrdiff_t>(n);
    }
    bool Rewind() override {
        at_ = 0;
        return true;
    }

private:
    std::string data_;
    std::size_t piece_;
    std::size_t at_ = 0;
};

std::string Text(std::size_t n) {
    std::string s;
    for (std::size_t i = 0; s.size() < n; ++i) s += std::to_string(i * 7919) + " 0 R ";
    s.resize(n);
    return s;
}

TEST(StreamInflater, ReadsSkipsAndRewindsWhateverThePieces) {
    const std::string plain = Text(300000);
    const std::string z = Deflate(plain);
    for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{4096}, z.size()}) {
        PieceSource src(z, piece);
        pdf::StreamInflater in(src, true);
        std::string out;
        ASSERT_EQ(in.Read(1000, out), pdf::StreamInflater::Step::More) << piece;
        EXPECT_EQ(out, plain.substr(0, 1000));
        ASSERT_EQ(in.Skip(200000), pdf::StreamInflater::Step::More);
        out.clear();
        EXPECT_EQ(in.Read(200000, out), pdf::StreamInflater::Step::End) << "the stream ends first";
        EXPECT_EQ(out, plain.substr(201000));
        EXPECT_EQ(in.position(), plain.size());
        ASSERT_TRUE(in.Rewind());
        out.clear();
        EXPECT_EQ(in.Read(10, out), pdf::StreamInflater::Step::More);
        EXPECT_EQ(out, plain.substr(0, 10));
    }
    // No filter: the bytes pass through.
    PieceSource raw(plain, 999);
    pdf::StreamInflater through(raw, false);
    std::string out;
    EXPECT_EQ(through.Read(plain.size() + 1, out), pdf::StreamInflater::Step::End);
    EXPECT_EQ(out, plain);
}

TEST(StreamInflater, CutOrCorruptDataAsTheWholeDecoderTakesIt) {
    const std::string plain = Text(100000);
    const std::string z = Deflate(plain);
    // Cut short: what decoded is kept, as the whole decoder keeps it.
    std::string whole;
    pdf::Inflate(z.substr(0, z.size() / 2), plain.size(), whole);
    PieceSource cut(z.substr(0, z.size() / 2), 512);
    pdf::StreamInflater a(cut, true);
    std::string out;
    EXPECT_EQ(a.Read(plain.size(), out), pdf::StreamInflater::Step::End);
    EXPECT_EQ(out, whole);
    // A wrong checksum after all the data is kept too.
    std::string badSum = z;
    badSum.back() = static_cast<char>(badSum.back() ^ 1);
    PieceSource sum(badSum, 512);
    pdf::StreamInflater b(sum, true);
    out.clear();
    EXPECT_EQ(b.Read(plain.size() + 10, out), pdf::StreamInflater::Step::End);
    EXPECT_EQ(out, plain);
    // Not zlib data at all.
    PieceSource junk(std::string(5000, 'x'), 512);
    pdf::StreamInflater c(junk, true);
    out.clear();
    EXPECT_EQ(c.Read(10, out), pdf::StreamInflater::Step::Damaged);
    EXPECT_EQ(c.Skip(10), pdf::StreamInflater::Step::Damaged) << "and stays damaged";
}

class LargeObjectStreams : public ::testing::Test {
protected:
    std::int32_t Count(const std::string& bytes) {
        path = dir.Write("doc.pdf", bytes);
        return counter.Count(path);
    }
    TempDir dir;
    Counter counter;
    std::string path;
};

TEST_F(LargeObjectStreams, OneStreamOfManyObjectsIsCountedNatively) {
    // 65,542 and 100,000 small objects in one stream (13 and 20 MB decoded),
    // the tree before or after every page: the stream route reads the file
    // once, never handing it to libqpdf.
    std::set<Route> ran;
    BrastelPeer::SetBeforeRoute(*counter, [&](Route r) { ran.insert(r); });
    for (const int objects : {65542, 100000}) {
        for (const bool treeFirst : {true, false}) {
            ManyObjectsOptions o;
            o.objects = objects;
            o.treeFirst = treeFirst;
            int pages = 0;
            const std::string bytes = ManyObjectsDocument(o, &pages);
            ran.clear();
            EXPECT_EQ(Count(bytes), pages) << objects << " " << treeFirst;
            EXPECT_EQ(counter.LastRoute(), Route::Stream) << objects << " " << treeFirst;
            EXPECT_FALSE(ran.count(Route::Structural));
            EXPECT_LE(BrastelPeer::BytesRead(*counter), static_cast<std::int64_t>(bytes.size()) + (64 << 10));
        }
    }
}

TEST_F(LargeObjectStreams, LeavesOfATreeWithoutCountAreReadInOnePass) {
    // No /Count: every node and page is visited, in stream order.
    ManyObjectsOptions o;
    o.treeFirst = true;
    o.withCount = false;
    int pages = 0;
    const std::string bytes = ManyObjectsDocument(o, &pages);
    EXPECT_EQ(Count(bytes), pages);
    EXPECT_EQ(counter.LastRoute(), Route::Stream);
}

TEST_F(LargeObjectStreams, DamagedFilesAreScannedThroughStreamsOfAnySize) {
    // The same files with their cross-reference broken: the object scan
    // reads the 13 MB stream as a stream and counts them, where it once
    // left them to libqpdf's reconstruction (hundreds of MB).  The tree lies
    // at the stream's end, after the pass that indexes it: going back, the
    // stream is held whole once (13 MB, within the count's 16 MB for that).
    std::set<Route> ran;
    BrastelPeer::SetBeforeRoute(*counter, [&](Route r) { ran.insert(r); });
    for (const bool withCount : {true, false}) {
        ManyObjectsOptions o;
        o.withCount = withCount;
        int pages = 0;
        const std::string bytes = Patch(ManyObjectsDocument(o, &pages), "/Type /XRef", "/Type /XRaf");
        path = dir.Write("doc.pdf", bytes);
        ran.clear();
        const HeapPeak heap;
        EXPECT_EQ(counter.Count(path), pages) << withCount;
        EXPECT_EQ(counter.LastRoute(), Route::ObjectScan) << withCount;
        EXPECT_FALSE(ran.count(Route::Reconstruction)) << withCount;
        EXPECT_LT(heap.bytes(), std::size_t{20} << 20) << withCount;
    }
}

TEST_F(LargeObjectStreams, ObjectsPastTheBombLineEndTheCountWithAReason) {
    // The pairs name objects 300 MB into a stream of blanks: reaching them
    // would inflate past what any object stream holds.  The count ends
    // with a reason, and libqpdf never gets the file to decode it whole.
    std::set<Route> ran;
    BrastelPeer::SetBeforeRoute(*counter, [&](Route r) { ran.insert(r); });
    const std::string head = "1 300000000 2 300000040 ";
    StreamPdfBuilder pdf;
    pdf.Stream(10, "/Type /ObjStm /N 2 /First " + std::to_string(head.size()) + " /Filter /FlateDecode",
               DeflateRepeated(head, 512, ' '));
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R >>");
    // Objects 1 and 2 in stream 10: written by hand into the section.
    std::string bytes = pdf.str();
    const std::size_t tenAt = pdf.OffsetOf(10), threeAt = pdf.OffsetOf(3), xrefAt = bytes.size();
    auto entry = [](int type, std::size_t f2, int f3) {
        std::string e(1, static_cast<char>(type));
        for (int k = 3; k >= 0; --k) e += static_cast<char>((f2 >> (8 * k)) & 0xFF);
        e += static_cast<char>(0);
        e += static_cast<char>(f3);
        return e;
    };
    std::string entries = entry(0, 0, 0) + entry(2, 10, 0) + entry(2, 10, 1) + entry(1, threeAt, 0);
    for (int n = 4; n < 10; ++n) entries += entry(0, 0, 0);
    entries += entry(1, tenAt, 0) + entry(1, xrefAt, 0);
    bytes += "11 0 obj\n<< /Type /XRef /Size 12 /W [1 4 2] /Root 1 0 R /Length " + std::to_string(entries.size()) +
             " >>\nstream\n" + entries + "\nendstream\nendobj\nstartxref\n" + std::to_string(xrefAt) + "\n%%EOF\n";
    EXPECT_EQ(Count(bytes), -1);
    EXPECT_TRUE(ran.count(Route::Stream));
    EXPECT_FALSE(ran.count(Route::Structural));
    EXPECT_FALSE(ran.count(Route::Reconstruction));
    EXPECT_EQ(LastReasonCode(*counter), component::CountReason::Damaged);
}

TEST_F(LargeObjectStreams, StreamDataFoundAsReadersFindIt) {
    // Blanks before the line end after "stream", and "endstream" left out
    // after data of the right /Length: the object stream's data is found
    // all the same, as readers find it.
    StreamDocOptions o;
    o.pages = 4;
    const std::string good = StreamDocument(o).str();
    auto objStm = [&](const std::string& from, const std::string& to) {
        const auto at = good.find(from, good.find("/ObjStm"));
        std::string bytes = good;
        return bytes.replace(at, from.size(), to);
    };
    // In place, so no offset moves: ">>\nstream\n" becomes ">>stream \n"
    // (a blank before the line end), and "\nendstream" becomes
    // "\nendobj   " (no endstream).
    EXPECT_EQ(Count(objStm(">>\nstream\n", ">>stream \n")), 4);
    EXPECT_EQ(counter.LastRoute(), Route::Stream);
    EXPECT_EQ(Count(objStm("\nendstream\nendobj", "\nendobj\n         ")), 4);
    EXPECT_EQ(counter.LastRoute(), Route::Stream);
}

TEST_F(LargeObjectStreams, StreamDataFoundWhereverTheFirstReadOfItsObjectEnds) {
    // An object is read in growing windows, the first a few hundred bytes:
    // its dictionary may end anywhere near that window's end, with
    // "stream" and its line end cut off or not.  The data starts after the
    // line end all the same (a byte early or late is damage to the inflater,
    // and shifted entries in an uncompressed cross-reference stream).
    for (const bool compress : {true, false}) {
        for (int pad = 120; pad <= 300; ++pad) {
            StreamDocOptions o;
            o.pages = 3;
            o.xref.compress = compress;
            o.trailerExtra = "/Pad (" + std::string(static_cast<std::size_t>(pad), 'x') + ")";
            EXPECT_EQ(Count(StreamDocument(o).str()), 3) << pad << (compress ? " Flate" : " plain");
            EXPECT_EQ(counter.LastRoute(), Route::Stream) << pad << (compress ? " Flate" : " plain");
        }
    }
}

}  // namespace
}  // namespace brastel::test
