// Damaged files and files that change while they are counted: an answer or
// "Error" in bounded time, from the object scan where the objects are
// intact, and never a loop that waits for bytes that are gone.
#include "routes/objectscan.h"
#include "pdfbuilder.h"
#include "testsupport.h"

#include <component/count_reason.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <set>
#include <thread>

namespace brastel::test {
namespace {

// Catalog 1, tree root 2 over pages 3 and 4, page 3's content stream 5
// holding streamData, and a table whose "startxref" leads nowhere.
std::string Damaged(const std::string& streamData, const std::string& count = "2",
                    const std::string& length = "") {
    PdfBuilder pdf("\n");
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R 4 0 R] /Count " + count + " >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R /Contents 5 0 R >>");
    pdf.Object(4, "<< /Type /Page /Parent 2 0 R >>");
    pdf.Object(5, "<< /Length " + (length.empty() ? std::to_string(streamData.size()) : length) + " >>\nstream\n" +
                      streamData + "\nendstream");
    pdf.Raw("xref\n0 6\n0000000000 65535 f \ntrailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n99999999\n%%EOF\n");
    return pdf.str();
}

// Content that looks like objects to a scan that does not skip stream data:
// a later object 2 that would make the document one page.
const std::string kFakeObjects =
    "BT (x) Tj ET\n2 0 obj\n<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n0 0 m 1 1 l S\n";

class Damage : public ::testing::Test {
protected:
    std::int32_t Count(const std::string& bytes, const std::string& seed = "") {
        KeepAsSeed(seed, bytes);
        return counter.Count(dir.Write("doc.pdf", bytes));
    }
    TempDir dir;
    Counter counter;
};

// ---- the object scan ---------------------------------------------------------

TEST_F(Damage, ScanSkipsStreamDataByARightLength) {
    EXPECT_EQ(Count(Damaged(kFakeObjects), "scan-stream-data-holds-objects"), 2);
    EXPECT_EQ(counter.LastRoute(), Route::ObjectScan);
    // A /Length that is wrong, or kept in an object written just before:
    // the data still ends at its "endstream".
    EXPECT_EQ(Count(Damaged(kFakeObjects, "2", "7"), "scan-wrong-stream-length"), 2);
    EXPECT_EQ(counter.LastRoute(), Route::ObjectScan);
    std::string bytes = Damaged(kFakeObjects, "2", "6 0 R");
    bytes = Patch(bytes, "5 0 obj", "6 0 obj\n" + std::to_string(kFakeObjects.size()) + "\nendobj\n5 0 obj");
    EXPECT_EQ(Count(bytes), 2);
    EXPECT_EQ(counter.LastRoute(), Route::ObjectScan);
}

TEST_F(Damage, ScanReadsFilesOfAnySize) {
    // 100 MB, most of it one stream (a hole in a sparse file): once too
    // large for the scan, which held the whole file in memory.
    const std::string head = Damaged("").substr(0, Damaged("").find("5 0 obj"));
    const std::int64_t dataBytes = std::int64_t{100} << 20;
    const std::string path = dir.Write("big.pdf", head + "5 0 obj\n<< /Length " + std::to_string(dataBytes) +
                                                      " >>\nstream\n");
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(fd, 0);
    const std::string tail = "\nendstream\nendobj\nxref\n0 1\n0000000000 65535 f \ntrailer\n<< /Root 1 0 R >>\n"
                             "startxref\n99999999\n%%EOF\n";
    ASSERT_EQ(::ftruncate(fd, ::lseek(fd, 0, SEEK_END) + dataBytes), 0);
    ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), ::lseek(fd, 0, SEEK_END)), static_cast<ssize_t>(tail.size()));
    ::close(fd);
    EXPECT_EQ(counter.Count(path), 2);
    EXPECT_EQ(counter.LastRoute(), Route::ObjectScan);
}

