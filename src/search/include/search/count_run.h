// One counting run: the paths to search, the walk, the page counts in found
// order, the totals and what could not be searched.  The window's search
// session, quillon-count and the Python module all count through it.
//
// Threads: Walk, Count, Stream and CountFile run on the caller's thread (and
// start their own helpers); RequestStop may be called from any thread.
// Listener calls come from the walking thread, consumers' from the caller's.
#pragma once

#include <search/calendar_date.h>
#include <search/component_loader.h>
#include <search/input_overlap.h>
#include <search/result_row.h>
#include <search/row_builder.h>
#include <search/walker.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

namespace search {

// What a run searches.  Folders are walked, files taken as they are (counted
// by their own kind whatever kinds the folders are searched for); a file
// reached more than once is counted once.
struct CountInputs {
    std::vector<std::string> paths;
    bool tif = false;
    bool pdf = false;
    bool includeSubfolders = true;
    int dateField = kDateNone;
    CalendarDate from;
    CalendarDate to;
    int jobs = 0;  // page counts at once; 0: two per processor core
    // Rows carry their pages' sizes (ResultRow::pageSizes); the counters
    // then read every page, so only when asked.
    bool sizes = false;
};

// A counted file: its page count is known (at least one page).
bool Counted(const ResultRow& row);

struct CountTotals {
    std::int64_t files = 0;   // rows
    std::int64_t errors = 0;  // rows without a page count
    std::int64_t tifPages = 0;
    std::int64_t pdfPages = 0;
    std::int64_t undated = 0;  // candidate files without the chosen date
    bool sawTif = false;       // a TIFF row came (a file given by name may bring one)
    bool sawPdf = false;
    void Add(const ResultRow& row);
};

// A folder or file the walk could not search, with the system's error number.
struct UnsearchedPath {
    std::string path;  // a folder's ends in the separator
    bool folder = false;
    int error = 0;
};

// What a run tells while it walks, on the walking thread.  Every method has
// a default that does nothing.
class RunListener {
public:
    virtual ~RunListener() = default;
    // A path given could not be read at all (errno), or is a file of no kind counted.
    virtual void InputUnreadable(const std::string& /*path*/, int /*error*/) {}
    virtual void InputNotCountable(const std::string& /*path*/) {}
    // The walk of a folder given ended early on an unexpected failure.
    virtual void WalkFailed(const WalkResult& /*walk*/) {}
    virtual void Unsearched(const UnsearchedPath& /*entry*/, bool /*isInput*/) {}
    virtual void Undated(const std::string& /*path*/) {}
    // A file whose chosen date lies outside the date window: left out.
    virtual void OutsideDateWindow(const std::string& /*path*/) {}
    // A file reached again (path) that was first reached as `first`: not counted again.
    virtual void Duplicate(const std::string& /*path*/, const std::string& /*first*/) {}
    // Walk progress, as the walker reports it.
    virtual void FolderEntered(const std::string& /*caption*/) {}
    virtual void FileExamined(std::int64_t /*found*/) {}
    virtual void FileFound(const std::string& /*path*/) {}
    // Every input walked; `undated` files had no date to compare.
    virtual void WalkEnded(std::int64_t /*undated*/) {}
};

// The criteria the walk reads at the moment of use: the window lets the user
// change them while it walks.  Without one, the run's inputs hold.
class RunCriteria {
public:
    virtual ~RunCriteria() = default;
    virtual bool IncludeSubfolders() = 0;
    virtual int DateField() = 0;
    virtual CalendarDate From() = 0;
    virtual CalendarDate To() = 0;
};

class CountRun {
public:
    // consume(i, outcome): the i-th file in found order; false stops the run.
    using Consume = std::function<bool(std::size_t, const std::string&, RowOutcome&&)>;

    // `stop` (from a std::stop_source the caller keeps) ends the run early.
    CountRun(ComponentLoader& loader, CountInputs inputs, std::stop_token stop = {});
    ~CountRun();
    CountRun(const CountRun&) = delete;
    CountRun& operator=(const CountRun&) = delete;

    void SetListener(RunListener* listener) { listener_ = listener; }
    void SetCriteria(RunCriteria* criteria) { criteria_ = criteria; }
    void SetDates(const DateSource* dates) { dates_ = dates; }

    // Any thread: ends the walk and the counting as soon as they look.
    void RequestStop() { stop_.request_stop(); }
    bool StopRequested() const { return stop_.stop_requested(); }

    // One file, whatever its name's kind; thread-safe.
    RowOutcome CountFile(const std::string& path) const { return builder_.Build(path); }

    // Walks every input and gives each file to found(path) once, in found
    // order; nothing is counted.  The window's walk.
    void Walk(const std::function<void(std::string)>& found);
    // Counts `files` in order through the ordered pool.
    void Count(const std::vector<std::string>& files, const Consume& consume);
    // Walks and counts at once: files go to the counters as they are found
    // and the outcomes come to consume in found order while the walk goes
    // on.  Memory does not grow with the number of files.  idle(), when
    // given, is called on the caller's thread while the next outcome is
    // slow to come (the walk is slow): the moment to flush written rows.
    void Stream(const Consume& consume, const std::function<void()>& idle = {});

    // After a run (Walk or Stream), or between consume calls of the caller's
    // thread for the counts; the walk's figures only once the walk is over.
    const CountTotals& Totals() const { return totals_; }
    const std::vector<UnsearchedPath>& Unsearched() const { return unsearched_; }
    std::int64_t FoldersWalked() const { return folders_.load(std::memory_order_relaxed); }
    std::int64_t FilesFound() const { return found_.load(std::memory_order_relaxed); }
    bool WalkDone() const { return walkDone_.load(std::memory_order_acquire); }

private:
    class Control;
    void AddTotals(const RowOutcome& outcome);
    void WalkInputs(const std::function<void(std::string)>& found);

    RowBuilder builder_;
    CountInputs inputs_;
    std::stop_source stop_;
    std::stop_callback<std::function<void()>> forward_;
    RunListener* listener_ = nullptr;
    RunCriteria* criteria_ = nullptr;
    const DateSource* dates_ = nullptr;
    CountTotals totals_;
    std::int64_t undated_ = 0;
    std::vector<UnsearchedPath> unsearched_;
    std::atomic<std::int64_t> folders_{0};
    std::atomic<std::int64_t> found_{0};
    std::atomic<bool> walkDone_{false};
};

}  // namespace search
