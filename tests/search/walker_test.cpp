// The folder walker over real temporary trees.
#include "fixtures.h"

#include <search/walker.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <dirent.h>
#include <filesystem>
#include <functional>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

using fixtures::TempDir;
using fixtures::WriteFile;
using search::CalendarDate;

namespace {

struct Recorder : search::WalkControl {
    bool recursive = true;
    int dateField = search::kDateNone;
    CalendarDate from, to;
    std::vector<std::string> found;
    std::vector<std::string> entered;
    std::int64_t lastCount = -1;
    int examined = 0;
    std::function<void()> onExamined;
    std::function<void(const std::string&)> onEnter;
    std::function<bool()> stop = [] { return false; };

    bool StopRequested() override { return stop(); }
    bool IncludeSubfolders() override { return recursive; }
    int DateField() override { return dateField; }
    CalendarDate From() override { return from; }
    CalendarDate To() override { return to; }
    void Accepted(std::string p) override { found.push_back(std::move(p)); }
    void FileExamined(std::int64_t n) override {
        lastCount = n;
        ++examined;
        if (onExamined) onExamined();
    }
    void EnteringFolder(const std::string& t) override {
        entered.push_back(t);
        if (onEnter) onEnter(t);
    }
    void Unsearched(const std::string& path, bool folder, int error) override {
        unsearched.push_back({path, folder, error});
    }
    void Undated(const std::string& path) override { undated.push_back(path); }

    struct Skipped {
        std::string path;
        bool folder;
        int error;
    };
    std::vector<Skipped> unsearched;
    std::vector<std::string> undated;
};

std::vector<std::string> Names(const std::vector<std::string>& paths, const std::string& root) {
    std::vector<std::string> out;
    for (const auto& p : paths) out.push_back(p.substr(root.size() + 1));
    return out;
}

std::vector<std::string> Sorted(std::vector<std::string> v) {
    std::sort(v.begin(), v.end());
    return v;
}

const auto kBoth = search::BuildPatterns(true, true);

}  // namespace

TEST(Patterns, BuiltFromKinds) {
    EXPECT_EQ(search::BuildPatterns(true, true), (std::vector<std::string>{"*.tif", "*.pdf"}));
    EXPECT_EQ(search::BuildPatterns(true, false), (std::vector<std::string>{"*.tif", ""}));
    EXPECT_EQ(search::BuildPatterns(false, true), (std::vector<std::string>{"*.pdf"}));
    EXPECT_TRUE(search::BuildPatterns(false, false).empty());
}

TEST(Patterns, LastExtensionEqualsOrBeginsWithIgnoringCase) {
    using search::MatchesPattern;
    EXPECT_TRUE(MatchesPattern("x.tif", "*.tif"));
    EXPECT_TRUE(MatchesPattern("x.TIFF", "*.tif"));
    EXPECT_TRUE(MatchesPattern("a.b.Pdf", "*.pdf"));
    EXPECT_FALSE(MatchesPattern("x.tif.bak", "*.tif"));
    EXPECT_FALSE(MatchesPattern("tif", "*.tif"));
    EXPECT_FALSE(MatchesPattern("x.ti", "*.tif"));
    EXPECT_FALSE(MatchesPattern("x.tif", ""));
}

TEST(WalkerTexts, TrimProperCaseElapsedDates) {
    EXPECT_EQ(search::TrimAtNul(std::string("ab\0cd", 5)), "ab");
    EXPECT_EQ(search::TrimAtNul("abc"), "abc");
    EXPECT_EQ(search::ProperCase("c:\\program files\\x"), "C:\\program Files\\x");
    EXPECT_EQ(search::ProperCase("/HOME/my DOCS/é"), "/home/my Docs/é");
    EXPECT_EQ(search::FormatElapsed(std::chrono::seconds(0)), "00:00:00");
    EXPECT_EQ(search::FormatElapsed(std::chrono::seconds(3723)), "01:02:03");
    EXPECT_EQ(search::FormatElapsed(std::chrono::seconds(25 * 3600 + 61)), "01:01:01");
    const CalendarDate mar1{2024, 3, 1}, mar31{2024, 3, 31}, apr1{2024, 4, 1};
    EXPECT_TRUE(search::DateInWindow(mar1, mar1, mar31));
    EXPECT_TRUE(search::DateInWindow(mar31, mar31, mar1));  // swapped bounds
    EXPECT_FALSE(search::DateInWindow(apr1, mar1, mar31));
    EXPECT_FALSE(search::DateInWindow(apr1, mar31, mar1));
}