TEST_F(Damage, NoObjectHeaderAtAllNeverReachesTheReconstruction) {
    std::set<Route> ran;
    BrastelPeer::SetBeforeRoute(*counter, [&](Route r) { ran.insert(r); });
    EXPECT_EQ(Count("%PDF-1.4\n" + std::string(200000, 'x') + "\nstartxref\n5\n%%EOF\n"), -1);
    EXPECT_TRUE(ran.count(Route::ObjectScan));
    EXPECT_FALSE(ran.count(Route::Reconstruction));
    // Objects whose tree the scan cannot confirm: libqpdf reconstructs.
    ran.clear();
    // No /Count, and a kid no header defines: the scan cannot tell that
    // from damage; libqpdf takes it as null and counts the other two.
    EXPECT_EQ(Count(Patch(Damaged(""), "/Kids [3 0 R 4 0 R] /Count 2", "/Kids [3 0 R 4 0 R 9 0 R]")), 2);
    EXPECT_EQ(counter.LastRoute(), Route::Reconstruction);
    // /Count 9 is more than the file's five objects and two kids could
    // hold: the leaves decide, by the rule every route shares.
    EXPECT_EQ(Count(Damaged("", "9")), 2);
    EXPECT_EQ(counter.LastRoute(), Route::ObjectScan);
}

TEST_F(Damage, IndexKeepsTheNewestDefinitionAndTheObjectStreams) {
    PdfBuilder pdf("\n");
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    const std::size_t objstm = pdf.Object(6, "<< /Type /ObjStm /N 1 /First 4 /Length 9 >>\nstream\n3 0 <<>>\n\nendstream");
    // No /Count: the leaves decide, and the page is inside the object stream.
    const std::size_t newer = pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] >>");
    pdf.Raw("trailer\n<< /Root 1 0 R >>\n");
    const std::string path = dir.Write("idx.pdf", pdf.str());
    const int fd = ::open(path.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ObjectIndex index;
    EXPECT_EQ(ScanObjects(fd, static_cast<std::int64_t>(pdf.size()), index), ScanStatus::Read);
    ASSERT_NE(index.Find(2), nullptr);
    EXPECT_EQ(index.Find(2)->offset, static_cast<std::int64_t>(newer));
    EXPECT_EQ(index.objectStreams, std::vector<std::int64_t>{static_cast<std::int64_t>(objstm)});
    EXPECT_EQ(index.trailerRoot, 1);
    EXPECT_EQ(index.Find(3), nullptr);  // inside the object stream: for its decoder
    // A reader of compressed objects fills in what the scan cannot see.
    std::int32_t count = 0;
    EXPECT_EQ(CountFromIndex(fd, static_cast<std::int64_t>(pdf.size()), index, count), ScanVerdict::Unconfirmed);
    CompressedObjects objStm;
    objStm.read = [&](std::int64_t number, std::string& text, std::int64_t& at) {
        text = "<< /Type /Page /Parent 2 0 R >>";
        at = static_cast<std::int64_t>(objstm);
        return number == 3;
    };
    EXPECT_EQ(CountFromIndex(fd, static_cast<std::int64_t>(pdf.size()), index, count, objStm), ScanVerdict::Counted);
    EXPECT_EQ(count, 1);
    ::close(fd);
}

TEST_F(Damage, TreeWalkCountsDuplicateKidsAndStopsAtLoops) {
    // A kid listed twice counts twice, as readers count it...
    std::string bytes = Patch(Damaged("", "3"), "/Kids [3 0 R 4 0 R]", "/Kids [3 0 R 4 0 R 4 0 R]");
    EXPECT_EQ(Count(bytes, "scan-duplicate-kids"), 3);
    EXPECT_EQ(counter.LastRoute(), Route::ObjectScan);
    // ...but a node that is its own ancestor gives the scan no answer.
    bytes = Patch(Damaged("", "9"), "/Kids [3 0 R 4 0 R]", "/Kids [3 0 R 4 0 R 2 0 R]");
    Count(bytes);
    EXPECT_NE(counter.LastRoute(), Route::ObjectScan);
}

// ---- a file that shrinks while it is read --------------------------------------

