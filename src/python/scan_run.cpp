#include "scan_run.h"

#include "listed_files.h"

#include <path_lists.h>
#include <search/long_path.h>
#include <search/ordered_pool.h>
#include <search/walker.h>

#include <sys/stat.h>

#include <cstring>

namespace pyquillon {

namespace {
// Items waiting for Python: enough to keep the counters busy while Python
// takes its turn, few enough that a huge tree never piles up here.
constexpr std::size_t kQueued = 1024;
}  // namespace

// The files to count, in order, each once (as quillon-count keeps them).
class ScanFiles {
public:
    explicit ScanFiles(bool several) : seen_(several) {}
    bool Add(std::string path, const std::string& key) {
        std::size_t first = 0;
        if (!seen_.Add(key, files_.size(), first)) return false;
        files_.push_back(std::move(path));
        return true;
    }
    std::vector<std::string> files_;
    cli::SeenFiles seen_;
};

class ScanWalkControl final : public search::WalkControl {
public:
    ScanWalkControl(ScanRun& run, ScanFiles& files) : run_(run), files_(files) {}
    void SetRoot(const std::string& root) { identity_.SetRoot(root); }
    bool StopRequested() override { return run_.stop_.load(); }
    bool IncludeSubfolders() override { return run_.o_.subfolders; }
    int DateField() override { return run_.o_.dateField; }
    search::CalendarDate From() override { return run_.o_.from; }
    search::CalendarDate To() override { return run_.o_.to; }
    void Accepted(std::string fullPath) override {
        const std::string key = identity_.KeyOfFound(fullPath);
        if (!files_.Add(std::move(fullPath), key)) Duplicate();
    }
    void FileExamined(std::int64_t) override {}
    void EnteringFolder(const std::string&) override {}
    void Unsearched(const std::string& path, bool folder, int error) override { run_.Unsearched(path, folder, error); }
    void Undated(const std::string&) override {
        std::lock_guard lock(run_.m_);
        ++run_.totals_.undated;
    }
    void Duplicate() {
        std::lock_guard lock(run_.m_);
        ++run_.totals_.duplicates;
    }

private:
    ScanRun& run_;
    ScanFiles& files_;
    cli::FileIdentity identity_;
};

ScanRun::ScanRun(search::RowBuilder& builder, ScanOptions options) : builder_(builder), o_(std::move(options)) {
    thread_ = std::thread([this] { Run(); });
}

ScanRun::~ScanRun() {
    Stop();
    Wait();
}

void ScanRun::Stop() {
    stop_ = true;
    changed_.notify_all();
}

void ScanRun::Wait() {
    if (thread_.joinable()) thread_.join();
}

ScanTotals ScanRun::Totals() const {
    std::lock_guard lock(m_);
    return totals_;
}

void ScanRun::Unsearched(const std::string& path, bool folder, int error) {
    std::lock_guard lock(m_);
    ScanItem item;
    item.unsearched = true;
    item.path = path;
    item.folder = folder;
    item.reason = std::strerror(error);
    skipped_.push_back(std::move(item));
}

bool ScanRun::Put(ScanItem&& item) {
    std::unique_lock lock(m_);
    changed_.wait(lock, [this] { return stop_.load() || queue_.size() < kQueued; });
    if (stop_) return false;
    queue_.push_back(std::move(item));
    changed_.notify_all();
    return true;
}

ScanRun::Next ScanRun::Take(ScanItem& out, std::chrono::milliseconds wait) {
    std::unique_lock lock(m_);
    if (!changed_.wait_for(lock, wait, [this] { return !queue_.empty() || done_; })) return Next::Waiting;
    if (queue_.empty()) return Next::Done;
    out = std::move(queue_.front());
    queue_.pop_front();
    // The totals are those of the items handed over: a scan stopped early
    // totals what its caller saw.
    auto& t = totals_;
    if (out.unsearched) {
        ++t.skipped;
    } else {
        const auto& row = out.row;
        ++t.files;
        (row.kind == search::FileKind::Tif ? t.sawTif : t.sawPdf) = true;
        if (!row.hasPageCount || row.pages < 1)
            ++t.errors;
        else if (row.kind == search::FileKind::Tif)
            t.tifPages += row.pages;
        else
            t.pdfPages += row.pages;
    }
    changed_.notify_all();
    return Next::Item;
}

void ScanRun::Run() {
    ScanFiles files(o_.paths.size() + (o_.listedNames.empty() ? 0 : 1) > 1);
    ScanWalkControl control(*this, files);
    const auto patterns = search::BuildPatterns(o_.tif, o_.pdf);
    for (const auto& path : o_.paths) {
        if (stop_) break;
        const search::ReachablePath reachable(path);
        struct stat st {};
        if (reachable.Path().empty() || stat(reachable.Path().c_str(), &st) != 0) {
            Unsearched(path, false, reachable.Path().empty() ? reachable.Error() : errno);
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            control.SetRoot(path);
            const auto walk = search::TotalFiles(path, patterns, control);
            if (walk.failed) {
                std::lock_guard lock(m_);
                ScanItem item;
                item.unsearched = true;
                item.path = walk.failedFolder;
                item.folder = true;
                item.reason = walk.errorText;
                skipped_.push_back(std::move(item));
            }
        } else if (!files.Add(path, cli::FileIdentity::KeyOfFile(path))) {
            control.Duplicate();
        }
    }
    if (!o_.listedNames.empty()) {
        std::string folder = o_.listedFolder;
        if (!folder.empty() && folder.back() != '/') folder += '/';
        control.SetRoot(folder);
        for (const auto& name : o_.listedNames) {
            if (stop_) break;
            int error = 0;
            switch (CheckListed(folder, name, o_.dateField, o_.from, o_.to, &error)) {
                case Listed::Accepted: control.Accepted(folder + name); break;
                case Listed::Undated: control.Undated(folder + name); break;
                case Listed::Unreadable: Unsearched(folder + name, false, error); break;
                case Listed::Passed: break;
            }
        }
    }

    const auto& list = files.files_;
    search::RunOrdered<search::RowOutcome>(
        stop_ ? 0 : list.size(), o_.jobs, [&](std::size_t i) { return builder_.Build(list[i]); },
        [&](std::size_t i, search::RowOutcome&& r) {
            if (r.vanished) {
                std::lock_guard lock(m_);
                ScanItem item;
                item.unsearched = true;
                item.path = list[i];
                item.reason = "it is gone or no longer a file";
                skipped_.push_back(std::move(item));
                return !stop_.load();
            }
            ScanItem item;
            item.row = std::move(r.row);
            return Put(std::move(item));
        });
    std::vector<ScanItem> skipped;
    {
        std::lock_guard lock(m_);
        skipped.swap(skipped_);
    }
    for (auto& item : skipped)
        if (!Put(std::move(item))) break;
    std::lock_guard lock(m_);
    done_ = true;
    changed_.notify_all();
}

}  // namespace pyquillon
