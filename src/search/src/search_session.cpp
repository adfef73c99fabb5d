#include <search/search_session.h>

#include <search/component_loader.h>
#include <search/count_run.h>
#include <search/unsearched.h>
#include <search/walker.h>

#include <cerrno>

#include <algorithm>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

namespace search {

namespace {
constexpr auto kStatusInterval = std::chrono::milliseconds(50);  // at most ~20 refreshes a second
constexpr std::size_t kBatchRows = 1024;
constexpr int kMaxPendingBatches = 4;
constexpr auto kTimeTick = std::chrono::seconds(1);
}  // namespace

struct SearchSession::Worker {
    std::thread thread;
    std::unique_ptr<ComponentLoader> loader;

    // Batches posted to the window and not yet applied.
    std::mutex postMutex;
    std::condition_variable postDone;
    int pendingBatches = 0;

    // Latest walk status, shown at most every kStatusInterval.
    std::mutex statusMutex;
    bool examined = false;
    std::int64_t fileCount = 0;
    std::chrono::seconds elapsed{0};
    std::string folderText;
    bool folderSet = false;
    bool statusPending = false;
    // What the walk could not search (worker thread until the walk ends).
    UnsearchedSummary unsearched;
    std::chrono::steady_clock::time_point lastStatus{};

    // Moves the search time on while nothing else reports (a long count, a
    // walk through folders without a matching file).
    // The walk's unexpected failure, if any.
    WalkResult failure;

    std::thread ticker;
    std::mutex tickMutex;
    std::condition_variable tickWake;
    bool tickStop = false;

