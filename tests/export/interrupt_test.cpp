// An export ended by a signal: the temporary file goes, the old file stays.
#include "export/export_file.h"
#include "export/interrupt_cleanup.h"
#include "fixtures.h"
#include "test_support.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

using namespace exporting;

namespace {

// Writes a workbook large enough to be caught in the middle, as the program
// does once it has installed the handlers at start-up.
void ExportInChild(const std::string& target) {
    RemoveTemporaryFilesOnSignals();
    ExportTable table({"Name", "Path", "Size", "Page Count"});
    for (int i = 0; i < 200000; ++i) {
        const std::string n = std::to_string(i);
        table.AppendRow({"f" + n + ".pdf", "/data/scans/f" + n + ".pdf", "     12 KB", n});
    }
    WriteExportFile(table, target);
}

}  // namespace

TEST(InterruptedExport, EachEndingSignalRemovesTheTemporaryFileAndKeepsTheOldOne) {
    for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
        fixtures::TempDir dir;
        const std::string target = dir / "list.xlsx";
        exporttest::WriteFile(target, "the old export");
        const int status = fixtures::InterruptWhenCreated([&] { ExportInChild(target); }, dir.path(),
                                                          ".list.xlsx.", sig);
        ASSERT_NE(status, -1) << "the export never made its temporary file";
        // The process ended by the signal, as it would have without the cleanup.
        ASSERT_TRUE(WIFSIGNALED(status)) << strsignal(sig) << ": exited " << WEXITSTATUS(status);
        EXPECT_EQ(WTERMSIG(status), sig);
        EXPECT_EQ(dir.Names(), std::vector<std::string>{"list.xlsx"}) << strsignal(sig);
        EXPECT_EQ(exporttest::ReadFile(target), "the old export");
    }
}

TEST(InterruptedExport, AnIgnoredSignalStaysIgnored) {
    fixtures::TempDir dir;
    const std::string target = dir / "list.xlsx";
    const int status = fixtures::InterruptWhenCreated(
        [&] {
            signal(SIGHUP, SIG_IGN);  // as under nohup
            ExportInChild(target);
        },
        dir.path(), ".list.xlsx.", SIGHUP);
    ASSERT_NE(status, -1);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(dir.Names(), std::vector<std::string>{"list.xlsx"});  // finished, and nothing else left
}