TEST(Walker, FindsKindsInOrderPerFolderThenSubfolders) {
    TempDir dir;
    const std::string f = dir / "F";
    fixtures::MakeDir(f + "/S");
    WriteFile(f + "/b.pdf", "x");
    WriteFile(f + "/a.tif", "x");
    WriteFile(f + "/notes.txt", "x");
    WriteFile(f + "/S/c.tif", "x");
    Recorder r;
    const auto result = search::TotalFiles(f, kBoth, r);
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(Names(r.found, f), (std::vector<std::string>{"a.tif", "b.pdf", "S/c.tif"}));
    EXPECT_EQ(result.fileCount, 3);
    EXPECT_EQ(r.lastCount, 3);
    ASSERT_EQ(r.entered.size(), 1u);  // never for the search folder itself
    EXPECT_EQ(r.entered[0], search::ProperCase(f + "/S") + "/");

    Recorder withSlash;
    search::TotalFiles(f + "/", kBoth, withSlash);
    EXPECT_EQ(withSlash.found, r.found);

    Recorder flat;
    flat.recursive = false;
    search::TotalFiles(f, kBoth, flat);
    EXPECT_EQ(Names(flat.found, f), (std::vector<std::string>{"a.tif", "b.pdf"}));

    Recorder tifOnly;
    search::TotalFiles(f, search::BuildPatterns(true, false), tifOnly);
    EXPECT_EQ(Names(tifOnly.found, f), (std::vector<std::string>{"a.tif", "S/c.tif"}));
    Recorder none;
    search::TotalFiles(f, search::BuildPatterns(false, false), none);
    EXPECT_TRUE(none.found.empty());
}

TEST(Walker, RecycleFoldersSkippedOnlyBelowTheSearchFolder) {
    TempDir dir;
    const std::string root = dir / "RECYCLE";
    for (const char* d : {"$RECYCLE.BIN", "RECYCLER", "Recycled", "xRECYCLEx"}) {
        fixtures::MakeDir(root + "/" + d);
        WriteFile(root + "/" + d + "/in.tif", "x");
    }
    WriteFile(root + "/RECYCLE.tif", "x");
    Recorder r;
    search::TotalFiles(root, kBoth, r);
    EXPECT_EQ(Sorted(Names(r.found, root)), (std::vector<std::string>{"RECYCLE.tif", "Recycled/in.tif"}));
}

TEST(Walker, EveryRegularFileIsACandidate) {
    TempDir dir;
    WriteFile(dir / ".hidden.tif", "x");
    WriteFile(dir / "readonly.pdf", "x");
    chmod((dir / "readonly.pdf").c_str(), 0444);
    WriteFile(dir / "plain.tif", "x");
    fixtures::MakeDir(dir / "folder.tif");  // a folder with a matching name is no file
    mkfifo((dir / "pipe.pdf").c_str(), 0644);  // nor is a pipe (and it must not block the walk)
    Recorder r;
    search::TotalFiles(dir.path(), kBoth, r);
    EXPECT_EQ(Sorted(Names(r.found, dir.path())),
              (std::vector<std::string>{".hidden.tif", "plain.tif", "readonly.pdf"}));
}

