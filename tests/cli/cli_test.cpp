// quillon-count run as a program: formats, exit statuses, path sources.
#include "fixtures.h"
#include "run_count.h"

#include <search/result_row.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>

using fixtures::TempDir;

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
    EXPECT_EQ(lines[1], dir / "bad.tif" + "\tTIF\t10\tError\tNot a TIFF file");
    EXPECT_NE(r.err.find("Errors : 1"), std::string::npos);
}

TEST(QuillonCount, TiffDamagedAfterItsPagesIsCountedWithAWarning) {
    // The count libtiff reads stands; the note says the total may leave
    // pages out, on standard error and in JSON, and the exit status is 1.
    TempDir dir;
    fixtures::WriteTiff(dir / "damaged.tif", 3);
    fixtures::SetLastNextOffset(dir / "damaged.tif", 0x7FFFFFF0u);
    const Outcome tsv = Count({dir / "damaged.tif"});
    EXPECT_EQ(tsv.status, 1);
    EXPECT_EQ(Lines(tsv.out), (std::vector<std::string>{dir / "damaged.tif" + "\tTIF\t" + Size(dir / "damaged.tif") + "\t3"}));
    EXPECT_NE(tsv.err.find(dir / "damaged.tif" + ": Damaged after page 3"), std::string::npos) << tsv.err;
    EXPECT_NE(tsv.err.find("Total Pages TIFs = 3"), std::string::npos) << tsv.err;
    for (const char* format : {"json", "jsonl"}) {
        const Outcome json = Count({"--format", format, dir / "damaged.tif"});
        EXPECT_EQ(json.status, 1) << format;
        EXPECT_NE(json.out.find("\"pages\":3,\"warning\":\"Damaged after page 3\"}"), std::string::npos) << json.out;
    }
    fixtures::WriteTiff(dir / "whole.tif", 3);
    const Outcome whole = Count({"--format", "json", dir / "whole.tif"});
    EXPECT_EQ(whole.status, 0);
    EXPECT_EQ(whole.out.find("warning"), std::string::npos) << whole.out;
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

    fixtures::WriteFile(dir / "bad.pdf", "");
    const std::string bad = dir / "bad.pdf";

    const Outcome csv = Count({"--format", "csv", "--jobs", "1", ab, bad});
    EXPECT_EQ(csv.out, "path,kind,size,pages,reason\r\n\"" + ab + "\",TIF," + Size(ab) + ",3,\r\n" + bad +
                           ",PDF,0,Error,The file is empty\r\n");

    const Outcome json = Count({"--format", "json", "--jobs", "1", ab, bad});
    EXPECT_EQ(json.out, "{\"files\":[\n{\"path\":\"" + ab + "\",\"kind\":\"TIF\",\"size\":" + Size(ab) +
                            ",\"pages\":3},\n{\"path\":\"" + bad +
                            "\",\"kind\":\"PDF\",\"size\":0,\"pages\":null,\"reason\":\"The file is empty\"}\n"
                            "],\"skipped\":[],\"totals\":{\"files\":2,\"errors\":1,\"tifPages\":3,\"pdfPages\":0,"
                            "\"skipped\":0,\"undated\":0}}\n");
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
    const std::string why = "\tCannot create the page counter TiffPageCounter: " + libs / "libTiffPageCounter.so" +
                            " not found";
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{dir / "a.tif" + "\tTIF\t" + Size(dir / "a.tif") + "\tError" + why,
                                                      dir / "b.tif" + "\tTIF\t" + Size(dir / "b.tif") + "\tError" + why,
                                                      dir / "c.pdf" + "\tPDF\t" + Size(dir / "c.pdf") + "\t3"}));
    // Every TIFF gets the row builder's message.
    for (const char* name : {"a.tif", "b.tif"})
        EXPECT_NE(r.err.find(dir / name + ": Unexpected error in procedure: AddGeneral: Error #429: "), std::string::npos)
            << r.err;
    EXPECT_NE(r.err.find("Total Pages TIFs = 0 PDFs = 3"), std::string::npos) << r.err;
}

// ---- nothing skipped in silence -------------------------------------------

namespace {

// The command prefix that runs quillon-count as an ordinary user: nothing
// when this is one; setpriv as the superuser.  Empty `why` when possible.
std::string AsOrdinaryUser(std::string& why) {
    if (geteuid() != 0) return {};
    if (std::system("setpriv --reuid=65534 --regid=65534 --clear-groups true >/dev/null 2>&1") != 0) {
        why = "needs a user other than the superuser, and setpriv cannot become nobody here";
        return {};
    }
    return "setpriv --reuid=65534 --regid=65534 --clear-groups -- ";
}

// A PDF that needs a password to be read, made with qpdf from a plain one.
bool WriteLockedPdf(const std::string& path, const std::string& scratch) {
    fixtures::WriteFile(scratch, fixtures::PdfBytes(2));
    const std::string cmd = "qpdf --object-streams=generate --encrypt user owner 256 -- " + Quote(scratch) + " " +
                            Quote(path) + " >/dev/null 2>&1";
    return std::system(cmd.c_str()) == 0;
}

std::string FirstField(const std::string& line) { return line.substr(0, line.find('\t')); }

}  // namespace