// Counts on another thread; a count that does not end in time fails the
// test and ends the program rather than hang it.
std::int32_t CountWithDeadline(Counter& counter, const std::string& path) {
    std::packaged_task<std::int32_t()> task([&] { return counter.Count(path); });
    auto result = task.get_future();
    std::thread worker(std::move(task));
    if (result.wait_for(std::chrono::seconds(60)) != std::future_status::ready) {
        ADD_FAILURE() << "the count did not end";
        std::_Exit(1);
    }
    worker.join();
    return result.get();
}

TEST_F(Damage, FileThatShrinksBetweenOpenAndReadsEndsEveryReader) {
    // A /Count that is no number: the scan leaves it to libqpdf, so every
    // reader runs; the file is cut to a quarter just before one of them starts.
    const std::string bytes = Damaged(std::string(4 << 20, 'q'), "/Five");
    for (const Route at : {Route::Text, Route::Table, Route::Structural, Route::ObjectScan, Route::Reconstruction}) {
        const std::string path = dir.Write("shrinks.pdf", bytes);
        BrastelPeer::SetBeforeRoute(*counter, [&](Route r) {
            if (r == at) {
                ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(bytes.size() / 4)), 0);
            }
        });
        EXPECT_EQ(CountWithDeadline(counter, path), -1) << "cut before route " << static_cast<int>(at);
        EXPECT_EQ(LastReasonCode(*counter), component::CountReason::Changed) << static_cast<int>(at);
    }
    // Cut while libqpdf reconstructs a large file (256 MB, sparse): its
    // search through the file meets the new end halfway.
    const std::string big = dir / "big.pdf";
    {
        const std::string head = Damaged("", "/Five").substr(0, Damaged("", "/Five").find("5 0 obj"));
        const std::int64_t dataBytes = std::int64_t{256} << 20;
        dir.Write("big.pdf", head + "5 0 obj\n<< /Length " + std::to_string(dataBytes) + " >>\nstream\n");
        const std::string tail = "\nendstream\nendobj\ntrailer\n<< /Root 1 0 R >>\nstartxref\n99999999\n%%EOF\n";
        const int fd = ::open(big.c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        const off_t end = ::lseek(fd, 0, SEEK_END) + dataBytes;
        ASSERT_EQ(::pwrite(fd, tail.data(), tail.size(), end), static_cast<ssize_t>(tail.size()));
        ::close(fd);
    }
    std::thread cutter;
    BrastelPeer::SetBeforeRoute(*counter, [&](Route r) {
        if (r != Route::Reconstruction) return;
        cutter = std::thread([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            ASSERT_EQ(::truncate(big.c_str(), 1 << 20), 0);
        });
    });
    const std::int32_t n = CountWithDeadline(counter, big);
    if (cutter.joinable()) cutter.join();
    EXPECT_EQ(n, -1);
    EXPECT_EQ(LastReasonCode(*counter), component::CountReason::Changed);
    // A file cut inside its last lines before the text route reads them.
    DocOptions o;
    o.pages = 3;
    const std::string whole = StandardDocument(o).str();
    const std::string path = dir.Write("cut.pdf", whole);
    BrastelPeer::SetBeforeRoute(*counter, [&](Route r) {
        if (r == Route::Text) {
            ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(whole.size() - 40)), 0);
        }
    });
    EXPECT_EQ(CountWithDeadline(counter, path), -1);
    EXPECT_EQ(LastReasonCode(*counter), component::CountReason::Changed);
}

TEST_F(Damage, ReadPastTheNewEndFailsInsteadOfKeepingOldBytes) {
    const std::string path = dir.Write("read.pdf", std::string(8192, 'a'));
    Counter c;
    ASSERT_TRUE(BrastelPeer::Open(*c, path));
    ASSERT_EQ(::truncate(path.c_str(), 100), 0);
    component::Text buffer(50, ' ');
    EXPECT_LT(BrastelPeer::ReadAt(*c, 4001, buffer), 0);  // cut away since the open
    buffer.assign(10, 'z');
    EXPECT_EQ(BrastelPeer::ReadAt(*c, 9001, buffer), component::S_OK);  // past the end seen at open
    EXPECT_EQ(buffer, std::string(10, 'z'));
    BrastelPeer::Close(*c);
}

}  // namespace
}  // namespace brastel::test
