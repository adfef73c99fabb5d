// quillon-count run as a program: formats, exit statuses, path sources.
#include "fixtures.h"

#include <search/result_row.h>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

using fixtures::TempDir;

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

Outcome Count(const std::vector<std::string>& args, const std::string& input = {}) {
    TempDir io;
    fixtures::WriteFile(io / "in", input);
    std::string cmd = Quote(QUILLON_COUNT);
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd += " <" + Quote(io / "in") + " >" + Quote(io / "out") + " 2>" + Quote(io / "err");
    Outcome r;
    const int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = fixtures::ReadFile(io / "out");
    r.err = fixtures::ReadFile(io / "err");
    return r;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

std::string Size(const std::string& path) { return std::to_string(fixtures::ReadFile(path).size()); }

}  // namespace

TEST(QuillonCount, TsvLinesInFoundOrderTotalsOnStandardError) {
    TempDir dir;
    fixtures::MakeDir(dir / "sub");
    fixtures::WriteTiff(dir / "a.tif", 2);
    fixtures::WriteTiff(dir / "sub/b.tif", 3);
    fixtures::WriteFile(dir / "notes.txt", "x");
    const Outcome r = Count({dir.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{dir / "a.tif" + "\tTIF\t" + Size(dir / "a.tif") + "\t2",
                                                      dir / "sub/b.tif" + "\tTIF\t" + Size(dir / "sub/b.tif") + "\t3"}));
    EXPECT_NE(r.err.find("Total Files : 2"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Total Pages TIFs = 5 PDFs = 0"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos) << "no progress line when not a terminal";

    const Outcome flat = Count({"--no-subfolders", dir.path()});
    EXPECT_EQ(Lines(flat.out).size(), 1u);

    const Outcome shown = Count({"--progress", dir.path()});
    EXPECT_NE(shown.err.find("\rcounting: 1 of 2"), std::string::npos) << shown.err;
    EXPECT_EQ(shown.out, r.out);
}

TEST(QuillonCount, ExitStatusOneWhenSomeFileGaveError) {
    TempDir dir;
    fixtures::WriteTiff(dir / "good.tif", 1);
    fixtures::WriteFile(dir / "bad.tif", "not a tiff");
    const Outcome r = Count({"--jobs", "1", dir / "good.tif", dir / "bad.tif"});
    EXPECT_EQ(r.status, 1);
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1], dir / "bad.tif" + "\tTIF\t10\tError");
    EXPECT_NE(r.err.find("Errors : 1"), std::string::npos);
}

TEST(QuillonCount, FilesFromStandardInputMixesFilesAndFolders) {
    TempDir dir;
    fixtures::MakeDir(dir / "f");
    fixtures::WriteTiff(dir / "f/in.tif", 4);
    fixtures::WriteTiff(dir / "single.tiff", 1);
    const Outcome r = Count({"--files-from", "-"}, dir / "single.tiff" + "\r\n\n" + dir / "f" + "\n");
    EXPECT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].substr(0, lines[0].find('\t')), dir / "single.tiff");
    EXPECT_EQ(lines[1].substr(0, lines[1].find('\t')), dir / "f/in.tif");
}

TEST(QuillonCount, BadUsageAndUnreadablePathsExitTwo) {
    TempDir dir;
    fixtures::WriteTiff(dir / "a.tif", 1);
    for (const auto& args : std::vector<std::vector<std::string>>{
             {},
             {"--bogus", dir.path()},
             {"--format", "xml", dir.path()},
             {"--jobs", "0", dir.path()},
             {"--date", "modified", dir.path()},
             {"--date", "modified", "--from", "2024-02-30", "--to", "2024-03-01", dir.path()},
             {"--from", "2024-01-01", "--to", "2024-01-02", dir.path()},
             {"--files-from", dir / "no-list"}}) {
        const Outcome r = Count(args);
        EXPECT_EQ(r.status, 2) << (args.empty() ? "" : args[0]);
        EXPECT_NE(r.err.find("quillon-count: "), std::string::npos);
    }
    // A missing path is reported; the other paths are still counted.
    const Outcome r = Count({dir / "missing", dir / "a.tif"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(dir / "missing" + ": cannot be read"), std::string::npos) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 1u);
    EXPECT_EQ(Count({"--help"}).status, 0);
}

