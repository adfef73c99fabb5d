// The counting run streams: rows come while the walk goes on, and a stop
// from another thread ends it.
#include "fixtures.h"

#include <search/count_run.h>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <map>
#include <stop_token>
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

TEST(CountRunSizes, RowsCarryTheirPagesSizesOnlyWhenTheRunAsks) {
    TempDir dir;
    fixtures::WriteTiff(dir / "scan.tif", 2);  // no resolution
    fixtures::WriteFile(dir / "letter.pdf", fixtures::PdfBytes(3));
    search::ComponentLoader loader(QUILLON_BIN_DIR);
    for (const bool sizes : {false, true}) {
        search::CountInputs in = TifsOf(dir.path());
        in.pdf = true;
        in.sizes = sizes;
        search::CountRun run(loader, std::move(in));
        std::map<std::string, std::vector<component::PageSizeRun>> seen;
        run.Stream([&](std::size_t, const std::string& path, search::RowOutcome&& o) {
            seen[path] = o.row.pageSizes;
            return true;
        });
        ASSERT_EQ(seen.size(), 2u);
        if (!sizes) {
            for (const auto& [path, runs] : seen) EXPECT_TRUE(runs.empty()) << path;
            continue;
        }
        const auto& pdf = seen.at(dir / "letter.pdf");
        ASSERT_EQ(pdf.size(), 1u);
        EXPECT_EQ(pdf[0].pages, 3);
        EXPECT_EQ(pdf[0].width, 612);
        EXPECT_EQ(pdf[0].height, 792);
        const auto& tif = seen.at(dir / "scan.tif");
        ASSERT_EQ(tif.size(), 1u);
        EXPECT_EQ(tif[0].state, component::PageSizeState::PixelsOnly);
        EXPECT_EQ(tif[0].pages, 2);
    }
}