TEST(Walker, LinkedFoldersAreNotDescendedLinkedFilesAreCounted) {
    TempDir dir;
    const std::string root = dir / "root";
    fixtures::MakeDir(root + "/sub");
    WriteFile(root + "/sub/real.tif", "x");
    WriteFile(dir / "outside.pdf", "x");
    ASSERT_EQ(symlink(root.c_str(), (root + "/sub/up").c_str()), 0);        // loops back to the top
    ASSERT_EQ(symlink((dir / "outside.pdf").c_str(), (root + "/link.pdf").c_str()), 0);
    ASSERT_EQ(symlink((dir / "gone.tif").c_str(), (root + "/broken.tif").c_str()), 0);
    ASSERT_EQ(symlink((root + "/sub").c_str(), (root + "/dirlink.tif").c_str()), 0);
    Recorder r;
    const auto result = search::TotalFiles(root, kBoth, r);
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(Sorted(Names(r.found, root)), (std::vector<std::string>{"link.pdf", "sub/real.tif"}));

    // The search folder itself may be given through a link.
    const std::string viaLink = dir / "via";
    ASSERT_EQ(symlink(root.c_str(), viaLink.c_str()), 0);
    Recorder v;
    search::TotalFiles(viaLink, kBoth, v);
    EXPECT_EQ(v.found.size(), 2u);
}

TEST(Walker, NamesDifferingOnlyInCaseAreBothKept) {
    TempDir dir;
    WriteFile(dir / "Scan.tif", "x");
    WriteFile(dir / "scan.tif", "x");
    WriteFile(dir / "SCAN.TIF", "x");
    Recorder r;
    const auto result = search::TotalFiles(dir.path(), kBoth, r);
    EXPECT_FALSE(result.failed);
    EXPECT_EQ(Sorted(Names(r.found, dir.path())), (std::vector<std::string>{"SCAN.TIF", "Scan.tif", "scan.tif"}));
}

TEST(Walker, VanishedFilesAndFoldersAreSkippedAndTheWalkGoesOn) {
    TempDir dir;
    for (int i = 0; i < 10; ++i) WriteFile(dir / ("f" + std::to_string(i) + ".tif"), "x");
    fixtures::MakeDir(dir / "later");
    WriteFile(dir / "later/kept.pdf", "x");
    fixtures::MakeDir(dir / "gone");
    WriteFile(dir / "gone/lost.pdf", "x");
    Recorder r;
    r.dateField = search::kDateModified;
    r.from = {1970, 1, 1};
    r.to = {9999, 12, 31};
    bool removed = false;
    r.onExamined = [&] {
        if (removed) return;
        removed = true;
        // Every other top-level file disappears after the folder was listed.
        for (int i = 0; i < 10; ++i) unlink((dir / ("f" + std::to_string(i) + ".tif")).c_str());
        std::filesystem::remove_all(dir / "gone");
    };
    const auto result = search::TotalFiles(dir.path(), kBoth, r);
    EXPECT_FALSE(result.failed);
    ASSERT_EQ(r.found.size(), 2u);
    EXPECT_EQ(r.found[1], dir / "later/kept.pdf");
}

