// The caret-delimited text, byte for byte.
#include "export/caret_text.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

using exporting::CaretText;
using exporting::ExportTable;
using Cells = std::vector<std::string>;

namespace {

TEST(CaretText, HeaderOnlyIsOneLineEndedByCrLf) {
    ExportTable t({"Name", "Path", "Size", "Page Count"});
    EXPECT_EQ(CaretText(t), "Name^Path^Size^Page Count^\r\n");
}

TEST(CaretText, EveryCellFollowedByCaretAndEveryLineByCrLf) {
    ExportTable t({"Name", "Path", "Size", "Page Count"});
    t.AppendRow(Cells{"a.pdf", "C:\\docs\\a.pdf", "     12 KB", "3"});
    t.AppendRow(Cells{"b.tif", "/b.tif", "      0 KB", ""});  // an empty cell: nothing between carets
    EXPECT_EQ(CaretText(t),
              "Name^Path^Size^Page Count^\r\n"
              "a.pdf^C:\\docs\\a.pdf^     12 KB^3^\r\n"
              "b.tif^/b.tif^      0 KB^^\r\n");
}

TEST(CaretText, OneColumnAndCellsWrittenUnchanged) {
    ExportTable t({"Path"});
    t.AppendRow(Cells{"/x/a^b \"q\".pdf"});  // caret, quotes and blanks are not quoted or escaped
    EXPECT_EQ(CaretText(t), "Path^\r\n/x/a^b \"q\".pdf^\r\n");
}

TEST(CaretText, Utf8NamesWithoutByteOrderMark) {
    ExportTable t({"Name"});
    t.AppendRow(Cells{"\xE6\x97\xA5\xE6\x9C\xAC.pdf"});  // 日本.pdf
    t.AppendRow(Cells{"\xD0\xBA\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0.tif"});  // книга.tif
    const std::string text = CaretText(t);
    EXPECT_EQ(text, "Name^\r\n\xE6\x97\xA5\xE6\x9C\xAC.pdf^\r\n\xD0\xBA\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0.tif^\r\n");
}

TEST(WriteCaretText, StreamsTheSameBytesAndReportsProgressPerLine) {
    ExportTable t({"Name", "Size"});
    for (int i = 0; i < 5000; ++i) t.AppendRow(Cells{"file" + std::to_string(i) + ".pdf", std::to_string(i)});
    std::FILE* f = std::tmpfile();
    ASSERT_NE(f, nullptr);
    std::vector<std::size_t> seen;
    ASSERT_TRUE(exporting::WriteCaretText(t, f, [&](std::size_t n) { seen.push_back(n); }));
    std::rewind(f);
    std::string back;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) back.append(buf, n);
    std::fclose(f);
    EXPECT_EQ(back, CaretText(t));
    ASSERT_EQ(seen.size(), t.Rows());
    for (std::size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], i + 1);
}

TEST(RowsCaretTextSplits, CountsRowsWithACaretOrALineBreakInAnyCell) {
    ExportTable t({"Name^", "Path"});  // the header is the program's own: not counted
    t.AppendRow(Cells{"plain.pdf", "/a/plain.pdf"});
    t.AppendRow(Cells{"a^b.pdf", "/a/a^b.pdf"});   // two cells, one row
    t.AppendRow(Cells{"cr\r.pdf", "/a/cr"});
    t.AppendRow(Cells{"ok.pdf", "/line\nbreak/ok.pdf"});
    EXPECT_EQ(exporting::RowsCaretTextSplits(t), 3u);
    EXPECT_EQ(exporting::RowsCaretTextSplits(ExportTable({"Name"})), 0u);
}

TEST(WriteCaretText, FullDiskIsReported) {
    std::FILE* f = std::fopen("/dev/full", "wb");
    if (!f) GTEST_SKIP() << "no /dev/full";
    ExportTable t({"Name"});
    for (int i = 0; i < 20000; ++i) t.AppendRow(Cells{"some-file-name.pdf"});
    errno = 0;
    EXPECT_FALSE(exporting::WriteCaretText(t, f));
    EXPECT_EQ(errno, ENOSPC);
    std::fclose(f);
}

}  // namespace