TEST(QuillonCountReports, EveryFileIsCountedOrReportedWithItsReason) {
    std::string why;
    const std::string user = AsOrdinaryUser(why);
    if (!why.empty()) GTEST_SKIP() << why;
    // The program and its counters where the ordinary user may run them.
    const fixtures::OpenCopies program(QUILLON_BIN_DIR, {"quillon-count", "libBrastel.so", "libTiffPageCounter.so"});
    TempDir dir;
    TempDir scratch;
    chmod(dir.path().c_str(), 0755);
    fixtures::WriteTiff(dir / "ok.tif", 2);
    fixtures::WriteFile(dir / "ok.pdf", fixtures::PdfBytes(3));
    fixtures::MakeDir(dir / "closed");
    fixtures::WriteFile(dir / "closed/lost.pdf", fixtures::PdfBytes(5));
    chmod((dir / "closed").c_str(), 0);
    fixtures::WriteFile(dir / "secret.pdf", fixtures::PdfBytes(1));
    chmod((dir / "secret.pdf").c_str(), 0);
    fixtures::WriteFile(dir / "empty.pdf", "");
    fixtures::WriteFile(dir / "letter.pdf", std::string(2000, 'x'));
    fixtures::WriteFile(dir / "damaged.pdf", "%PDF-1.4\n" + std::string(2000, 'y'));
    ASSERT_TRUE(WriteLockedPdf(dir / "locked.pdf", scratch / "plain.pdf")) << "qpdf cannot encrypt";
    const fixtures::DeepFolder deep(dir.path(), 24, 200);  // deeper than the path limit
    deep.Write("deep.pdf", fixtures::PdfBytes(4));

    const Outcome r = Count({"--jobs", "2", dir.path()}, {}, user, program / "quillon-count");
    EXPECT_EQ(r.status, 1) << r.err;
    std::map<std::string, std::string> lines;  // path -> the rest of its line
    for (const auto& line : Lines(r.out)) lines[FirstField(line)] = line.substr(FirstField(line).size());
    const std::string permission = std::strerror(EACCES);
    const std::map<std::string, std::string> expected = {
        {dir / "ok.tif", "\tTIF\t" + Size(dir / "ok.tif") + "\t2"},
        {dir / "ok.pdf", "\tPDF\t" + Size(dir / "ok.pdf") + "\t3"},
        {dir / "secret.pdf", "\tPDF\t" + Size(dir / "secret.pdf") + "\tError\tCannot open the file: " + permission},
        {dir / "empty.pdf", "\tPDF\t0\tError\tThe file is empty"},
        {dir / "letter.pdf", "\tPDF\t2000\tError\tNot a PDF file"},
        {dir / "damaged.pdf", "\tPDF\t2009\tError\tDamaged beyond reading"},
        {dir / "locked.pdf", "\tPDF\t" + Size(dir / "locked.pdf") + "\tError\tNeeds a password"},
        {deep.path() + "/deep.pdf", "\tPDF\t" + std::to_string(fixtures::PdfBytes(4).size()) + "\t4"},
    };
    EXPECT_EQ(lines, expected) << r.err;
    // The folder that could not be searched, with the system's reason.
    EXPECT_NE(r.err.find("quillon-count: " + dir / "closed/" + ": cannot be searched: " + permission + "\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("Total Files : 8\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Total Pages TIFs = 2 PDFs = 7\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Errors : 5\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Not searched : 1\n"), std::string::npos) << r.err;

    // The same files named one by one, as find lists them, the deep one included.
    std::string list;
    for (const auto& [path, rest] : expected) list += path + std::string(1, '\0');
    const Outcome named = Count({"--null", "--files-from", "-"}, list, user, program / "quillon-count");
    EXPECT_EQ(named.status, 1) << named.err;
    EXPECT_EQ(Lines(named.out).size(), expected.size()) << named.err;

    const Outcome json = Count({"--format", "json", dir.path()}, {}, user, program / "quillon-count");
    EXPECT_EQ(json.status, 1);
    EXPECT_NE(json.out.find("\"skipped\":[\n{\"path\":\"" + dir / "closed/" + "\",\"folder\":true,\"reason\":\"" +
                            permission + "\"}\n]"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"pages\":null,\"reason\":\"Needs a password\""), std::string::npos) << json.out;
    const Outcome jsonl = Count({"--format", "jsonl", dir.path()}, {}, user, program / "quillon-count");
    EXPECT_EQ(jsonl.status, 1);
    EXPECT_EQ(Lines(jsonl.out).size(), expected.size() + 1);
    EXPECT_EQ(Lines(jsonl.out).back(), "{\"path\":\"" + dir / "closed/" + "\",\"skipped\":true,\"folder\":true,\"reason\":\"" +
                                           permission + "\"}");

    // The folder given itself cannot be read: that is a path that cannot be read.
    const Outcome closed = Count({dir / "closed"}, {}, user, program / "quillon-count");
    EXPECT_EQ(closed.status, 2) << closed.err;
    EXPECT_NE(closed.err.find(dir / "closed/" + ": cannot be searched: " + permission), std::string::npos);
}

TEST(QuillonCountReports, FilesWithoutACreationDateAreToldNotDroppedInSilence) {
    fixtures::NoBirthTimeMount mount;
    if (!mount.ok()) GTEST_SKIP() << mount.why();
    fixtures::WriteTiff(mount.path() + "/a.tif", 1);
    fixtures::WriteTiff(mount.path() + "/b.tif", 1);
    const std::vector<std::string> created = {"--date", "created", "--from", "1970-01-01", "--to", "2100-12-31"};
    std::vector<std::string> args = created;
    args.push_back(mount.path());
    const Outcome r = Count(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("quillon-count: 2 files had no creation date to compare"), std::string::npos) << r.err;
    args.insert(args.begin(), {"--format", "json"});
    EXPECT_NE(Count(args).out.find("\"undated\":2}"), std::string::npos);
    // The other dates are recorded there, and nothing is said.
    const Outcome modified = Count({"--date", "modified", "--from", "1970-01-01", "--to", "2100-12-31", mount.path()});
    EXPECT_EQ(modified.status, 0) << modified.err;
    EXPECT_EQ(Lines(modified.out).size(), 2u);
}

TEST(QuillonCountInputs, NulSeparatedListsAndNulBytesInLineLists) {
    TempDir dir;
    const std::vector<std::string> names = {"a.tif", "with\nnewline.tif", "c.tif"};
    std::string list;
    for (const auto& n : names) {
        fixtures::WriteTiff(dir / n, 1);
        list += dir / n + std::string(1, '\0');
    }
    for (const char* flag : {"--null", "-0"}) {
        const Outcome r = Count({flag, "--jobs", "1", "--files-from", "-"}, list);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(Lines(r.out).size(), 3u) << flag;  // the newline inside a name is written \n
        EXPECT_NE(r.out.find(dir.path() + "/with\\nnewline.tif\t"), std::string::npos);
    }
    // The same list taken line by line would lose files: refused.
    const Outcome refused = Count({"--files-from", "-"}, list);
    EXPECT_EQ(refused.status, 2);
    EXPECT_EQ(refused.out, "");
    EXPECT_NE(refused.err.find("standard input: holds a NUL byte"), std::string::npos) << refused.err;
    EXPECT_EQ(Count({"--null", dir.path()}).status, 2);  // --null without a list
}

TEST(QuillonCountInputs, AFileReachedTwiceIsCountedOnceWithANote) {
    TempDir dir;
    fixtures::MakeDir(dir / "f/sub");
    fixtures::WriteTiff(dir / "f/x.tif", 2);
    fixtures::WriteTiff(dir / "f/sub/y.tif", 3);
    fixtures::WriteFile(dir / "list1", dir / "f/x.tif" + "\n");
    fixtures::WriteFile(dir / "list2", dir / "f/sub/y.tif" + "\n" + dir / "f/x.tif" + "\n");
    // Given twice, a folder and its subfolder, ./x and x, a file and its
    // folder, two lists naming it; from inside the tree.
    const Outcome r = Count({"--jobs", "1", "f", "f/sub", "./f/x.tif", "f/x.tif", "f", "--files-from",
                             dir / "list1", "--files-from", dir / "list2"},
                            {}, "cd " + Quote(dir.path()) + " && ");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{"f/x.tif\tTIF\t" + Size(dir / "f/x.tif") + "\t2",
                                                      "f/sub/y.tif\tTIF\t" + Size(dir / "f/sub/y.tif") + "\t3"}));
    EXPECT_NE(r.err.find("Total Pages TIFs = 5 PDFs = 0"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("quillon-count: ./f/x.tif: the same file as f/x.tif; counted once\n"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("quillon-count: f/x.tif: given more than once; counted once\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("quillon-count: " + dir / "f/sub/y.tif" + ": the same file as f/sub/y.tif; counted once\n"),
              std::string::npos)
        << r.err;
}

// The largest peak memory of the children waited for so far, in KB.
long ChildrenPeakKb() {
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    return usage.ru_maxrss;
}

TEST(QuillonCountInputs, AFolderOfManyOtherFilesIsNotHeldInMemory) {
    // Scanner output folders hold hundreds of thousands of files; the ones
    // that are no PDF or TIFF must cost no memory, and the ones that are
    // must still be found, in listing order after the other kinds' pass.
    TempDir empty, wide;
    constexpr int kOthers = 150000;
    for (int i = 0; i < kOthers; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "scanned_page_of_a_long_batch_%07d.jpg", i);
        const int fd = ::open((wide / name).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0) << std::strerror(errno);
        ::close(fd);
    }
    fixtures::WriteFile(wide / "a.pdf", "");
    fixtures::WriteFile(wide / "b.tif", "");
    const Outcome small = Count({"--format", "tsv", empty.path()});
    ASSERT_EQ(small.status, 0) << small.err;
    const long before = ChildrenPeakKb();
    const Outcome r = Count({"--format", "tsv", wide.path()});
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), 2u) << r.out;
    EXPECT_EQ(FirstField(lines[0]), wide / "b.tif");
    EXPECT_EQ(FirstField(lines[1]), wide / "a.pdf");
    // Holding the listing took about 100 bytes a name (15 MB here).
    EXPECT_LT(ChildrenPeakKb() - before, 6 * 1024) << "peak " << ChildrenPeakKb() << " KB against " << before;
}

