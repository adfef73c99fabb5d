// ReadAt, FindCase and ExtractNumber on an open file.
#include "testsupport.h"

#include <component/read_fully.h>

#include <fcntl.h>
#include <unistd.h>

namespace brastel::test {
namespace {

using component::E_NOTOPEN;
using component::S_OK;
using component::Text;

class Primitives : public ::testing::Test {
protected:
    void OpenWith(const std::string& bytes) {
        ASSERT_TRUE(BrastelPeer::Open(*counter, dir.Write("f.bin", bytes)));
    }
    void TearDown() override { BrastelPeer::Close(*counter); }

    component::HResult Find(Text search, std::int32_t start, std::int32_t length, Text& out, Text alt = "") {
        return counter->FindCase(search, start, length, alt, out);
    }
    component::HResult Extract(Text& text, Text start, Text end, std::int16_t mode, std::int32_t window,
                               std::int32_t& out) {
        return BrastelPeer::ExtractNumber(*counter, text, start, end, mode, window, out);
    }

    TempDir dir;
    Counter counter;
};

TEST_F(Primitives, ReadAtKeepsCharactersPastTheEnd) {
    OpenWith("0123456789");
    Text buffer(4, ' ');
    ASSERT_EQ(BrastelPeer::ReadAt(*counter, 1, buffer), S_OK);
    EXPECT_EQ(buffer, "0123");
    ASSERT_EQ(BrastelPeer::ReadAt(*counter, 9, buffer), S_OK);  // 1-based: bytes 8 and 9
    EXPECT_EQ(buffer, "8923");                                   // the rest is left over
    ASSERT_EQ(BrastelPeer::ReadAt(*counter, 50, buffer), S_OK);
    EXPECT_EQ(buffer, "8923");
    EXPECT_LT(BrastelPeer::ReadAt(*counter, 0, buffer), 0);
    EXPECT_LT(BrastelPeer::ReadAt(*counter, -5, buffer), 0);
}

TEST_F(Primitives, ReadAtAcrossBlocksAndLargeReads) {
    std::string bytes;
    for (int i = 0; bytes.size() < 100000; ++i) bytes += std::to_string(i) + ",";
    OpenWith(bytes);
    const auto size = static_cast<std::int32_t>(bytes.size());
    for (std::int32_t position : {1, 1000, 1024, 1025, 2047, 50000, size - 300}) {
        Text buffer(2500, '#');
        ASSERT_EQ(BrastelPeer::ReadAt(*counter, position, buffer), S_OK);
        const std::string expected = bytes.substr(static_cast<std::size_t>(position - 1), 2500);
        EXPECT_EQ(buffer.substr(0, expected.size()), expected) << position;
        EXPECT_EQ(buffer.substr(expected.size()), std::string(2500 - expected.size(), '#')) << position;
    }
    Text whole(bytes.size() + 10, '#');  // more than the read cache holds
    ASSERT_EQ(BrastelPeer::ReadAt(*counter, 1, whole), S_OK);
    EXPECT_EQ(whole, bytes + std::string(10, '#'));
}

TEST_F(Primitives, FindCaseReturnsChunksPlusOne) {
    OpenWith("aaaaKEYbbbbccccdddd");
    Text out;
    // Found in the first chunk: that chunk plus the extra one.
    ASSERT_EQ(Find("KEY", 1, 8, out), S_OK);
    EXPECT_EQ(out, "aaaaKEYbbbbccccd");
    // Across two chunks: found after the second, three chunks returned.
    ASSERT_EQ(Find("KEY", 1, 5, out), S_OK);
    EXPECT_EQ(out, "aaaaKEYbbbbcccc");
    // The alternate keyword ends the search too.
    ASSERT_EQ(Find("none", 1, 4, out, "bbb"), S_OK);
    EXPECT_EQ(out, "aaaaKEYbbbbccccd");
}

TEST_F(Primitives, FindCaseToTheEndRepeatsThePreviousChunk) {
    OpenWith("0123456789");
    Text out;
    ASSERT_EQ(Find("zz", 1, 4, out), S_OK);
    // Chunks 0123 4567 89(67); the extra chunk past the end keeps 8967.
    EXPECT_EQ(out, "0123456789678967");
    ASSERT_EQ(Find("zz", 30, 4, out), S_OK);  // start past the end: no chunk, the extra is blank
    EXPECT_EQ(out, "    ");
}

TEST_F(Primitives, FindCaseRejectsBadCalls) {
    OpenWith("0123456789");
    Text out;
    EXPECT_LT(Find("x", 1, 0, out), 0);  // would never advance
    EXPECT_LT(Find("x", 0, 4, out), 0);  // position below 1
    EXPECT_LT(Find("x", 1, INT32_MAX, out), 0);  // a chunk no search may gather
    ASSERT_EQ(Find("x", INT32_MAX - 2, 4, out), S_OK);  // past the end: only the blank extra chunk
    EXPECT_EQ(out, "    ");
    BrastelPeer::Close(*counter);
    EXPECT_EQ(Find("x", 1, 4, out), E_NOTOPEN);
}

TEST_F(Primitives, ExtractNumberExamples) {
    OpenWith("x");
    std::int32_t n = 0;
    Text t = "startxref\r\n1234\r\n%%EOF\r\n";
    ASSERT_EQ(Extract(t, "startxref", "%%", 0, 0, n), S_OK);
    EXPECT_EQ(n, 1234);
    EXPECT_EQ(t, "\r\n1234\r\n");

    t = "/Type /Catalog /Pages 3 0 R >>";
    ASSERT_EQ(Extract(t, "/Pages", " ", 0, 0, n), S_OK);
    EXPECT_EQ(n, 3);

    t = "<< /Count 12/Kids [4 0 R]\r\n>>";
    ASSERT_EQ(Extract(t, "/Count", "\r\n", 0, 0, n), S_OK);
    EXPECT_EQ(n, 12);

    t = "<< /Count 12 >>\r\nendobj";
    n = -99;
    EXPECT_LT(Extract(t, "/Count", "\r\n", 0, 0, n), 0);
    EXPECT_EQ(n, -99);

    t = "/Pages 3";  // no blank after the number
    EXPECT_LT(Extract(t, "/Pages", " ", 0, 0, n), 0);

    t = "/Parent 7/Type /Page ";
    ASSERT_EQ(Extract(t, "/Parent", " ", 0, 0, n), S_OK);
    EXPECT_EQ(n, 7);
}

TEST_F(Primitives, ExtractNumberWritesLineEndAndWindowBack) {
    OpenWith("x");
    Counter& c = counter;
    Text text = "f\n0 25\n0000000000 65535 f \n";
    Text start = "\r\n", end = " ";
    std::int16_t mode = 1;
    std::int32_t window = 20, n = -1;
    ASSERT_EQ(BrastelPeer::ExtractNumber(*c, text, start, end, mode, window, n), S_OK);
    EXPECT_EQ(start, "\n");  // detected LF, stored into the start mark
    EXPECT_EQ(n, 0);
    EXPECT_EQ(window, 20);

    // Mode 2 stores into the end mark; the second detection (on the cut
    // text) is the one that stays.
    text = " 25\r\n0000000000";
    start = " ";
    end = "x";
    mode = 2;
    window = 0;
    ASSERT_EQ(BrastelPeer::ExtractNumber(*c, text, start, end, mode, window, n), S_OK);
    EXPECT_EQ(n, 25);
    EXPECT_EQ(end, "\r\n");
    EXPECT_EQ(window, 15);  // 0 becomes the text's length

    // An absent start mark keeps the text from character Len(mark) on.
    text = "Q 9 x";
    start = "QQ";
    end = " ";
    mode = 0;
    window = 0;
    ASSERT_EQ(BrastelPeer::ExtractNumber(*c, text, start, end, mode, window, n), S_OK);
    EXPECT_EQ(n, 9);
    EXPECT_EQ(text, "9");  // left holding what was converted

    // A start mark longer than the text plus one fails.
    text = "ab";
    start = "abcd";
    window = 0;
    EXPECT_LT(BrastelPeer::ExtractNumber(*c, text, start, end, mode, window, n), 0);
    // An empty end mark leaves an empty text, which does not convert.
    text = "/Count 5";
    start = "/Count";
    end = "";
    window = 0;
    EXPECT_LT(BrastelPeer::ExtractNumber(*c, text, start, end, mode, window, n), 0);
}

// The one positioned read of the counters: whole runs, short only where the
// file ends, -1 on a read error, and the descriptor's offset never moved.
TEST(ReadFully, ReadsWholeRunsShortOnlyAtTheEndAndFailsOnBadDescriptors) {
    TempDir dir;
    const std::string bytes(100000, 'x');
    const int fd = ::open(dir.Write("r.bin", bytes + "tail").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    std::string out(8, '\0');
    EXPECT_EQ(component::ReadFully(fd, out.data(), 4, 100000), 4);
    EXPECT_EQ(out.substr(0, 4), "tail");
    EXPECT_EQ(component::ReadFully(fd, out.data(), 8, 100002), 2);  // the file ends
    EXPECT_EQ(component::ReadFully(fd, out.data(), 8, 200000), 0);
    std::string big(bytes.size() + 4, '\0');
    EXPECT_EQ(component::ReadFully(fd, big.data(), big.size(), 0), static_cast<std::int64_t>(big.size()));
    EXPECT_EQ(big, bytes + "tail");
    EXPECT_EQ(::lseek(fd, 0, SEEK_CUR), 0);
    ::close(fd);
    EXPECT_EQ(component::ReadFully(fd, out.data(), 4, 0), -1);
}

}  // namespace
}  // namespace brastel::test