TEST(Walker, UnreadableFoldersAndFilesAreReportedAndTheWalkGoesOn) {
    TempDir dir;
    chmod(dir.path().c_str(), 0755);
    fixtures::MakeDir(dir / "closed/inner");
    WriteFile(dir / "closed/x.tif", "x");
    fixtures::MakeDir(dir / "listonly");  // listed, but nothing in it can be looked at
    WriteFile(dir / "listonly/y.pdf", "x");
    ASSERT_EQ(symlink((dir / "listonly/y.pdf").c_str(), (dir / "through.pdf").c_str()), 0);
    fixtures::MakeDir(dir / "later");
    WriteFile(dir / "later/z.tif", "x");
    WriteFile(dir / "open.tif", "x");
    chmod((dir / "closed").c_str(), 0);
    chmod((dir / "listonly").c_str(), 0444);
    fixtures::Unprivileged user;
    if (!user.ok()) GTEST_SKIP() << user.why();
    Recorder r;
    const auto result = search::TotalFiles(dir.path(), kBoth, r);
    EXPECT_FALSE(result.failed);
    // Everything readable is found, after the folder that is not.
    EXPECT_EQ(Sorted(Names(r.found, dir.path())), (std::vector<std::string>{"later/z.tif", "listonly/y.pdf", "open.tif"}));
    // In walk order: the folder's own files first (a link that leads into
    // the folder that can only be listed cannot be looked at), then below.
    ASSERT_EQ(r.unsearched.size(), 2u);
    EXPECT_EQ(r.unsearched[0].path, dir / "through.pdf");
    EXPECT_FALSE(r.unsearched[0].folder);
    EXPECT_EQ(r.unsearched[0].error, EACCES);
    EXPECT_EQ(r.unsearched[1].path, dir / "closed/");
    EXPECT_TRUE(r.unsearched[1].folder);
    EXPECT_EQ(r.unsearched[1].error, EACCES);

    // The search folder itself, closed: reported, nothing found.
    Recorder top;
    search::TotalFiles(dir / "closed", kBoth, top);
    ASSERT_EQ(top.unsearched.size(), 1u);
    EXPECT_EQ(top.unsearched[0].path, dir / "closed/");
}

TEST(Walker, FolderWhoseListingIsRefusedIsReported) {
    // /proc/N/map_files opens but may refuse its listing: the case that once
    // ended a search of / at once.
    std::string process, refusedFolder;
    int why = 0;
    for (const char* p : {"/proc/1", "/proc/self"}) {
        DIR* probe = opendir((std::string(p) + "/map_files").c_str());
        if (!probe) continue;
        errno = 0;
        while (readdir(probe)) {
        }
        const bool refused = errno != 0;
        why = errno;
        closedir(probe);
        if (refused) {
            process = p;
            break;
        }
    }
    if (process.empty()) GTEST_SKIP() << "no folder here opens and then refuses its listing";
    Recorder r;
    const auto result = search::TotalFiles(process + "/map_files", kBoth, r);
    EXPECT_FALSE(result.failed);
    ASSERT_EQ(r.unsearched.size(), 1u);
    EXPECT_EQ(r.unsearched[0].path, process + "/map_files/");
    EXPECT_EQ(r.unsearched[0].error, why);

    // Inside a larger walk the search goes on past it.
    Recorder whole;
    const auto walked = search::TotalFiles(process, kBoth, whole);
    EXPECT_FALSE(walked.failed) << walked.errorText;
    EXPECT_TRUE(std::any_of(whole.unsearched.begin(), whole.unsearched.end(),
                            [&](const Recorder::Skipped& s) { return s.path == process + "/map_files/"; }));
    EXPECT_GT(whole.entered.size(), 5u);
}

TEST(Walker, MissingOrFileSearchPathFindsNothing) {
    TempDir dir;
    WriteFile(dir / "a.tif", "x");
    for (const std::string& p : {dir / "none", dir / "a.tif", std::string()}) {
        Recorder r;
        const auto result = search::TotalFiles(p, kBoth, r);
        EXPECT_FALSE(result.failed) << p;
        EXPECT_TRUE(r.found.empty()) << p;
    }
}

TEST(Walker, UnexpectedErrorEndsTheWalkNamingTheFolderAndKeepsWhatWasFound) {
    TempDir dir;
    WriteFile(dir / "top.tif", "x");
    fixtures::MakeDir(dir / "a");
    WriteFile(dir / "a/inner.pdf", "x");
    Recorder r;
    r.onEnter = [](const std::string&) { throw std::runtime_error("device gone"); };
    const auto result = search::TotalFiles(dir.path(), kBoth, r);
    EXPECT_TRUE(result.failed);
    EXPECT_EQ(result.errorText, "device gone");
    EXPECT_EQ(result.failedFolder, dir.path() + "/");
    EXPECT_EQ(Names(r.found, dir.path()), (std::vector<std::string>{"top.tif"}));
}