TEST(QuillonCount, KindAndDateFilters) {
    TempDir dir;
    fixtures::WriteTiff(dir / "old.tif", 1);
    fixtures::WriteTiff(dir / "new.tif", 2);
    fixtures::WriteFile(dir / "doc.pdf", "%PDF-1.4\n");
    fixtures::SetTimes(dir / "old.tif", 2001, 5, 5, 10, 0);
    const Outcome tif = Count({"--tif", "--date", "modified", "--from", "2001-05-05", "--to", "2001-05-01", dir.path()});
    EXPECT_EQ(Lines(tif.out), (std::vector<std::string>{dir / "old.tif" + "\tTIF\t" + Size(dir / "old.tif") + "\t1"}));
    EXPECT_NE(tif.err.find("Total Pages TIFs = 1\n"), std::string::npos) << tif.err;
    const Outcome both = Count({"--no-progress", dir.path()});
    EXPECT_EQ(Lines(both.out).size(), 3u);
}

TEST(QuillonCount, OtherFormats) {
    TempDir dir;
    fixtures::WriteTiff(dir / "a,b.tif", 3);
    fixtures::WriteTiff(dir / "tab\there.tif", 1);
    const std::string ab = dir / "a,b.tif";
    const std::string tab = dir / "tab\there.tif";

    const Outcome tsv = Count({"--jobs", "1", ab, tab});
    EXPECT_EQ(Lines(tsv.out)[1].substr(0, dir.path().size() + 10), dir.path() + "/tab\\there");

    const Outcome csv = Count({"--format", "csv", ab});
    EXPECT_EQ(csv.out, "path,kind,size,pages\r\n\"" + ab + "\",TIF," + Size(ab) + ",3\r\n");

    const Outcome json = Count({"--format", "json", ab});
    EXPECT_EQ(json.out, "{\"files\":[\n{\"path\":\"" + ab + "\",\"kind\":\"TIF\",\"size\":" + Size(ab) +
                            ",\"pages\":3}\n],\"totals\":{\"files\":1,\"errors\":0,\"tifPages\":3,\"pdfPages\":0}}\n");
}

TEST(QuillonCount, CaretTextAndExportFileAreTheProgramsExport) {
    TempDir dir;
    fixtures::WriteTiff(dir / "a.tif", 3);
    const std::string a = dir / "a.tif";
    const std::string size = search::SizeCellText(search::KilobytesOf(fixtures::ReadFile(a).size()));
    const std::string expected = "Name^Path^Size^Page Count^\r\na.tif^" + a + "^" + size + "^3^\r\n";
    const Outcome caret = Count({"--format", "caret", a});
    ASSERT_EQ(caret.status, 0) << caret.err;
    EXPECT_EQ(caret.out, expected);
    const Outcome exported = Count({"--export", dir / "list.txt", a});
    EXPECT_EQ(exported.status, 0) << exported.err;
    EXPECT_EQ(fixtures::ReadFile(dir / "list.txt"), expected);
    const Outcome failed = Count({"--export", dir / "no/such/folder/list.txt", a});
    EXPECT_EQ(failed.status, 2);
}

TEST(QuillonCount, MissingTiffCounterLibraryLeavesPdfCountingAlone) {
    TempDir dir;
    TempDir libs;  // holds the PDF counter only
    const std::string brastel = std::string(QUILLON_BIN_DIR) + "/libBrastel.so";
    ASSERT_EQ(symlink(brastel.c_str(), (libs / "libBrastel.so").c_str()), 0);
    fixtures::WriteTiff(dir / "a.tif", 3);
    fixtures::WriteTiff(dir / "b.tif", 1);
    fixtures::WriteFile(dir / "c.pdf", fixtures::PdfBytes(3));
    const Outcome r = Count({"--jobs", "1", "--component-dir", libs.path(), dir / "a.tif", dir / "b.tif", dir / "c.pdf"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{dir / "a.tif" + "\tTIF\t" + Size(dir / "a.tif") + "\tError",
                                                      dir / "b.tif" + "\tTIF\t" + Size(dir / "b.tif") + "\tError",
                                                      dir / "c.pdf" + "\tPDF\t" + Size(dir / "c.pdf") + "\t3"}));
    // Every TIFF gets the row builder's message.
    for (const char* name : {"a.tif", "b.tif"})
        EXPECT_NE(r.err.find(dir / name + ": Unexpected error in procedure: AddGeneral: Error #429: "), std::string::npos)
            << r.err;
    EXPECT_NE(r.err.find("Total Pages TIFs = 0 PDFs = 3"), std::string::npos) << r.err;
}
