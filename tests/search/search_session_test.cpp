// The search session driven through a fake window.
#include "fixtures.h"

#include <search/search_session.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <future>
#include <map>
#include <mutex>
#include <thread>
#include <sys/resource.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

using fixtures::TempDir;
using namespace search;

namespace {

class FakeView : public SearchView {
public:
    // Posted tasks wait here until the test's "window thread" runs them.
    void Post(std::function<void()> task) override {
        if (onFirstPost && !posted.exchange(true)) onFirstPost();  // on the worker thread
        std::lock_guard lock(m_);
        queue_.push_back(std::move(task));
        cv_.notify_all();
    }
    void SetEnabled(Control c, bool on) override { enabled[c] = on; }
    void SetCaption(Caption c, const std::string& text) override {
        captions[c] = text;
        if (c == Caption::lblTotalPages) totalsHistory.push_back(text);
    }
    void PlaceTotalPagesLabel() override { ++placed; }
    void SelectDateField(int index) override { dateField = index; }
    void SetProgressMax(std::int64_t max) override { progressMax = max; }
    void SetProgressValue(std::int64_t v) override {
        progress = v;
        progressHistory.push_back(v);
    }
    void ClearRows() override { rows.clear(); }
    void AppendRows(std::vector<ResultRow>&& batch) override {
        for (auto& r : batch) rows.push_back(std::move(r));
    }
    std::size_t RowCount() const override { return rows.size(); }
    void ShowMessage(const std::string& text, MessageIcon icon) override {
        messages.emplace_back(text, icon);
        if (onMessage) onMessage(text);
    }
    void RunExport() override { ++exports; }
    void SearchFinished() override { finished = true; }

    // Runs posted tasks until the session says the search has ended.
    bool RunUntilFinished(std::chrono::seconds limit = std::chrono::seconds(20)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!finished) {
            std::function<void()> task;
            {
                std::unique_lock lock(m_);
                if (!cv_.wait_until(lock, end, [&] { return !queue_.empty(); })) return false;
                task = std::move(queue_.front());
                queue_.pop_front();
            }
            task();
        }
        finished = false;
        return true;
    }
    bool On(Control c) { return enabled.count(c) && enabled[c]; }

    std::map<Control, bool> enabled;
    std::map<Caption, std::string> captions;
    std::vector<std::string> totalsHistory;
    std::vector<std::int64_t> progressHistory;
    std::vector<ResultRow> rows;
    std::vector<std::pair<std::string, MessageIcon>> messages;
    std::function<void(const std::string&)> onMessage;
    std::function<void()> onFirstPost;
    std::atomic<bool> posted{false};
    std::int64_t progressMax = -1, progress = -1;
    int placed = 0, dateField = -1, exports = 0;
    bool finished = false;

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
};

const Control kResultActions[] = {Control::mnuOPen, Control::Cont,         Control::Delete1,   Control::SelectAll,
                                  Control::Export,  Control::chkSelectall, Control::cmdExport, Control::cmdClear};

struct Harness {
    TempDir tree;
    // A copy, not a link into the build folder: one test searches as an
    // ordinary user, who may not read that folder.
    fixtures::OpenCopies libs{QUILLON_BIN_DIR, {"libTiffPageCounter.so"}};
    FakeView view;
    CriteriaHolder criteria;
    std::unique_ptr<SearchSession> session;

    // Only the TIFF counter is available: every PDF gets the row builder's message.
    explicit Harness(bool tif = true, bool pdf = true) {
        criteria.SetFolder(tree.path());
        criteria.SetTif(tif);
        criteria.SetPdf(pdf);
        criteria.SetIncludeSubfolders(true);
        session = std::make_unique<SearchSession>(view, criteria, SessionOptions{libs.path(), 2});
    }
    void Search() {
        session->SearchCommand(0);
        ASSERT_TRUE(view.RunUntilFinished());
    }
};

}  // namespace