TEST(Walker, StopReturnsFromEveryLevelKeepingWhatWasFound) {
    TempDir dir;
    std::string deep = dir.path();
    for (int level = 0; level < 6; ++level) {
        deep += "/d" + std::to_string(level);
        fixtures::MakeDir(deep);
        for (int i = 0; i < 5; ++i) WriteFile(deep + "/f" + std::to_string(i) + ".tif", "x");
    }
    Recorder r;
    r.stop = [&] { return r.found.size() >= 12; };
    const auto result = search::TotalFiles(dir.path(), kBoth, r);
    EXPECT_TRUE(result.stopped);
    EXPECT_EQ(r.found.size(), 12u);
    EXPECT_EQ(r.examined, 12);  // nothing listed after the stop
    EXPECT_LE(r.entered.size(), 3u);
}

TEST(Walker, DeepTreesBeyondHeldHandles) {
    TempDir dir;
    std::string deep = dir.path();
    for (int level = 0; level < 150; ++level) deep += "/d";
    fixtures::MakeDir(deep);
    WriteFile(deep + "/bottom.pdf", "x");
    Recorder r;
    const auto result = search::TotalFiles(dir.path(), kBoth, r);
    EXPECT_FALSE(result.failed);
    ASSERT_EQ(r.found.size(), 1u);
    EXPECT_EQ(r.found[0], deep + "/bottom.pdf");
}

TEST(Walker, FoldersBeyondThePathLimitAreWalked) {
    TempDir dir;
    // Short paths down to where the walker stops holding every folder open,
    // then a path well past PATH_MAX.
    const fixtures::DeepFolder deep(dir.path(), 120, 60);
    ASSERT_GT(deep.path().size(), static_cast<std::size_t>(PATH_MAX));
    deep.Write("bottom.pdf", "x");
    Recorder r;
    const auto result = search::TotalFiles(dir.path(), kBoth, r);
    EXPECT_FALSE(result.failed);
    EXPECT_TRUE(r.unsearched.empty()) << r.unsearched.front().path.size() << ": " << r.unsearched.front().error;
    ASSERT_EQ(r.found.size(), 1u);
    EXPECT_EQ(r.found[0], deep.path() + "/bottom.pdf");
}

TEST(WalkerDates, ModifiedWindowInclusiveEitherOrder) {
    TempDir dir;
    WriteFile(dir / "early.tif", "x");
    WriteFile(dir / "late.tif", "x");
    WriteFile(dir / "april.tif", "x");
    fixtures::SetTimes(dir / "early.tif", 2024, 3, 1, 23, 59);
    fixtures::SetTimes(dir / "late.tif", 2024, 3, 31, 0, 1);
    fixtures::SetTimes(dir / "april.tif", 2024, 4, 1, 0, 0);
    for (bool swapped : {false, true}) {
        Recorder r;
        r.dateField = search::kDateModified;
        r.from = swapped ? CalendarDate{2024, 3, 31} : CalendarDate{2024, 3, 1};
        r.to = swapped ? CalendarDate{2024, 3, 1} : CalendarDate{2024, 3, 31};
        search::TotalFiles(dir.path(), kBoth, r);
        EXPECT_EQ(Sorted(Names(r.found, dir.path())), (std::vector<std::string>{"early.tif", "late.tif"}));
        EXPECT_EQ(r.examined, 3);  // rejected files still refresh the status
    }
}

