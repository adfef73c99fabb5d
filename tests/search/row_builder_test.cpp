// Rows built from files, with counters loaded by the component loader.
#include "fixtures.h"

#include <search/row_builder.h>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

using fixtures::TempDir;
using namespace search;

namespace {
// A folder holding only the TIFF counter, so PDF counting has no library.
struct TiffOnlyDir {
    TempDir dir;
    TiffOnlyDir() {
        const std::string lib = std::string(QUILLON_BIN_DIR) + "/libTiffPageCounter.so";
        if (symlink(lib.c_str(), (dir / "libTiffPageCounter.so").c_str()) != 0) throw std::runtime_error("symlink");
    }
};
}  // namespace

TEST(RowBuilder, TiffRowCellsTagsAndIcon) {
    TempDir dir;
    fixtures::WriteTiff(dir / "scan.TIF", 12);
    ComponentLoader loader(QUILLON_BIN_DIR);
    RowBuilder builder(loader);
    const auto out = builder.Build(dir / "scan.TIF");
    ASSERT_FALSE(out.vanished);
    EXPECT_TRUE(out.error.empty()) << out.error;
    const ResultRow& r = out.row;
    EXPECT_EQ(r.key, dir / "scan.TIF");
    EXPECT_EQ(r.name, "scan.TIF");
    EXPECT_EQ(r.path, dir / "scan.TIF");
    EXPECT_EQ(r.kind, FileKind::Tif);
    EXPECT_EQ(r.icon, 1);
    EXPECT_TRUE(r.hasPageCount);
    EXPECT_EQ(r.pageCountText, "12");
    EXPECT_EQ(r.pageCountTag, "000000012");
    EXPECT_EQ(r.sizeText, SizeCellText(KilobytesOf(r.sizeBytes)));
}

TEST(RowBuilder, UncountableTiffShowsErrorWithTheCountersReason) {
    TempDir dir;
    fixtures::WriteFile(dir / "bad.tif", "not a tiff");
    ComponentLoader loader(QUILLON_BIN_DIR);
    const auto out = RowBuilder(loader).Build(dir / "bad.tif");
    EXPECT_TRUE(out.error.empty());
    EXPECT_TRUE(out.row.hasPageCount);
    EXPECT_EQ(out.row.pageCountText, "Error");
    EXPECT_EQ(out.row.pageCountTag, "Error");
    EXPECT_EQ(out.row.reason, "Not a TIFF file");
    fixtures::WriteTiff(dir / "good.tif", 1);
    EXPECT_EQ(RowBuilder(loader).Build(dir / "good.tif").row.reason, "");
}

TEST(RowBuilder, FileBeyondThePathLimitIsCountedThroughItsFolder) {
    TempDir dir;
    const fixtures::DeepFolder deep(dir.path(), 24, 200);
    ASSERT_GT(deep.path().size(), static_cast<std::size_t>(PATH_MAX));
    const std::string pdf = fixtures::PdfBytes(3);
    deep.Write("long.pdf", pdf);
    fixtures::WriteTiff(dir / "short.tif", 2);
    deep.Write("long.tif", fixtures::ReadFile(dir / "short.tif"));
    ComponentLoader loader(QUILLON_BIN_DIR);
    RowBuilder builder(loader);
    const auto out = builder.Build(deep.path() + "/long.pdf");
    ASSERT_FALSE(out.vanished);
    EXPECT_TRUE(out.error.empty()) << out.error;
    EXPECT_EQ(out.row.path, deep.path() + "/long.pdf");
    EXPECT_EQ(out.row.sizeBytes, pdf.size());
    EXPECT_EQ(out.row.pages, 3) << out.row.reason;
    EXPECT_EQ(builder.Build(deep.path() + "/long.tif").row.pages, 2);
    EXPECT_TRUE(builder.Build(deep.path() + "/gone.pdf").vanished);
}

TEST(RowBuilder, FileOutOfReachGivesAnErrorRowNotNoRow) {
    TempDir dir;
    chmod(dir.path().c_str(), 0755);
    fixtures::MakeDir(dir / "listonly");
    fixtures::WriteFile(dir / "listonly/a.pdf", fixtures::PdfBytes(2));
    chmod((dir / "listonly").c_str(), 0444);
    fixtures::Unprivileged user;
    if (!user.ok()) GTEST_SKIP() << user.why();
    ComponentLoader loader(QUILLON_BIN_DIR);
    const auto out = RowBuilder(loader).Build(dir / "listonly/a.pdf");
    EXPECT_FALSE(out.vanished);
    EXPECT_TRUE(out.row.hasPageCount);
    EXPECT_EQ(out.row.pageCountText, "Error");
    EXPECT_EQ(out.row.reason, std::string("Cannot open the file: ") + std::strerror(EACCES));
}