TEST(SearchSession, FullSearchStatesProgressLabelsAndTotals) {
    Harness h;
    fixtures::MakeDir(h.tree / "S");
    fixtures::WriteTiff(h.tree / "a.tif", 2);
    fixtures::WriteTiff(h.tree / "b.tif", 3);
    fixtures::WriteTiff(h.tree / "S/c.tif", 4);
    fixtures::WriteTiff(h.tree / "S/d.tif", 5);
    fixtures::WriteTiff(h.tree / "S/e.tif", 6);
    h.session->ResetSearchDisplay();
    EXPECT_EQ(h.view.captions[Caption::lblTotalPages], "Total Pages TIFs = 000000 PDFs = 000000");

    bool checkedAtMessage = false;
    h.view.onMessage = [&](const std::string& text) {
        if (text != "Search Completed Successfully.") return;
        checkedAtMessage = true;
        // Between the walk and the rows: walk labels final, no rows yet,
        // Start and every result action disabled.
        EXPECT_EQ(h.view.captions[Caption::lblTotalFiles], "Total Files : 5");
        EXPECT_EQ(h.view.rows.size(), 0u);
        EXPECT_FALSE(h.view.On(Control::cmdStart));
        EXPECT_FALSE(h.view.On(Control::SSearch));
        EXPECT_TRUE(h.view.On(Control::cmdStop));
        for (Control c : kResultActions) EXPECT_FALSE(h.view.On(c));
        EXPECT_EQ(h.view.progress, 0);
        // A kind box clicked during the search does not re-enable Start.
        h.session->SearchOptionClick(0);
        EXPECT_FALSE(h.view.On(Control::cmdStart));
        // Neither does a second Start or Export do anything.
        h.session->SearchCommand(0);
        h.session->SearchCommand(2);
        EXPECT_EQ(h.view.exports, 0);
    };
    h.Search();
    EXPECT_TRUE(checkedAtMessage);
    ASSERT_EQ(h.view.messages.size(), 1u);
    EXPECT_EQ(h.view.messages[0].second, MessageIcon::Information);

    ASSERT_EQ(h.view.rows.size(), 5u);
    EXPECT_EQ(h.session->FoundFiles().size(), 5u);
    for (std::size_t i = 0; i < 5; ++i) EXPECT_EQ(h.view.rows[i].key, h.session->FoundFiles()[i]);
    EXPECT_EQ(h.view.rows[2].path.substr(0, h.tree.path().size() + 2), h.tree.path() + "/S");
    EXPECT_EQ(h.view.captions[Caption::lblTotalPages], "Total Pages TIFs = 20 PDFs = 0");
    EXPECT_EQ(h.view.captions[Caption::lblFileName], "");

    EXPECT_EQ(h.view.progressMax, 105);
    ASSERT_GE(h.view.progressHistory.size(), 4u);
    // 0 at Start, 101 after the first row, 105 after the last, then 0.
    EXPECT_EQ(h.view.progressHistory.front(), 0);
    EXPECT_EQ(h.view.progressHistory[1], 101);
    EXPECT_EQ(h.view.progressHistory[h.view.progressHistory.size() - 2], 105);
    EXPECT_EQ(h.view.progressHistory.back(), 0);

    // Idle with rows.
    EXPECT_TRUE(h.view.On(Control::cmdStart));
    EXPECT_TRUE(h.view.On(Control::SSearch));
    EXPECT_FALSE(h.view.On(Control::cmdStop));
    EXPECT_FALSE(h.view.On(Control::SStop));
    for (Control c : kResultActions) EXPECT_TRUE(h.view.On(c));
    EXPECT_EQ(h.session->CurrentPhase(), SearchSession::Phase::Idle);

    // Stop and Export when idle zero the totals but leave the label.
    h.session->SearchCommand(2);
    EXPECT_EQ(h.view.exports, 1);
    EXPECT_EQ(h.session->TifPages(), 0);
    EXPECT_EQ(h.view.captions[Caption::lblTotalPages], "Total Pages TIFs = 20 PDFs = 0");
}

TEST(SearchSession, NothingFound) {
    Harness h;
    fixtures::WriteFile(h.tree / "notes.txt", "x");
    h.Search();
    EXPECT_EQ(h.view.messages.size(), 1u);
    EXPECT_EQ(h.view.captions[Caption::lblTotalFiles], "Total Files : 0");
    EXPECT_EQ(h.view.captions[Caption::lblSearchTime], " Total Search Time : 00:00:00");
    EXPECT_EQ(h.view.captions[Caption::lblTotalPages], "Total Pages TIFs = 0 PDFs = 0");
    for (Control c : kResultActions) EXPECT_FALSE(h.view.On(c));
    EXPECT_TRUE(h.view.On(Control::cmdStart));
}