TEST(QuillonCountInputs, EveryListIsReadAndAFolderIsNoList) {
    TempDir dir;
    fixtures::WriteTiff(dir / "a.tif", 1);
    fixtures::WriteTiff(dir / "b.tif", 2);
    fixtures::WriteFile(dir / "one", dir / "a.tif" + "\n");
    fixtures::WriteFile(dir / "two", dir / "b.tif" + "\n");
    const Outcome both = Count({"--jobs", "1", "--files-from", dir / "one", "--files-from", dir / "two"});
    EXPECT_EQ(both.status, 0) << both.err;
    EXPECT_EQ(Lines(both.out).size(), 2u);
    const Outcome folder = Count({"--files-from", dir.path()});
    EXPECT_EQ(folder.status, 2);
    EXPECT_NE(folder.err.find(dir.path() + ": is a folder"), std::string::npos) << folder.err;
}

TEST(QuillonCountInputs, AFileOfTheOtherKindGivenByNameIsCountedAndTotalled) {
    TempDir dir;
    fixtures::MakeDir(dir / "f");
    fixtures::WriteTiff(dir / "f/a.tif", 2);
    fixtures::WriteFile(dir / "f/skipped.pdf", fixtures::PdfBytes(9));
    fixtures::WriteFile(dir / "named.pdf", fixtures::PdfBytes(3));
    const Outcome r = Count({"--tif", "--jobs", "1", dir / "f", dir / "named.pdf"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out).size(), 2u);
    EXPECT_NE(r.err.find("Total Pages TIFs = 2 PDFs = 3\n"), std::string::npos) << r.err;
}