TEST(WalkerDates, AccessedAndCreatedDates) {
    TempDir dir;
    WriteFile(dir / "a.pdf", "x");
    fixtures::SetTimes(dir / "a.pdf", 2020, 6, 15, 12, 0, /*access=*/true);
    Recorder accessed;
    accessed.dateField = search::kDateAccessed;
    accessed.from = accessed.to = {2020, 6, 15};
    search::TotalFiles(dir.path(), kBoth, accessed);
    EXPECT_EQ(accessed.found.size(), 1u);

    // Created: the birth time where the file system records it; otherwise
    // the date is unknown and the file lies outside every window.
    const auto born = search::FileDate(AT_FDCWD, (dir / "a.pdf").c_str(), search::kDateCreated);
    Recorder created;
    created.dateField = search::kDateCreated;
    created.from = {1970, 1, 1};
    created.to = {9999, 12, 31};
    search::TotalFiles(dir.path(), kBoth, created);
    EXPECT_EQ(created.found.size(), born ? 1u : 0u);
    if (born) {
        Recorder past;
        past.dateField = search::kDateCreated;
        past.from = past.to = {2020, 6, 15};
        search::TotalFiles(dir.path(), kBoth, past);
        EXPECT_TRUE(past.found.empty());
    }
}

namespace {
// Dates as a file system without creation times answers them.
struct NoBirthTimes : search::DateSource {
    search::FileDateAnswer Date(int, const char* name, int field) const override {
        search::FileDateAnswer a;
        if (field == search::kDateCreated && std::string(name) != "dated.pdf") {
            a.status = search::FileDateAnswer::Status::NotRecorded;
        } else {
            a.status = search::FileDateAnswer::Status::Known;
            a.date = {2024, 5, 1};
        }
        return a;
    }
};
}  // namespace

TEST(WalkerDates, FilesWithoutTheChosenDateAreToldNotDroppedInSilence) {
    TempDir dir;
    WriteFile(dir / "a.tif", "x");
    WriteFile(dir / "b.pdf", "x");
    WriteFile(dir / "dated.pdf", "x");
    const NoBirthTimes dates;
    Recorder created;
    created.dateField = search::kDateCreated;
    created.from = {2024, 1, 1};
    created.to = {2024, 12, 31};
    search::TotalFiles(dir.path(), kBoth, created, dates);
    EXPECT_EQ(Names(created.found, dir.path()), (std::vector<std::string>{"dated.pdf"}));
    EXPECT_EQ(Sorted(Names(created.undated, dir.path())), (std::vector<std::string>{"a.tif", "b.pdf"}));
    EXPECT_EQ(created.examined, 3);
    EXPECT_TRUE(created.unsearched.empty());

    Recorder modified = created;
    modified.found.clear();
    modified.undated.clear();
    modified.dateField = search::kDateModified;
    search::TotalFiles(dir.path(), kBoth, modified, dates);
    EXPECT_EQ(modified.found.size(), 3u);
    EXPECT_TRUE(modified.undated.empty());
}

TEST(WalkerDates, RealFileSystemWithoutCreationTimes) {
    fixtures::NoBirthTimeMount mount;
    if (!mount.ok()) GTEST_SKIP() << mount.why();
    WriteFile(mount.path() + "/scan.tif", "x");
    Recorder r;
    r.dateField = search::kDateCreated;
    r.from = {1970, 1, 1};
    r.to = {9999, 12, 31};
    search::TotalFiles(mount.path(), kBoth, r);
    EXPECT_TRUE(r.found.empty());
    EXPECT_EQ(r.undated, (std::vector<std::string>{mount.path() + "/scan.tif"}));
}

TEST(Walker, NoLimitOnFilesPerFolder) {
    TempDir dir;
    const int many = 33000;  // beyond a 16-bit count
    for (int i = 0; i < many; ++i) {
        const std::string name = dir / ("f" + std::to_string(i) + (i % 2 ? ".pdf" : ".tif"));
        const int fd = open(name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        close(fd);
    }
    fixtures::MakeDir(dir / "sub");
    WriteFile(dir / "sub/last.tif", "x");
    Recorder r;
    const auto result = search::TotalFiles(dir.path(), kBoth, r);
    EXPECT_EQ(result.fileCount, many + 1);
    EXPECT_EQ(r.found.back(), dir / "sub/last.tif");
}