    void StopTicker() {
        {
            std::lock_guard lock(tickMutex);
            tickStop = true;
        }
        tickWake.notify_all();
        if (ticker.joinable()) ticker.join();
    }
    ~Worker() { StopTicker(); }
};

SearchSession::SearchSession(SearchView& view, CriteriaHolder& criteria, SessionOptions options)
    : view_(view), criteria_(criteria), options_(std::move(options)),
      life_() {
    walkStop_.request_stop();  // no search runs yet
}

SearchSession::~SearchSession() {
    life_.request_stop();
    walkStop_.request_stop();
    rowStop_.request_stop();
    JoinWorker();
}

void SearchSession::JoinWorker() {
    if (!worker_) return;
    worker_->StopTicker();
    if (worker_->thread.joinable()) worker_->thread.join();
}

std::chrono::seconds SearchSession::SearchElapsed() const {
    if (clockStart_ == std::chrono::steady_clock::time_point{}) return std::chrono::seconds(0);
    const auto end = timing_ ? std::chrono::steady_clock::now() : clockEnd_;
    return std::chrono::duration_cast<std::chrono::seconds>(end - clockStart_ - waited_);
}

void SearchSession::ShowSearchTime() {
    view_.SetCaption(Caption::lblSearchTime, " Total Search Time : " + FormatElapsed(SearchElapsed()));
}

void SearchSession::ShowMessageUntimed(const std::string& text, MessageIcon icon) {
    const bool outer = !waiting_;
    waiting_ = true;
    const auto shown = std::chrono::steady_clock::now();
    view_.ShowMessage(text, icon);
    if (outer) {
        waited_ += std::chrono::steady_clock::now() - shown;
        waiting_ = false;
    }
}

// ---- commands on the window's thread --------------------------------------

void SearchSession::SearchCommand(int index) {
    // While rows are being built the totals keep counting: zeroing them here
    // would leave the label showing only the pages counted after the click.
    if (phase_ != Phase::BuildingRows && phase_ != Phase::Message) {
        tifPages_ = 0;
        pdfPages_ = 0;
    }
    switch (index) {
        case 0: Start(); break;
        case 1: Stop(); break;
        case 2:
            if (!Running()) view_.RunExport();
            break;
        default: break;
    }
}

void SearchSession::EnableResultActions(int mode) {
    if (mode != 0 && mode != 1) return;
    const bool on = mode == 1;
    for (Control c : {Control::mnuOPen, Control::Cont, Control::Delete1, Control::SelectAll, Control::Export,
                      Control::chkSelectall, Control::cmdExport, Control::cmdClear})
        view_.SetEnabled(c, on);
}

void SearchSession::SearchOptionClick(int /*index*/) {
    const bool tif = criteria_.Tif();
    const bool pdf = criteria_.Pdf();
    // A running search keeps Start disabled until it ends.
    if (!Running()) view_.SetEnabled(Control::cmdStart, tif || pdf);
    view_.SetCaption(Caption::lblTotalPages, TotalPagesResetText(tif, pdf));
    view_.PlaceTotalPagesLabel();
}

void SearchSession::DateFieldClick() {
    const bool on = criteria_.DateField() != kDateNone;
    view_.SetEnabled(Control::dtpFrom, on);
    view_.SetEnabled(Control::dtpTo, on);
}

void SearchSession::ResetSearchDisplay() {
    criteria_.SetDateField(kDateNone);
    view_.SelectDateField(kDateNone);
    DateFieldClick();
    view_.SetCaption(Caption::lblFileName, "");
    view_.SetCaption(Caption::lblTotalFiles, "Total Files : 0");
    view_.SetCaption(Caption::lblSearchTime, " Total Search Time : 00:00:00");
    view_.SetCaption(Caption::lblTotalPages, TotalPagesResetText(criteria_.Tif(), criteria_.Pdf()));
    view_.PlaceTotalPagesLabel();
}

void SearchSession::Stop() {
    walkStop_.request_stop();
    if (Running()) {
        // The walk returns at its next check; the row phase ends after the
        // row in hand.  Start and the result actions wait for the end.
        if (phase_ == Phase::BuildingRows) rowStop_.request_stop();
        view_.SetEnabled(Control::cmdStop, false);
        view_.SetEnabled(Control::SStop, false);
        return;
    }
    if (view_.RowCount() >= 1) EnableResultActions(1);
    view_.SetEnabled(Control::cmdStart, true);
    view_.SetEnabled(Control::cmdStop, false);
    view_.SetEnabled(Control::SSearch, true);
    view_.SetEnabled(Control::SStop, false);
}

void SearchSession::RemoveFoundFiles(const std::vector<std::string>& paths) {
    if (Running()) return;
    std::vector<std::string> gone(paths);
    std::sort(gone.begin(), gone.end());
    std::erase_if(foundFiles_, [&](const std::string& p) { return std::binary_search(gone.begin(), gone.end(), p); });
}

void SearchSession::PostToWindow(std::function<void()> task) {
    // Dropped when the window has gone.
    view_.Post([life = life_.get_token(), task = std::move(task)] {
        if (!life.stop_requested()) task();
    });
}

bool SearchSession::PostAndWait(std::function<void()> task) {
    auto done = std::make_shared<std::promise<void>>();
    auto fut = done->get_future();
    PostToWindow([task = std::move(task), done] {
        task();
        done->set_value();
    });
    const std::stop_token life = life_.get_token();
    while (fut.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
        if (life.stop_requested()) return false;
    return true;
}

void SearchSession::ShowZeroTotalsIfEmpty() {
    // No row wrote the totals (nothing found, or a delete took the last
    // row): they say 0 rather than what was there before.
    if (foundFiles_.empty())
        view_.SetCaption(Caption::lblTotalPages, TotalPagesText(criteria_.Tif(), criteria_.Pdf(), 0, 0));
}

// ---- the worker -----------------------------------------------------------

namespace {

// The walk's reports, turned into the status the window shows at most every
// kStatusInterval and the summary of what could not be searched.
class SessionListener final : public RunListener {
public:
    SessionListener(std::chrono::system_clock::time_point start, std::function<void()> statusChanged,
                    std::mutex& statusMutex, bool& examined, std::int64_t& fileCount, std::chrono::seconds& elapsed,
                    std::string& folderText, bool& folderSet, UnsearchedSummary& unsearched, WalkResult& failure)
        : start_(start), statusChanged_(std::move(statusChanged)), m_(statusMutex), examined_(examined),
          fileCount_(fileCount), elapsed_(elapsed), folderText_(folderText), folderSet_(folderSet),
          unsearched_(unsearched), failure_(failure) {}

    void FileExamined(std::int64_t fileCount) override {
        const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now() - start_);
        {
            std::lock_guard lock(m_);
            examined_ = true;
            fileCount_ = fileCount;
            elapsed_ = elapsed;
        }
        statusChanged_();
    }
    void FolderEntered(const std::string& text) override {
        {
            std::lock_guard lock(m_);
            folderText_ = text;
            folderSet_ = true;
        }
        statusChanged_();
    }
    void Unsearched(const UnsearchedPath& entry, bool) override {
        unsearched_.Add(entry.path, entry.folder, entry.error);
    }
    // The search folder could not even be looked at: its walk would have
    // found it unreadable; one that is gone finds nothing.
    void InputUnreadable(const std::string& path, int error) override {
        if (error == ENOENT || error == ENOTDIR || error == ELOOP) return;
        unsearched_.Add(path.empty() || path.back() != '/' ? path + "/" : path, true, error);
    }
    void WalkFailed(const WalkResult& walk) override { failure_ = walk; }
    void Undated(const std::string&) override { ++unsearched_.undated; }
    void OutsideDateWindow(const std::string&) override { ++unsearched_.outsideWindow; }

private:
    std::chrono::system_clock::time_point start_;
    std::function<void()> statusChanged_;
    std::mutex& m_;
    bool& examined_;
    std::int64_t& fileCount_;
    std::chrono::seconds& elapsed_;
    std::string& folderText_;
    bool& folderSet_;
    UnsearchedSummary& unsearched_;
    WalkResult& failure_;
};

// The criteria controls, read at the moment the walk needs them.
class HolderCriteria final : public RunCriteria {
public:
    explicit HolderCriteria(CriteriaHolder& criteria) : criteria_(criteria) {}
    bool IncludeSubfolders() override { return criteria_.IncludeSubfolders(); }
    int DateField() override { return criteria_.DateField(); }
    CalendarDate From() override { return criteria_.From(); }
    CalendarDate To() override { return criteria_.To(); }

private:
    CriteriaHolder& criteria_;
};

}  // namespace

void SearchSession::Start() {
    if (Running()) return;  // one search at a time
    // A folder that is not there is said so; nothing is searched and the
    // list stays as it was.
    const std::string problem = SearchFolderProblem(criteria_.Folder());
    if (!problem.empty()) {
        view_.ShowMessage(problem, MessageIcon::Warning);
        return;
    }
    JoinWorker();

    view_.SetEnabled(Control::cmdStart, false);
    view_.SetEnabled(Control::SSearch, false);
    view_.SetEnabled(Control::cmdStop, true);
    view_.SetEnabled(Control::SStop, true);
    view_.SetEnabled(Control::cmdExport, false);
    progressValue_ = 0;
    view_.SetProgressValue(0);
    view_.SetCaption(Caption::lblTotalFiles, "Total Files : 0");
    view_.SetCaption(Caption::lblSearchTime, " Total Search Time : 00:00:00");
    EnableResultActions(0);
    view_.ClearRows();

    const SearchCriteria c = criteria_.Get();
    kindTif_ = c.tif;
    kindPdf_ = c.pdf;
    walkStop_ = std::stop_source();
    rowStop_ = std::stop_source();
    foundFiles_.clear();
    searchStartTime_ = std::chrono::system_clock::now();
    clockStart_ = std::chrono::steady_clock::now();
    waited_ = {};
    waiting_ = false;
    timing_ = true;
    phase_ = Phase::Walking;

    auto previous = std::move(worker_);
    worker_ = std::make_unique<Worker>();
    if (previous && previous->loader) worker_->loader = std::move(previous->loader);
    if (!worker_->loader) worker_->loader = std::make_unique<ComponentLoader>(options_.componentDir);
    Worker* w = worker_.get();
    const std::stop_token life = life_.get_token();
    const std::stop_token walkStop = walkStop_.get_token();
    const std::string folder = c.folder;

    auto post = [this](std::function<void()> task) { PostToWindow(std::move(task)); };
    auto postAndWait = [this](std::function<void()> task) { return PostAndWait(std::move(task)); };
    auto showStatus = [this, w](bool final) {
        std::lock_guard lock(w->statusMutex);
        if (w->examined || final) {
            if (w->examined) {
                view_.SetCaption(Caption::lblTotalFiles, "Total Files : " + std::to_string(w->fileCount));
                ShowSearchTime();
            }
        }
        if (w->folderSet) view_.SetCaption(Caption::lblFileName, w->folderText);
        w->statusPending = false;
    };
    auto statusChanged = [post, w, showStatus] {
        const auto now = std::chrono::steady_clock::now();
        std::lock_guard lock(w->statusMutex);
        if (w->statusPending || now - w->lastStatus < kStatusInterval) return;
        w->statusPending = true;
        w->lastStatus = now;
        post([showStatus] { showStatus(false); });
    };

    w->ticker = std::thread([this, w, post] {
        std::unique_lock lock(w->tickMutex);
        while (!w->tickWake.wait_for(lock, kTimeTick, [w] { return w->tickStop; }))
            post([this] {
                if (timing_ && !waiting_) ShowSearchTime();
            });
    });
    w->thread = std::thread([=, this] {
        CountInputs inputs;
        inputs.paths = {folder};
        inputs.tif = c.tif;
        inputs.pdf = c.pdf;
        CountRun run(*w->loader, std::move(inputs), walkStop);
        SessionListener listener(searchStartTime_, statusChanged, w->statusMutex, w->examined, w->fileCount,
                                 w->elapsed, w->folderText, w->folderSet, w->unsearched, w->failure);
        HolderCriteria criteria(criteria_);
        run.SetListener(&listener);
        run.SetCriteria(&criteria);
        run.SetDates(options_.dates);
        run.Walk([this](std::string path) { foundFiles_.push_back(std::move(path)); });
        if (life.stop_requested()) return;
        const WalkResult walk = w->failure;

        const bool shown = postAndWait([this, w, walk, showStatus] {
            showStatus(true);
            phase_ = Phase::Message;
            if (walk.failed)
                ShowMessageUntimed("Unexpected error in procedure: TotalFiles\r\nError #" +
                                       std::to_string(walk.errorNumber) + ": " + walk.errorText + " (" +
                                       walk.failedFolder + ")",
                                   MessageIcon::Critical);
            ShowMessageUntimed("Search Completed Successfully.", MessageIcon::Information);
            // What the walk could not reach is told, so no total is taken
            // for complete when it is not.
            const std::string unsearched = UnsearchedMessage(w->unsearched, criteria_.DateField());
            if (!unsearched.empty()) ShowMessageUntimed(unsearched, MessageIcon::Warning);
            BeginRowPhase(false);
        });
        if (!shown || life.stop_requested()) return;
        RowPhase(false);
    });
}

void SearchSession::BeginRowPhase(bool rebuild) {
    phase_ = Phase::BuildingRows;
    progressMax_ = static_cast<std::int64_t>(foundFiles_.size()) + 100;
    view_.SetProgressMax(progressMax_);
    if (rebuild) {
        progressValue_ = 0;
        view_.SetProgressValue(0);
    }
    // A Stop given during the walk has ended the walk; the rows for what it
    // found are still built, and a Stop now ends this phase.
    rowStop_ = std::stop_source();
    view_.SetEnabled(Control::cmdStop, true);
    view_.SetEnabled(Control::SStop, true);
}

void SearchSession::RebuildRows() {
    if (Running()) return;
    JoinWorker();
    tifPages_ = 0;
    pdfPages_ = 0;
    if (!worker_) worker_ = std::make_unique<Worker>();
    auto loader = std::move(worker_->loader);
    worker_ = std::make_unique<Worker>();
    worker_->loader = loader ? std::move(loader) : std::make_unique<ComponentLoader>(options_.componentDir);
    view_.ClearRows();
    BeginRowPhase(true);
    Worker* w = worker_.get();
    w->thread = std::thread([this] { RowPhase(true); });
}

void SearchSession::RowPhase(bool rebuild) {
    Worker* w = worker_.get();
    const std::stop_token life = life_.get_token();
    auto post = [this](std::function<void()> task) { PostToWindow(std::move(task)); };

    CountInputs inputs;
    inputs.jobs = options_.jobs;
    inputs.sizes = readSizes_;
    CountRun run(*w->loader, std::move(inputs), rowStop_.get_token());
    std::vector<ResultRow> batch;
    std::vector<std::size_t> removed;
    std::size_t lastIndex = 0;
    std::size_t consumed = 0;  // paths handed on before a Stop
    bool removedInBatch = false;
    auto lastFlush = std::chrono::steady_clock::now();

    // Hands the rows gathered so far to the window; with a message, waits
    // until the user has closed it.
    auto flush = [&](const std::string& message) -> bool {
        auto apply = [this, rows = std::move(batch), lastIndex, removedInBatch]() mutable {
            ApplyRows(std::move(rows), lastIndex, removedInBatch);
        };
        batch = {};
        removedInBatch = false;
        lastFlush = std::chrono::steady_clock::now();
        if (!message.empty())
            return PostAndWait([this, apply = std::move(apply), message]() mutable {
                apply();
                ShowMessageUntimed(message, MessageIcon::Critical);
            });
        {
            std::unique_lock lock(w->postMutex);
            while (w->pendingBatches >= kMaxPendingBatches) {
                if (life.stop_requested()) return false;
                w->postDone.wait_for(lock, std::chrono::milliseconds(20));
            }
            ++w->pendingBatches;
        }
        post([w, apply = std::move(apply)]() mutable {
            apply();
            {
                std::lock_guard lock(w->postMutex);
                --w->pendingBatches;
            }
            w->postDone.notify_all();
        });
        return true;
    };

    // A Stop or the window's end stops the run before the next row.
    run.Count(foundFiles_, [&](std::size_t i, const std::string&, RowOutcome&& o) {
            lastIndex = i;
            consumed = i + 1;
            if (o.vanished) {
                removed.push_back(i);
                removedInBatch = true;
                return flush({});
            }
            batch.push_back(std::move(o.row));
            if (!o.error.empty()) return flush(o.error);
            // The first row shows at once; then batches, at most ~20 a second.
            if (i == 0 || batch.size() >= kBatchRows ||
                std::chrono::steady_clock::now() - lastFlush >= kStatusInterval)
                return flush({});
            return true;
        });
    if (life.stop_requested()) return;
    if (!batch.empty()) flush({});
    post([this, removed = std::move(removed), consumed, rebuild] { FinishSearch(removed, consumed, rebuild); });
}

void SearchSession::ApplyRows(std::vector<ResultRow>&& rows, std::size_t lastIndex, bool removedInBatch) {
    bool counted = false;
    for (const auto& r : rows) {
        if (!r.hasPageCount) continue;
        counted = true;
        if (!Counted(r)) continue;
        if (r.kind == FileKind::Tif) tifPages_ += r.pages;
        if (r.kind == FileKind::Pdf) pdfPages_ += r.pages;
    }
    if (!rows.empty()) view_.AppendRows(std::move(rows));
    if (removedInBatch)
        view_.SetCaption(Caption::lblTotalFiles, "Total Files : " + std::to_string(view_.RowCount()));
    ShowZeroTotalsIfEmpty();
    progressValue_ = static_cast<std::int64_t>(lastIndex) + 1 + 100;
    view_.SetProgressValue(progressValue_);
    if (counted || std::any_of(rows.begin(), rows.end(), [](const ResultRow& r) { return r.kind == FileKind::None; }))
        view_.SetCaption(Caption::lblTotalPages,
                         TotalPagesText(criteria_.Tif(), criteria_.Pdf(), tifPages_, pdfPages_));
}

void SearchSession::FinishSearch(const std::vector<std::size_t>& removed, std::size_t consumed, bool rebuild) {
    // A Stop ended the row phase: the paths it did not reach leave the found
    // files too, so that the list, its totals and a later delete's rebuild
    // all describe the same files.
    if (consumed < foundFiles_.size())
        foundFiles_.erase(foundFiles_.begin() + static_cast<std::ptrdiff_t>(consumed), foundFiles_.end());
    for (auto it = removed.rbegin(); it != removed.rend(); ++it)
        foundFiles_.erase(foundFiles_.begin() + static_cast<std::ptrdiff_t>(*it));
    phase_ = Phase::Idle;
    rowStop_ = std::stop_source();
    view_.SetCaption(Caption::lblTotalFiles, "Total Files : " + std::to_string(view_.RowCount()));
    ShowZeroTotalsIfEmpty();
    if (timing_) {
        clockEnd_ = std::chrono::steady_clock::now();
        timing_ = false;
        if (worker_) worker_->StopTicker();
        ShowSearchTime();
    }
    if (!rebuild) {
        SearchCommand(1);
        progressValue_ = 0;
        view_.SetProgressValue(0);
        view_.SetCaption(Caption::lblFileName, "");
    } else {
        progressValue_ = 0;
        view_.SetProgressValue(0);
        view_.SetEnabled(Control::cmdStop, false);
        view_.SetEnabled(Control::SStop, false);
    }
    view_.SearchFinished();
}

}  // namespace search