// The size shown is that of the file the counter read, and the file
// system's where the counter could open nothing (its count is an error).
TEST(RowBuilder, SizeOfTheCountedFileOrOfTheFileSystem) {
    TempDir dir;
    chmod(dir.path().c_str(), 0755);
    const std::string pdf = fixtures::PdfBytes(3);
    fixtures::WriteFile(dir / "a.pdf", pdf);
    fixtures::WriteTiff(dir / "b.tif", 2);
    fixtures::WriteFile(dir / "empty.pdf", "");
    fixtures::WriteFile(dir / "damaged.pdf", "%PDF-1.4\n" + std::string(5000, 'x'));
    fixtures::WriteFile(dir / "locked.pdf", pdf + std::string(3000, ' '));
    chmod((dir / "locked.pdf").c_str(), 0);
    ComponentLoader loader(QUILLON_BIN_DIR);
    RowBuilder builder(loader);
    for (const char* name : {"a.pdf", "b.tif", "empty.pdf", "damaged.pdf"}) {
        const auto out = builder.Build(dir / name);
        ASSERT_FALSE(out.vanished) << name;
        EXPECT_EQ(out.row.sizeBytes, fixtures::ReadFile(dir / name).size()) << name;
    }
    fixtures::Unprivileged user;
    if (!user.ok()) GTEST_SKIP() << user.why();
    const auto locked = builder.Build(dir / "locked.pdf");
    EXPECT_FALSE(locked.vanished);
    EXPECT_EQ(locked.row.sizeBytes, pdf.size() + 3000);
    EXPECT_EQ(locked.row.pageCountText, "Error");
    EXPECT_EQ(locked.row.reason, std::string("Cannot open the file: ") + std::strerror(EACCES));
}

TEST(RowBuilder, OtherKindAndSizes) {
    TempDir dir;
    fixtures::WriteSized(dir / "notes.txt", 123456789);
    fixtures::WriteFile(dir / "empty.txt", "");
    ComponentLoader loader(QUILLON_BIN_DIR);
    RowBuilder builder(loader);
    auto out = builder.Build(dir / "notes.txt");
    EXPECT_EQ(out.row.sizeText, " 120563 KB");
    EXPECT_EQ(out.row.sizeTag, "0000120563");
    EXPECT_EQ(out.row.icon, 0);
    EXPECT_FALSE(out.row.hasPageCount);
    EXPECT_TRUE(out.error.empty());
    out = builder.Build(dir / "empty.txt");
    EXPECT_EQ(out.row.sizeText, "      0 KB");
    EXPECT_EQ(out.row.sizeTag, "0000000000");
}

TEST(RowBuilder, VanishedPathGivesNoRow) {
    TempDir dir;
    ComponentLoader loader(QUILLON_BIN_DIR);
    EXPECT_TRUE(RowBuilder(loader).Build(dir / "gone.pdf").vanished);
    fixtures::MakeDir(dir / "now-a-folder.pdf");
    EXPECT_TRUE(RowBuilder(loader).Build(dir / "now-a-folder.pdf").vanished);
}

TEST(RowBuilder, MissingCounterLibraryGivesMessageAndRowWithoutPageCount) {
    TiffOnlyDir libs;
    TempDir dir;
    fixtures::WriteFile(dir / "a.pdf", fixtures::PdfBytes(3));
    fixtures::WriteTiff(dir / "b.tif", 2);
    ComponentLoader loader(libs.dir.path());
    RowBuilder builder(loader);
    for (int i = 0; i < 2; ++i) {  // every file of the kind, not just the first
        const auto pdf = builder.Build(dir / "a.pdf");
        EXPECT_FALSE(pdf.row.hasPageCount);
        EXPECT_EQ(pdf.row.icon, 2);  // set before the counter is asked
        EXPECT_EQ(pdf.row.sizeBytes, fixtures::PdfBytes(3).size());  // from the file system: no counter
        EXPECT_EQ(pdf.row.sizeText, SizeCellText(KilobytesOf(pdf.row.sizeBytes)));
        EXPECT_EQ(pdf.error.rfind("Unexpected error in procedure: AddGeneral\r\nError #429: ", 0), 0u) << pdf.error;
        EXPECT_NE(pdf.error.find("libBrastel.so"), std::string::npos) << pdf.error;
    }
    const auto tif = builder.Build(dir / "b.tif");
    EXPECT_TRUE(tif.error.empty());
    EXPECT_EQ(tif.row.pages, 2);
}

TEST(RowBuilder, CounterLibraryOutOfReachSaysWhyNotThatItIsMissing) {
    TempDir dir;
    chmod(dir.path().c_str(), 0755);
    fixtures::WriteTiff(dir / "a.tif", 1);
    const fixtures::OpenCopies libs(QUILLON_BIN_DIR, {"libTiffPageCounter.so"});
    chmod(libs.path().c_str(), 0700);  // closed to anyone but its owner
    ComponentLoader loader(libs.path());
    fixtures::Unprivileged user;
    if (!user.ok()) GTEST_SKIP() << user.why();
    const auto out = RowBuilder(loader).Build(dir / "a.tif");
    EXPECT_NE(out.error.find(libs / "libTiffPageCounter.so: " + std::strerror(EACCES)), std::string::npos) << out.error;
    EXPECT_EQ(out.error.find("not found"), std::string::npos) << out.error;
}