TEST(SearchSession, MissingCounterGivesMessagePerFileAndSearchGoesOn) {
    Harness h;
    fixtures::WriteFile(h.tree / "a.pdf", fixtures::PdfBytes(3));
    fixtures::WriteFile(h.tree / "b.pdf", fixtures::PdfBytes(4));
    fixtures::WriteTiff(h.tree / "c.tif", 7);
    h.Search();
    ASSERT_EQ(h.view.messages.size(), 3u);  // completion + one per PDF
    EXPECT_EQ(h.view.messages[1].second, MessageIcon::Critical);
    EXPECT_EQ(h.view.messages[1].first.rfind("Unexpected error in procedure: AddGeneral\r\nError #429: ", 0), 0u);
    ASSERT_EQ(h.view.rows.size(), 3u);
    EXPECT_EQ(h.view.rows[0].kind, FileKind::Tif);
    EXPECT_EQ(h.view.rows[0].pageCountText, "7");
    EXPECT_FALSE(h.view.rows[1].hasPageCount);
    EXPECT_FALSE(h.view.rows[2].hasPageCount);
    EXPECT_EQ(h.view.captions[Caption::lblTotalPages], "Total Pages TIFs = 7 PDFs = 0");
}

TEST(SearchSession, StopDuringRowsKeepsRowsAndTotals) {
    Harness h;
    fixtures::WriteTiff(h.tree / "a.tif", 2);
    fixtures::WriteTiff(h.tree / "b.tif", 3);
    for (int i = 0; i < 6; ++i) fixtures::WriteFile(h.tree / ("p" + std::to_string(i) + ".pdf"), "x");
    int critical = 0;
    h.view.onMessage = [&](const std::string& text) {
        if (text.rfind("Unexpected error", 0) != 0) return;
        if (++critical == 1) {
            h.session->SearchCommand(1);  // Stop while rows are being built
            EXPECT_FALSE(h.view.On(Control::cmdStop));
            EXPECT_FALSE(h.view.On(Control::cmdStart));  // until the search ends
            EXPECT_EQ(h.session->TifPages(), 5);          // not zeroed mid-phase
        }
    };
    h.Search();
    EXPECT_EQ(critical, 1);  // the row phase ended at the Stop
    ASSERT_EQ(h.view.rows.size(), 3u);
    EXPECT_EQ(h.view.captions[Caption::lblTotalPages], "Total Pages TIFs = 5 PDFs = 0");
    for (const auto& t : h.view.totalsHistory) EXPECT_NE(t, "Total Pages TIFs = 0 PDFs = 0");
    EXPECT_TRUE(h.view.On(Control::cmdStart));
    EXPECT_TRUE(h.view.On(Control::cmdClear));
}

TEST(SearchSession, StopDuringWalkStillBuildsRowsForWhatWasFound) {
    Harness h;
    fixtures::WriteTiff(h.tree / "a.tif", 2);
    fixtures::MakeDir(h.tree / "sub");
    fixtures::WriteTiff(h.tree / "sub/b.tif", 3);
    // The walker's first status report (right after a.tif) waits until the
    // user has clicked Stop.
    std::promise<void> walkerAtFirstFile, stopClicked;
    h.view.onFirstPost = [&] {
        walkerAtFirstFile.set_value();
        stopClicked.get_future().wait();
    };
    h.session->SearchCommand(0);
    walkerAtFirstFile.get_future().wait();
    h.session->SearchCommand(1);
    EXPECT_FALSE(h.view.On(Control::cmdStop));
    EXPECT_FALSE(h.view.On(Control::cmdStart));  // until the search ends
    stopClicked.set_value();
    ASSERT_TRUE(h.view.RunUntilFinished());
    ASSERT_EQ(h.view.messages.size(), 1u);
    EXPECT_EQ(h.view.messages[0].first, "Search Completed Successfully.");
    EXPECT_TRUE(h.session->StopRequested());
    ASSERT_EQ(h.session->FoundFiles(), std::vector<std::string>{h.tree / "a.tif"});
    ASSERT_EQ(h.view.rows.size(), 1u);
    EXPECT_EQ(h.view.rows[0].pages, 2);
    EXPECT_EQ(h.view.captions[Caption::lblTotalPages], "Total Pages TIFs = 2 PDFs = 0");
    EXPECT_TRUE(h.view.On(Control::cmdStart));
}

