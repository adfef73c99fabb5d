// The window's search and quillon-count count through the same run: on one
// tree they give the same rows, in the same order, and the same totals.
#include "run_count.h"

#include <search/search_session.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>

namespace {

// A window that keeps the rows and captions and runs posted tasks when asked.
class RecordingView final : public search::SearchView {
public:
    void Post(std::function<void()> task) override {
        std::lock_guard lock(m_);
        queue_.push_back(std::move(task));
        cv_.notify_all();
    }
    void SetEnabled(search::Control, bool) override {}
    void SetCaption(search::Caption c, const std::string& text) override { captions[c] = text; }
    void PlaceTotalPagesLabel() override {}
    void SelectDateField(int) override {}
    void SetProgressMax(std::int64_t) override {}
    void SetProgressValue(std::int64_t) override {}
    void ClearRows() override { rows.clear(); }
    void AppendRows(std::vector<search::ResultRow>&& batch) override {
        for (auto& r : batch) rows.push_back(std::move(r));
    }
    std::size_t RowCount() const override { return rows.size(); }
    void ShowMessage(const std::string&, search::MessageIcon) override {}
    void RunExport() override {}
    void SearchFinished() override { finished = true; }

    bool RunUntilFinished() {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
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
        return true;
    }

    std::vector<search::ResultRow> rows;
    std::map<search::Caption, std::string> captions;
    bool finished = false;

private:
    std::mutex m_;
    std::condition_variable cv_;
    std::deque<std::function<void()>> queue_;
};

// A window row as quillon-count writes it in tsv.
std::string TsvLine(const search::ResultRow& row) {
    const bool counted = row.hasPageCount && row.pages >= 1;
    std::string line = row.path + "\t" + search::KindText(row.kind) + "\t" + std::to_string(row.sizeBytes) + "\t" +
                       (row.hasPageCount ? row.pageCountText : std::string("Error"));
    if (!counted) line += "\t" + row.reason;
    return line;
}

}  // namespace

TEST(WindowAndCount, SameRowsAndTotalsOnOneTree) {
    fixtures::TempDir dir;
    fixtures::MakeDir(dir / "sub");
    fixtures::MakeDir(dir / "sub/deeper");
    fixtures::MakeDir(dir / "$RECYCLE.BIN");
    for (int i = 1; i <= 40; ++i) {
        const std::string folder = i % 3 == 0 ? dir / "sub" : i % 3 == 1 ? dir / "sub/deeper" : dir.path();
        if (i % 2)
            fixtures::WriteTiff(folder + "/t" + std::to_string(i) + ".tif", i % 5 + 1);
        else
            fixtures::WriteFile(folder + "/p" + std::to_string(i) + ".pdf", fixtures::PdfBytes(i % 7 + 1));
    }
    fixtures::WriteFile(dir / "sub/bad.tif", "not a tiff");
    fixtures::WriteFile(dir / "sub/deeper/bad.pdf", "%PDF-1.4 nothing else");
    fixtures::WriteFile(dir / "$RECYCLE.BIN/hidden.pdf", fixtures::PdfBytes(3));
    fixtures::WriteFile(dir / "notes.txt", "x");

    RecordingView view;
    search::CriteriaHolder criteria;
    criteria.SetFolder(dir.path());
    criteria.SetTif(true);
    criteria.SetPdf(true);
    criteria.SetIncludeSubfolders(true);
    search::SearchSession session(view, criteria, search::SessionOptions{QUILLON_BIN_DIR, 3});
    session.SearchCommand(0);
    ASSERT_TRUE(view.RunUntilFinished());

    const Outcome cli = Count({"--jobs", "2", dir.path()});
    EXPECT_EQ(cli.status, 1) << cli.err;  // the damaged files
    std::vector<std::string> windowLines;
    for (const auto& row : view.rows) windowLines.push_back(TsvLine(row));
    ASSERT_EQ(windowLines.size(), 42u);
    EXPECT_EQ(windowLines, Lines(cli.out));

    const auto errLines = Lines(cli.err);
    ASSERT_GE(errLines.size(), 3u);
    EXPECT_EQ(view.captions[search::Caption::lblTotalFiles], errLines[errLines.size() - 3]);
    EXPECT_EQ(view.captions[search::Caption::lblTotalPages], errLines[errLines.size() - 2]);
    EXPECT_EQ(errLines.back(), "Errors : 2");
}
