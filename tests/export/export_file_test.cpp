// Naming, number typing and the safe replacement of the output file.
#include "cell_text.h"
#include "fixtures.h"
#include "export/export_file.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace exporting;
using exporttest::ReadFile;
using fixtures::TempDir;
using exporttest::WriteFile;
using Cells = std::vector<std::string>;

namespace {

TEST(ExportNames, KindFollowsTheEndingInAnyCase) {
    EXPECT_EQ(KindForName("/out/list.xls"), ExportKind::Xls);
    EXPECT_EQ(KindForName("/out/list.XLS"), ExportKind::Xls);
    EXPECT_EQ(KindForName("/out/list.Xlsx"), ExportKind::Xlsx);
    EXPECT_EQ(KindForName("/out/list.txt"), ExportKind::CaretText);
    EXPECT_EQ(KindForName("/out/report"), ExportKind::CaretText);
    EXPECT_EQ(KindForName("/out/list.xls.bak"), ExportKind::CaretText);
    EXPECT_EQ(KindForName("xls"), ExportKind::CaretText);
}

TEST(ExportNames, WorkbookNameGetsXlsUnlessItHasAWorkbookEnding) {
    EXPECT_EQ(WorkbookFileName("/out/list.xls"), "/out/list.xls");
    EXPECT_EQ(WorkbookFileName("/out/list.XLS"), "/out/list.XLS");
    EXPECT_EQ(WorkbookFileName("/out/list.xlsx"), "/out/list.xlsx");
    EXPECT_EQ(WorkbookFileName("/out/list"), "/out/list.xls");
    EXPECT_EQ(WorkbookFileName("/out/list.txt"), "/out/list.txt.xls");
    EXPECT_EQ(WorkbookFileName("/out/list.xls.old"), "/out/list.xls.old.xls");
    EXPECT_EQ(WorkbookFileName("/out/list", true), "/out/list.xlsx");
}

TEST(GeneralNumber, NumbersAsASpreadsheetReadsThem) {
    EXPECT_EQ(GeneralNumber("3"), 3.0);
    EXPECT_EQ(GeneralNumber("  120563 "), 120563.0);
    EXPECT_EQ(GeneralNumber("-1.5"), -1.5);
    EXPECT_EQ(GeneralNumber("+.5"), 0.5);
    EXPECT_EQ(GeneralNumber("7."), 7.0);
    EXPECT_EQ(GeneralNumber("1e3"), 1000.0);
    EXPECT_EQ(GeneralNumber("007"), 7.0);
    EXPECT_EQ(GeneralNumber("2147483648"), 2147483648.0);
}

TEST(GeneralNumber, EverythingElseIsText) {
    for (const char* text : {"", "   ", "Error", "     12 KB", "12 KB", "a.pdf", "1.2.3", "-", ".", "+",
                             "1e", "e5", "inf", "nan", "0x1A", "1,5", "--1", "1e999", "3\t", "\t3"}) {
        EXPECT_FALSE(GeneralNumber(text).has_value()) << '"' << text << '"';
    }
}

TEST(Utf8, MalformedBytesBecomeReplacementCharacters) {
    EXPECT_TRUE(IsValidUtf8("plain \xE6\x97\xA5 \xEF\xBF\xBD"));
    EXPECT_FALSE(IsValidUtf8("bad \xFF name"));
    EXPECT_FALSE(IsValidUtf8("cut \xE6\x97"));
    EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));  // overlong '/'
    EXPECT_EQ(ValidUtf8("a\xFF" "b"), "a\xEF\xBF\xBD" "b");
    EXPECT_EQ(ValidUtf8("ok \xE6\x97\xA5"), "ok \xE6\x97\xA5");
    // One replacement per maximal ill-formed subpart, as other readers count them.
    EXPECT_EQ(ValidUtf8("cut \xE6\x97"), "cut \xEF\xBF\xBD");
    EXPECT_EQ(ValidUtf8("\xF0\x9F\x93x"), "\xEF\xBF\xBDx");
    EXPECT_EQ(ValidUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // a surrogate
    EXPECT_EQ(ValidUtf8("\xF4\x90\x80\x80"),
              "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");  // above U+10FFFF
}

ExportTable SmallTable() {
    ExportTable t({"Name", "Page Count"});
    t.AppendRow(Cells{"a.pdf", "3"});
    return t;
}

TEST(WriteExportFile, WritesTheKindTheNameAsksFor) {
    TempDir dir;
    const ExportTable t = SmallTable();
    ASSERT_TRUE(WriteExportFile(t, dir / "plain"));
    EXPECT_EQ(ReadFile(dir / "plain"), "Name^Page Count^\r\na.pdf^3^\r\n");
    ASSERT_TRUE(WriteExportFile(t, dir / "book.XLS"));
    EXPECT_EQ(ReadFile(dir / "book.XLS").substr(0, 8), "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1");  // OLE2
    ASSERT_TRUE(WriteExportFile(t, dir / "book.xlsx"));
    EXPECT_EQ(ReadFile(dir / "book.xlsx").substr(0, 2), "PK");  // zip
    // Only the three files: no temporary file stays behind.
    EXPECT_EQ(dir.Names().size(), 3u);
}

