// One scan of the Python module: a search::CountRun streamed on a thread of
// its own, its outcomes handed to Python through a bounded queue, so that
// Python takes each result as it is counted and never holds the GIL while it
// waits.
#pragma once

#include <search/count_run.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace pyquillon {

struct ScanOptions {
    // Files of one folder handed over by name (a part of a huge folder): each
    // passes the walker's tests (a regular file, the date window) first.
    std::string listedFolder;
    std::vector<std::string> listedNames;
    search::CountInputs inputs;  // kinds, subfolders, date window, jobs
};

// A counted file, or an entry that could not be searched.
struct ScanItem {
    bool unsearched = false;
    search::ResultRow row;  // a counted file
    // An entry that could not be searched: its path (a folder's ends in "/"),
    // whether it is a folder, and why.
    std::string path;
    bool folder = false;
    std::string reason;
};

struct ScanTotals {
    std::int64_t files = 0;
    std::int64_t errors = 0;
    std::int64_t tifPages = 0;
    std::int64_t pdfPages = 0;
    std::int64_t skipped = 0;
    std::int64_t undated = 0;
    std::int64_t duplicates = 0;  // files reached more than once, counted once
    bool sawTif = false;
    bool sawPdf = false;
};

class ScanRun {
public:
    // Starts at once; inputs are expected to exist (the caller checks them).
    ScanRun(search::ComponentLoader& loader, ScanOptions options);
    ~ScanRun();  // stops and waits
    ScanRun(const ScanRun&) = delete;
    ScanRun& operator=(const ScanRun&) = delete;

    enum class Next { Item, Waiting, Done };
    // The next item, waiting at most `wait` for it.
    Next Take(ScanItem& out, std::chrono::milliseconds wait);
    // Asks the run to end early; what was counted stays in the totals.
    void Stop();
    void Wait();
    ScanTotals Totals() const;
    bool Stopped() const { return stop_.load(); }

private:
    class Listener;
    void Run();
    // Hands an item over; false when the run is stopped.
    bool Put(ScanItem&& item);
    void Unsearched(const std::string& path, bool folder, const std::string& reason);
    bool Consume(const std::string& path, search::RowOutcome&& outcome);

    ScanOptions o_;
    search::CountRun run_;
    std::atomic<bool> stop_{false};
    mutable std::mutex m_;
    std::condition_variable changed_;
    std::deque<ScanItem> queue_;
    std::vector<ScanItem> skipped_;  // told after the files, as quillon-count does
    ScanTotals totals_;
    bool done_ = false;
    std::thread thread_;
};

}  // namespace pyquillon