TEST(SearchSession, FileDeletedBetweenWalkAndRowsIsDropped) {
    Harness h;
    fixtures::WriteTiff(h.tree / "a.tif", 2);
    fixtures::WriteTiff(h.tree / "b.tif", 3);
    std::string removed;
    h.view.onMessage = [&](const std::string& text) {
        if (text != "Search Completed Successfully.") return;
        removed = h.session->FoundFiles().front();
        unlink(removed.c_str());
    };
    h.Search();
    ASSERT_EQ(h.view.rows.size(), 1u);
    ASSERT_EQ(h.session->FoundFiles().size(), 1u);
    EXPECT_NE(h.session->FoundFiles()[0], removed);
    EXPECT_EQ(h.view.rows[0].key, h.session->FoundFiles()[0]);
    EXPECT_EQ(h.view.captions[Caption::lblTotalFiles], "Total Files : 1");  // the rows in the list at the end
}

TEST(SearchSession, TiffOnlyAndNoKind) {
    Harness h(true, false);
    fixtures::WriteTiff(h.tree / "a.tif", 4);
    fixtures::WriteFile(h.tree / "b.pdf", fixtures::PdfBytes(1));
    h.session->SearchOptionClick(0);
    EXPECT_TRUE(h.view.On(Control::cmdStart));
    h.Search();
    ASSERT_EQ(h.view.rows.size(), 1u);
    EXPECT_EQ(h.view.captions[Caption::lblTotalPages], "Total Pages TIFs = 4");

    h.criteria.SetTif(false);
    h.session->SearchOptionClick(0);
    EXPECT_FALSE(h.view.On(Control::cmdStart));
    EXPECT_EQ(h.view.captions[Caption::lblTotalPages], "Total Pages");
    h.Search();  // given all the same: finds nothing
    EXPECT_TRUE(h.view.rows.empty());
}

TEST(SearchSession, ResetDisplayAndDateField) {
    Harness h;
    h.criteria.SetDateField(kDateModified);
    h.session->DateFieldClick();
    EXPECT_TRUE(h.view.On(Control::dtpFrom));
    EXPECT_TRUE(h.view.On(Control::dtpTo));
    h.session->ResetSearchDisplay();
    EXPECT_EQ(h.view.dateField, 0);
    EXPECT_EQ(h.criteria.DateField(), kDateNone);
    EXPECT_FALSE(h.view.On(Control::dtpFrom));
    EXPECT_EQ(h.view.captions[Caption::lblFileName], "");
    EXPECT_EQ(h.view.captions[Caption::lblTotalFiles], "Total Files : 0");
    EXPECT_EQ(h.view.captions[Caption::lblSearchTime], " Total Search Time : 00:00:00");
    EXPECT_GT(h.view.placed, 0);
    h.session->EnableResultActions(1);
    h.session->EnableResultActions(7);  // changes nothing
    for (Control c : kResultActions) EXPECT_TRUE(h.view.On(c));
}

TEST(SearchSession, RebuildAfterDeleteCountsTotalsFromZero) {
    Harness h;
    fixtures::WriteTiff(h.tree / "a.tif", 2);
    fixtures::WriteTiff(h.tree / "b.tif", 3);
    fixtures::WriteTiff(h.tree / "c.tif", 4);
    h.Search();
    const std::string gone = h.session->FoundFiles()[1];
    const std::int32_t gonePages = h.view.rows[1].pages;
    h.session->RemoveFoundFiles({gone});
    for (int round = 0; round < 2; ++round) {  // rebuilding twice must not double the totals
        h.session->RebuildRows();
        ASSERT_TRUE(h.view.RunUntilFinished());
        ASSERT_EQ(h.view.rows.size(), 2u);
    }
    for (const auto& r : h.view.rows) EXPECT_NE(r.key, gone);
    EXPECT_EQ(h.view.captions[Caption::lblTotalPages],
              "Total Pages TIFs = " + std::to_string(9 - gonePages) + " PDFs = 0");
    EXPECT_EQ(h.view.progress, 0);
}

TEST(SearchSession, DestroyedMidSearchDoesNotHang) {
    auto h = std::make_unique<Harness>();
    for (int i = 0; i < 200; ++i) fixtures::WriteTiff(h->tree / ("f" + std::to_string(i) + ".tif"), 1);
    h->session->SearchCommand(0);
    h->session.reset();  // the completion message is never answered
    SUCCEED();
}