TEST(WriteExportFile, ReplacesAnExistingFileAndKeepsItsMode) {
    TempDir dir;
    const std::string path = dir / "list.txt";
    WriteFile(path, "old contents that are longer than the new ones\r\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(WriteExportFile(SmallTable(), path));
    EXPECT_EQ(ReadFile(path), "Name^Page Count^\r\na.pdf^3^\r\n");
    struct stat st{};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(WriteExportFile, ANewFileGetsTheUsualModeNotTheTemporaryOne) {
    TempDir dir;
    const mode_t old = ::umask(027);
    const bool ok = static_cast<bool>(WriteExportFile(SmallTable(), dir / "new.xls"));
    ::umask(old);
    ASSERT_TRUE(ok);
    struct stat st{};
    ASSERT_EQ(::stat((dir / "new.xls").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(WriteExportFile, ALinkStaysALinkAndAPipeIsWrittenInPlace) {
    TempDir dir;
    std::filesystem::create_directory(dir / "real");
    WriteFile(dir / "real/list.txt", "old");
    std::filesystem::create_symlink(dir / "real/list.txt", dir / "link.txt");
    ASSERT_TRUE(WriteExportFile(SmallTable(), dir / "link.txt"));
    EXPECT_TRUE(std::filesystem::is_symlink(dir / "link.txt"));
    EXPECT_EQ(ReadFile(dir / "real/list.txt"), "Name^Page Count^\r\na.pdf^3^\r\n");

    // A pipe (as /dev/stdout may be) cannot be replaced by a renamed file.
    const std::string fifo = dir / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string received;
    std::thread reader([&] { received = ReadFile(fifo); });
    const ExportResult r = WriteExportFile(SmallTable(), fifo);
    reader.join();
    ASSERT_TRUE(r) << r.Message();
    EXPECT_EQ(received, "Name^Page Count^\r\na.pdf^3^\r\n");
    EXPECT_EQ(std::filesystem::status(fifo).type(), std::filesystem::file_type::fifo);
}

TEST(WriteExportFile, MissingFolderIsReportedWithNameAndReason) {
    TempDir dir;
    const std::string path = dir / "no-such-folder/list.txt";
    const ExportResult r = WriteExportFile(SmallTable(), path);
    ASSERT_FALSE(r);
    EXPECT_EQ(r.path, path);
    EXPECT_NE(r.reason.find("No such file"), std::string::npos) << r.reason;
    EXPECT_NE(r.Message().find(path), std::string::npos);
    EXPECT_TRUE(dir.Names().empty());
}

TEST(WriteExportFile, AFolderIsNotOverwritten) {
    TempDir dir;
    std::filesystem::create_directory(dir / "taken.xls");
    const ExportResult r = WriteExportFile(SmallTable(), dir / "taken.xls");
    ASSERT_FALSE(r);
    EXPECT_TRUE(std::filesystem::is_directory(dir / "taken.xls"));
    EXPECT_EQ(dir.Names().size(), 1u);
}

TEST(WriteExportFile, ReadOnlyFolderIsReported) {
    TempDir dir;
    ASSERT_EQ(::chmod(dir.path().c_str(), 0555), 0);
    ExportResult r;
    {
        fixtures::Unprivileged nobody;  // the superuser writes into any folder
        if (!nobody.ok()) {
            ::chmod(dir.path().c_str(), 0755);
            GTEST_SKIP() << nobody.why();
        }
        r = WriteExportFile(SmallTable(), dir / "list.txt");
    }
    ::chmod(dir.path().c_str(), 0755);
    ASSERT_FALSE(r);
    EXPECT_NE(r.reason.find("Permission denied"), std::string::npos) << r.reason;
}

TEST(WriteExportFile, FailurePartWayKeepsTheOldFileAndLeavesNoTemporary) {
    TempDir dir;
    // A cell longer than a workbook cell can hold fails the workbook writers
    // after the temporary file exists.
    ExportTable t({"Name"});
    t.AppendRow(Cells{std::string(40000, 'x')});
    for (const char* name : {"old.xls", "old.xlsx"}) {
        const std::string path = dir / name;
        WriteFile(path, "previous workbook");
        const ExportResult r = WriteExportFile(t, path);
        ASSERT_FALSE(r) << name;
        EXPECT_NE(r.reason.find("32,767"), std::string::npos) << r.reason;
        EXPECT_EQ(ReadFile(path), "previous workbook") << name;
    }
    EXPECT_EQ(dir.Names().size(), 2u);
}

}  // namespace
