// The controller behind Start, Stop and Export: walks on a worker thread,
// counts pages on a small pool, and hands rows, totals and status texts back
// to the window through SearchView::Post.
//
// All public methods are called on the window's thread.
#pragma once

#include <search/result_row.h>
#include <search/search_view.h>
#include <search/walker.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

namespace search {

struct SessionOptions {
    // Folder of the counter libraries; empty: beside the executable, then the
    // installed library folder.
    std::string componentDir;
    // Page counts computed at once; 0: two per processor core.
    int jobs = 0;
    // Where the walker reads files' dates; null: the file system.
    const DateSource* dates = nullptr;
};

class SearchSession {
public:
    enum class Phase { Idle, Walking, Message, BuildingRows };

    SearchSession(SearchView& view, CriteriaHolder& criteria, SessionOptions options = {});
    ~SearchSession();  // stops a running search and waits for its worker
    SearchSession(const SearchSession&) = delete;
    SearchSession& operator=(const SearchSession&) = delete;

    // cmdControl(index) click, SSearch (0), SStop (1), export menu item (2).
    void SearchCommand(int index);
    // chkSearchOption(index) click; reads the kinds from the criteria holder.
    void SearchOptionClick(int index);
    // cboDateFields click; reads the index from the criteria holder.
    void DateFieldClick();
    // Start-up and the clear-results commands.
    void ResetSearchDisplay();
    // 1 enables, 0 disables the result actions; other values change nothing.
    void EnableResultActions(int mode);

    // After the delete action removed paths: rebuild every row from
    // FoundFiles, totals from zero.  Runs like the row phase of a search.
    void RemoveFoundFiles(const std::vector<std::string>& paths);
    void RebuildRows();

    // Paths accepted by the last walk, in found order.  Read it while Idle.
    const std::vector<std::string>& FoundFiles() const { return foundFiles_; }
    bool StopRequested() const { return walkStop_.stop_requested(); }
    // How long the last (or running) search has worked, from Start to its
    // last row; the time that message boxes wait for the user is left out.
    std::chrono::seconds SearchElapsed() const;
    Phase CurrentPhase() const { return phase_; }
    bool Running() const { return phase_ != Phase::Idle; }

    // Whether the rows built from now on carry their pages' sizes (read only
    // when asked: a plain search keeps its cost).
    void SetReadSizes(bool on) { readSizes_ = on; }
    bool ReadSizes() const { return readSizes_; }
    std::int64_t TifPages() const { return tifPages_; }
    std::int64_t PdfPages() const { return pdfPages_; }
    std::int64_t ProgressMax() const { return progressMax_; }
    std::int64_t ProgressValue() const { return progressValue_; }

private:
    struct Worker;
    void Start();
    void Stop();
    void BeginRowPhase(bool rebuild);
    void RowPhase(bool rebuild);
    void ApplyRows(std::vector<ResultRow>&& rows, std::size_t lastIndex, bool removedInBatch);
    void FinishSearch(const std::vector<std::size_t>& removed, std::size_t consumed, bool rebuild);
    // A modal box whose wait for the user does not count as search time.
    void ShowMessageUntimed(const std::string& text, MessageIcon icon);
    void ShowSearchTime();
    void JoinWorker();
    // From the worker: a task for the window's thread, dropped when the
    // window has gone; PostAndWait returns when it has run (false: gone).
    void PostToWindow(std::function<void()> task);
    bool PostAndWait(std::function<void()> task);
    void ShowZeroTotalsIfEmpty();

    SearchView& view_;
    CriteriaHolder& criteria_;
    SessionOptions options_;

    std::vector<std::string> foundFiles_;
    // One way to stop: a stop source for the walk (Stop, or none running),
    // one for the row phase, one for the session's life (the window gone:
    // the worker ends and its posted tasks are dropped).
    std::stop_source walkStop_;
    std::stop_source rowStop_;
    std::stop_source life_;
    std::chrono::system_clock::time_point searchStartTime_{};
    // The search time: a monotonic clock, less the waits for the user.
    std::chrono::steady_clock::time_point clockStart_{};
    std::chrono::steady_clock::time_point clockEnd_{};
    std::chrono::steady_clock::duration waited_{};
    bool timing_ = false;   // the search's time is running
    bool waiting_ = false;  // a box waits for the user
    Phase phase_ = Phase::Idle;
    bool kindTif_ = false;
    bool kindPdf_ = false;
    std::int64_t tifPages_ = 0;
    std::int64_t pdfPages_ = 0;
    std::int64_t progressMax_ = 0;
    std::int64_t progressValue_ = 0;
    std::unique_ptr<Worker> worker_;
    std::atomic<bool> readSizes_{false};
};

}  // namespace search