TEST(QuillonCountExport, InterruptedExportLeavesNoTemporaryFileAndTheOldOne) {
    TempDir dir;
    TempDir out;
    fixtures::MakeDir(dir / "many");
    fixtures::WriteFile(dir / "many/0.pdf", "");
    // Enough rows to catch the export in the middle; hard links are quick to make.
    for (int i = 1; i < 20000; ++i)
        ASSERT_EQ(link((dir / "many/0.pdf").c_str(), (dir / ("many/" + std::to_string(i) + ".pdf")).c_str()), 0);
    const std::string target = out / "list.xlsx";
    fixtures::WriteFile(target, "the old export");
    const int status = fixtures::InterruptWhenCreated(
        [&] {
            const int null = open("/dev/null", O_WRONLY);
            dup2(null, 1);
            dup2(null, 2);
            execl(QUILLON_COUNT, QUILLON_COUNT, "--export", target.c_str(), (dir / "many").c_str(),
                  static_cast<char*>(nullptr));
        },
        out.path(), ".list.xlsx.", SIGINT);
    ASSERT_NE(status, -1) << "the export never made its temporary file";
    ASSERT_TRUE(WIFSIGNALED(status)) << "exited " << WEXITSTATUS(status);
    EXPECT_EQ(WTERMSIG(status), SIGINT);
    EXPECT_TRUE(fixtures::NamesStartingWith(out.path(), ".list.xlsx.").empty());
    EXPECT_EQ(fixtures::ReadFile(target), "the old export");
}
