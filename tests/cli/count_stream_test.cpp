// quillon-count streams: rows come while the walk goes on, and overlapping
// inputs are told from the inputs themselves.
#include "run_count.h"

#include <search/count_run.h>

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

using fixtures::TempDir;

namespace {

// File dates as the system has them, but every file after the first waits
// until the test opens the gate: a walk made slow at a known point.
class GatedDates final : public search::DateSource {
public:
    search::FileDateAnswer Date(int dirFd, const char* name, int field) const override {
        if (std::string(name) != "a.tif") gate_.wait_for(std::chrono::seconds(10));
        return search::SystemDates().Date(dirFd, name, field);
    }
    void Open() { opened_.set_value(); }

private:
    std::promise<void> opened_;
    std::shared_future<void> gate_{opened_.get_future().share()};
};

search::CountInputs TifsOf(const std::string& folder) {
    search::CountInputs in;
    in.paths = {folder};
    in.tif = true;
    in.jobs = 2;
    return in;
}

}  // namespace

TEST(CountRunStream, FirstRowComesWhileTheWalkIsHeldUp) {
    TempDir dir;
    fixtures::MakeDir(dir / "sub");
    fixtures::WriteTiff(dir / "a.tif", 2);
    fixtures::WriteTiff(dir / "sub/b.tif", 3);
    fixtures::WriteTiff(dir / "sub/c.tif", 4);
    search::ComponentLoader loader(QUILLON_BIN_DIR);
    search::CountInputs in = TifsOf(dir.path());
    in.dateField = search::kDateModified;
    in.from = {1970, 1, 2};
    in.to = {2200, 1, 1};
    search::CountRun run(loader, in);
    GatedDates dates;
    run.SetDates(&dates);

    std::vector<std::string> paths;
    bool walkDoneAtFirstRow = true;
    bool idleBeforeSecondRow = false;
    bool idle = false;
    run.Stream(
        [&](std::size_t i, const std::string& path, search::RowOutcome&& o) {
            if (i == 0) walkDoneAtFirstRow = run.WalkDone();
            if (i == 1) idleBeforeSecondRow = idle;
            paths.push_back(path);
            EXPECT_TRUE(search::Counted(o.row)) << path;
            return true;
        },
        // The consumer waits for the held-up walk: the moment rows are flushed.
        [&] {
            if (!idle) dates.Open();
            idle = true;
        });
    EXPECT_FALSE(walkDoneAtFirstRow) << "the first row waited for the walk";
    EXPECT_TRUE(idleBeforeSecondRow);
    EXPECT_EQ(paths, (std::vector<std::string>{dir / "a.tif", dir / "sub/b.tif", dir / "sub/c.tif"}));
    EXPECT_EQ(run.Totals().tifPages, 9);
    EXPECT_EQ(run.Totals().files, 3);
}

TEST(CountRunStream, StopFromAnotherThreadEndsWalkAndCounts) {
    TempDir dir;
    for (int f = 0; f < 20; ++f) {
        fixtures::MakeDir(dir / std::to_string(f));
        for (int i = 0; i < 100; ++i) fixtures::WriteFile(dir / (std::to_string(f) + "/" + std::to_string(i) + ".tif"), "");
    }
    search::ComponentLoader loader(QUILLON_BIN_DIR);
    std::stop_source stop;
    search::CountRun run(loader, TifsOf(dir.path()), stop.get_token());
    std::promise<void> tenth;
    std::thread stopper([&] {
        tenth.get_future().wait();
        stop.request_stop();
    });
    std::size_t consumed = 0;
    run.Stream([&](std::size_t i, const std::string&, search::RowOutcome&&) {
        ++consumed;
        if (i == 9) {
            tenth.set_value();
            while (!run.StopRequested()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return true;
    });
    stopper.join();
    EXPECT_EQ(consumed, 10u);
    EXPECT_EQ(run.Totals().files, 10);
}

TEST(QuillonCountInputs, OverlappingInputsCountEachFileOnce) {
    TempDir dir;
    fixtures::MakeDir(dir / "top/in/deep");
    fixtures::MakeDir(dir / "top/$RECYCLE.BIN");
    fixtures::MakeDir(dir / "other");
    fixtures::WriteTiff(dir / "top/t.tif", 1);
    fixtures::WriteTiff(dir / "top/in/i.tif", 2);
    fixtures::WriteTiff(dir / "top/in/deep/d.tif", 3);
    fixtures::WriteTiff(dir / "top/$RECYCLE.BIN/r.tif", 4);
    fixtures::WriteTiff(dir / "other/o.tif", 5);
    fixtures::WriteFile(dir / "top/p.pdf", fixtures::PdfBytes(6));
    ASSERT_EQ(::symlink("top/in", (dir / "link-in").c_str()), 0);
    ASSERT_EQ(::symlink("top/t.tif", (dir / "link-t.tif").c_str()), 0);
    fixtures::WriteFile(dir / "list", "top/in/deep/d.tif\n./other\nother/o.tif\n");
    const std::string cd = "cd " + Quote(dir.path()) + " && ";
    auto size = [&](const std::string& rel) { return Size(dir / rel); };

    // The inner folder first, then the outer one through a link and by name;
    // a file given before its folder; the folder the walk leaves out; a list.
    const Outcome r = Count({"--tif", "--jobs", "2", "top/in/deep/d.tif", "link-in", "top", "./top/in", "top/p.pdf",
                             "top/$RECYCLE.BIN", "link-t.tif", "--files-from", "list"},
                            {}, cd);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                                "top/in/deep/d.tif\tTIF\t" + size("top/in/deep/d.tif") + "\t3",
                                "link-in/i.tif\tTIF\t" + size("top/in/i.tif") + "\t2",
                                "top/t.tif\tTIF\t" + size("top/t.tif") + "\t1",
                                // --tif: the walk of top left the PDF out, so given by name it counts.
                                "top/p.pdf\tPDF\t" + size("top/p.pdf") + "\t6",
                                "top/$RECYCLE.BIN/r.tif\tTIF\t" + size("top/$RECYCLE.BIN/r.tif") + "\t4",
                                // A link to a file is listed apart from its target.
                                "link-t.tif\tTIF\t" + size("top/t.tif") + "\t1",
                                "./other/o.tif\tTIF\t" + size("other/o.tif") + "\t5"}))
        << r.err;
    EXPECT_NE(r.err.find("link-in/deep/d.tif: the same file as top/in/deep/d.tif; counted once\n"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("top/in/i.tif: the same file as link-in/i.tif; counted once\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("./top/in/i.tif: the same file as link-in/i.tif; counted once\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("./top/in/deep/d.tif: the same file as top/in/deep/d.tif; counted once\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("other/o.tif: the same file as ./other/o.tif; counted once\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Total Files : 7\n"), std::string::npos) << r.err;

    // Without subfolders an inner folder is not reached by the outer one.
    const Outcome flat = Count({"--no-subfolders", "--jobs", "1", "top", "top/in", "./top"}, {}, cd);
    EXPECT_EQ(Lines(flat.out), (std::vector<std::string>{"top/t.tif\tTIF\t" + size("top/t.tif") + "\t1",
                                                         "top/p.pdf\tPDF\t" + size("top/p.pdf") + "\t6",
                                                         "top/in/i.tif\tTIF\t" + size("top/in/i.tif") + "\t2"}))
        << flat.err;
    EXPECT_NE(flat.err.find("./top/t.tif: the same file as top/t.tif; counted once\n"), std::string::npos) << flat.err;
}
