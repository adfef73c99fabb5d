// The workbooks read back by independent readers (xlrd for .xls, the zip and
// XML of .xlsx, LibreOffice where installed), every cell and its type.
#include "export/export_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

using namespace exporting;
using exporttest::ReadBack;
using fixtures::TempDir;
using Cells = std::vector<std::string>;

namespace {

constexpr int kReaderMissing = 77;

ExportTable MixedTable() {
    ExportTable t({"Name", "Path", "Size", "Page Count"});
    t.AppendRow(Cells{"a.pdf", "/docs/a.pdf", "     12 KB", "3"});
    t.AppendRow(Cells{"\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.pdf", "/d/\xE6\x97\xA5\xE6\x9C\xAC\xE8\xAA\x9E.pdf",
                      "      0 KB", "Error"});
    t.AppendRow(Cells{"\xD0\xBA\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0.tif", "/d/caf\xC3\xA9/\xF0\x9F\x93\x84.tif",
                      " 120563 KB", "12"});
    t.AppendRow(Cells{"x^y.pdf", "\"quoted\".pdf", "", ""});  // caret and quote stay in the cell
    t.AppendRow(Cells{"2020.pdf", " 42 ", "-1.5", "1e3"});
    t.AppendRow(Cells{"", "", "", "007"});
    return t;
}

// Names as Linux allows them: malformed UTF-8, characters XML cannot hold,
// texts that look like the .xlsx escape of a character, control characters.
ExportTable AnyNameTable() {
    ExportTable t({"Name", "Path"});
    t.AppendRow(Cells{"caf\xE9.pdf", "/scans/\xC0\xAF/caf\xE9.pdf"});       // Latin-1 and an overlong '/'
    t.AppendRow(Cells{"cut \xE6\x97.tif", "/scans/\xED\xA0\x80 surrogate.tif"});  // cut short, a surrogate
    t.AppendRow(Cells{"a\xEF\xBF\xBE" "b.pdf", "/x/\xEF\xBF\xBF.pdf"});          // U+FFFE, U+FFFF
    t.AppendRow(Cells{"_x0041_.pdf", "/x/_x005F_x0042_ _X0043_ _x12_.pdf"});   // escapes taken literally
    t.AppendRow(Cells{"bell\x07.tif", "/x/tab\there.tif"});
    return t;
}

void ExpectReadBack(const char* mode, const std::string& file, const ExportTable& t, std::size_t perSheet) {
    const int rc = ReadBack(mode, file, t, perSheet);
    if (rc == kReaderMissing) GTEST_SKIP() << "reader for " << mode << " not installed";
    EXPECT_EQ(rc, 0) << mode << " read-back of " << file << " differs (see stderr)";
}

TEST(XlsWorkbook, EveryCellAndTypeReadsBack) {
    TempDir dir;
    const ExportTable t = MixedTable();
    const std::string file = dir / "\xE6\x97\xA5\xE6\x9C\xAC list.xls";  // a non-Latin file name
    ASSERT_TRUE(WriteExportFile(t, file));
    ExpectReadBack("xls", file, t, kXlsRowsPerSheet);
}

TEST(XlsWorkbook, HeaderOnly) {
    TempDir dir;
    ExportTable t({"Path"});
    ASSERT_TRUE(WriteExportFile(t, dir / "h.xls"));
    ExpectReadBack("xls", dir / "h.xls", t, kXlsRowsPerSheet);
}

ExportTable LongStringsTable() {
    // Strings of many lengths, 8-bit and 16-bit, so that string headers and
    // characters fall on every position of the record boundaries.
    ExportTable t({"Text"});
    t.AppendRow(Cells{std::string(9000, 'a')});
    std::string wide;
    for (int i = 0; i < 4500; ++i) wide += "\xD0\xB6";  // ж
    t.AppendRow(Cells{wide});
    for (int i = 0; i < 3000; ++i) {
        std::string s(static_cast<std::size_t>(i % 97 + 1), static_cast<char>('a' + i % 26));
        if (i % 3 == 0) s += "\xE2\x82\xAC";  // €
        if (i % 11 == 0) s += "\xF0\x9F\x93\x84";  // a character outside the BMP
        t.AppendRow(Cells{s});
    }
    return t;
}

TEST(XlsWorkbook, LongStringsSpanContinueRecords) {
    const ExportTable t = LongStringsTable();
    TempDir dir;
    ASSERT_TRUE(WriteExportFile(t, dir / "long.xls"));
    ExpectReadBack("xls", dir / "long.xls", t, kXlsRowsPerSheet);
}

TEST(XlsWorkbook, StringsStartingAtEveryPlaceNearARecordEnd) {
    // The first record holds 8 bytes of counts, the header string "T" (4
    // bytes) and a long 8-bit string that leaves `room` bytes free; the next
    // string, 8-bit or 16-bit, then meets the record end at its header or
    // inside a character.
    TempDir dir;
    for (std::size_t room = 0; room <= 7; ++room) {
        for (bool wide : {false, true}) {
            ExportTable t({"T"});
            t.AppendRow(Cells{std::string(8224 - 8 - 4 - 3 - room, 'a')});
            t.AppendRow(Cells{wide ? "\xD0\xB6\xD0\xB7\xD0\xB8" : "bcd"});
            t.AppendRow(Cells{"z"});
            const std::string file = (dir / "room" + std::to_string(room) + (wide ? "w" : "n") + ".xls");
            ASSERT_TRUE(WriteExportFile(t, file));
            SCOPED_TRACE(file);
            ExpectReadBack("xls", file, t, kXlsRowsPerSheet);
        }
    }
}

TEST(XlsWorkbook, SeventyThousandRowsContinueOnASecondSheet) {
    ExportTable t({"Name", "Path", "Size", "Page Count"});
    for (int i = 0; i < 70000; ++i) {
        const std::string name = "file" + std::to_string(i) + ".pdf";
        t.AppendRow(Cells{name, "/docs/" + name, "     " + std::to_string(i % 1000) + " KB",
                          i % 7 ? std::to_string(i) : "Error"});
    }
    TempDir dir;
    std::size_t last = 0;
    ASSERT_TRUE(WriteExportFile(t, dir / "big.xls", [&](std::size_t n) { last = n; }));
    EXPECT_EQ(last, t.Rows());
    ExpectReadBack("xls", dir / "big.xls", t, kXlsRowsPerSheet);
}

TEST(XlsxWorkbook, EveryCellAndTypeReadsBack) {
    TempDir dir;
    const ExportTable t = MixedTable();
    const std::string file = dir / "\xD0\xBA\xD0\xBD\xD0\xB8\xD0\xB3\xD0\xB0.xlsx";
    ASSERT_TRUE(WriteExportFile(t, file));
    ExpectReadBack("xlsx", file, t, kXlsxRowsPerSheet);
}

// The totals follow the list in a .xlsx, each on a sheet of its name, their
// numbers as number cells; the .xls holds the list alone.
TEST(Workbooks, TotalsSheetsFollowTheListInXlsxOnly) {
    TempDir dir;
    ExportTable t = MixedTable();
    ExportTable bySize({"Size", "Files", "Pages", "A4 Equivalents", "Area (m\xC2\xB2)"});
    bySize.AppendRow({"A4", "2", "14", "14", "0.874"});
    bySize.AppendRow({"over A0", "1", "1", "20", "1.25"});
    bySize.AppendRow({"Total", "3", "15", "34", "2.124"});
    ExportTable byFolder({"Folder", "Files", "Pages", "A4 Equivalents", "Area (m\xC2\xB2)"});
    byFolder.AppendRow({"/data/client A", "3", "15", "34", "2.124"});
    t.AddSheet({"Totals by size", bySize});
    t.AddSheet({"Totals by folder", byFolder});
    ASSERT_TRUE(WriteExportFile(t, dir / "totals.xlsx"));
    ExpectReadBack("xlsx", dir / "totals.xlsx", t, kXlsxRowsPerSheet);
    ASSERT_TRUE(WriteExportFile(t, dir / "totals.xls"));
    ExpectReadBack("xls", dir / "totals.xls", t, kXlsRowsPerSheet);
}

TEST(XlsWorkbook, AnyFileNameReadsBack) {
    TempDir dir;
    const ExportTable t = AnyNameTable();
    ASSERT_TRUE(WriteExportFile(t, dir / "names.xls"));
    ExpectReadBack("xls", dir / "names.xls", t, kXlsRowsPerSheet);
}

TEST(XlsxWorkbook, AnyFileNameReadsBack) {
    TempDir dir;
    const ExportTable t = AnyNameTable();
    ASSERT_TRUE(WriteExportFile(t, dir / "names.xlsx"));
    ExpectReadBack("xlsx", dir / "names.xlsx", t, kXlsxRowsPerSheet);
}

TEST(LibreOffice, OpensTheWorkbooks) {
    TempDir dir;
    const ExportTable mixed = MixedTable();
    ASSERT_TRUE(WriteExportFile(mixed, dir / "mixed.xls"));
    ExpectReadBack("soffice", dir / "mixed.xls", mixed, kXlsRowsPerSheet);
    const ExportTable longStrings = LongStringsTable();
    ASSERT_TRUE(WriteExportFile(longStrings, dir / "long.xls"));
    ExpectReadBack("soffice", dir / "long.xls", longStrings, kXlsRowsPerSheet);
    ASSERT_TRUE(WriteExportFile(mixed, dir / "mixed.xlsx"));
    ExpectReadBack("soffice", dir / "mixed.xlsx", mixed, kXlsxRowsPerSheet);
    const ExportTable names = AnyNameTable();
    ASSERT_TRUE(WriteExportFile(names, dir / "names.xls"));
    ExpectReadBack("soffice", dir / "names.xls", names, kXlsRowsPerSheet);
    ASSERT_TRUE(WriteExportFile(names, dir / "names.xlsx"));
    ExpectReadBack("soffice", dir / "names.xlsx", names, kXlsxRowsPerSheet);
}

}  // namespace