TEST(SearchSession, FoldersBeyondTheHandleLimitAreReportedAndFoundFilesKeepTheirRows) {
    Harness h;
    fixtures::WriteTiff(h.tree / "top.tif", 2);
    std::string deep = h.tree.path();
    for (int i = 0; i < 40; ++i) deep += "/d";
    fixtures::MakeDir(deep);
    fixtures::WriteTiff(deep + "/bottom.tif", 1);

    // Run out of file handles a few levels down: the folder that cannot be
    // opened is named with the reason, and the search still ends normally.
    // The limit is given back at the completion message, before the rows.
    int open = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) (void)e, ++open;
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit tight = saved;
    tight.rlim_cur = static_cast<rlim_t>(open + 6);
    h.view.onMessage = [&](const std::string& text) {
        if (text == "Search Completed Successfully.") setrlimit(RLIMIT_NOFILE, &saved);
    };
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &tight), 0);
    h.session->SearchCommand(0);
    const bool finished = h.view.RunUntilFinished();
    setrlimit(RLIMIT_NOFILE, &saved);
    ASSERT_TRUE(finished);

    ASSERT_EQ(h.view.messages.size(), 2u);
    EXPECT_EQ(h.view.messages[0].first, "Search Completed Successfully.");
    const std::string& told = h.view.messages[1].first;
    EXPECT_EQ(h.view.messages[1].second, MessageIcon::Warning);
    EXPECT_EQ(told.rfind("1 folder could not be searched", 0), 0u) << told;
    EXPECT_NE(told.find(std::strerror(EMFILE)), std::string::npos) << told;
    EXPECT_NE(told.find(h.tree.path() + "/d/"), std::string::npos) << told;
    ASSERT_EQ(h.view.rows.size(), 1u);
    EXPECT_EQ(h.view.rows[0].key, h.tree / "top.tif");
    EXPECT_EQ(h.view.rows[0].pages, 2);
}

namespace {
struct NoCreationDates : DateSource {
    FileDateAnswer Date(int, const char*, int field) const override {
        FileDateAnswer a;
        a.status = field == kDateCreated ? FileDateAnswer::Status::NotRecorded : FileDateAnswer::Status::Known;
        return a;
    }
};
}  // namespace

TEST(SearchSession, UnsearchedFoldersAndUndatedFilesAreToldAfterTheCompletionMessage) {
    Harness h;
    chmod(h.tree.path().c_str(), 0755);
    for (int i = 0; i < 7; ++i) {
        const std::string closed = h.tree / ("closed" + std::to_string(i));
        fixtures::MakeDir(closed);
        fixtures::WriteTiff(closed + "/lost.tif", 1);
        chmod(closed.c_str(), 0);
    }
    fixtures::WriteTiff(h.tree / "kept.tif", 3);
    {
        fixtures::Unprivileged user;
        if (!user.ok()) GTEST_SKIP() << user.why();
        h.Search();
    }
    ASSERT_EQ(h.view.messages.size(), 2u);
    EXPECT_EQ(h.view.messages[0].first, "Search Completed Successfully.");
    const std::string& told = h.view.messages[1].first;
    EXPECT_EQ(told.rfind("7 folders could not be searched; what they hold is not in the list or the totals:\n", 0),
              0u)
        << told;
    // The first five by name with the reason, the rest counted.
    int named = 0;
    for (int i = 0; i < 7; ++i)
        named += told.find(h.tree / ("closed" + std::to_string(i)) + "/: " + std::strerror(EACCES)) != std::string::npos;
    EXPECT_EQ(named, 5);
    EXPECT_NE(told.find("\n... and 2 more."), std::string::npos) << told;
    ASSERT_EQ(h.view.rows.size(), 1u);
    EXPECT_EQ(h.view.captions[Caption::lblTotalPages], "Total Pages TIFs = 3 PDFs = 0");

    // Files without a creation date: not in the list, and said so.
    const NoCreationDates dates;
    Harness d;
    d.session = std::make_unique<SearchSession>(d.view, d.criteria, SessionOptions{d.libs.path(), 2, &dates});
    fixtures::WriteTiff(d.tree / "a.tif", 1);
    fixtures::WriteTiff(d.tree / "b.tif", 1);
    d.criteria.SetDateField(kDateCreated);
    d.Search();
    ASSERT_EQ(d.view.messages.size(), 2u);
    EXPECT_EQ(d.view.messages[1].first,
              "2 files had no creation date to compare (the file system does not record it); they are not in "
              "the list.");
    EXPECT_TRUE(d.view.rows.empty());
}
