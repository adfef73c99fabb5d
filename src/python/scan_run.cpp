#include "scan_run.h"

#include "listed_files.h"

#include <cstring>

namespace pyquillon {

namespace {
// Items waiting for Python: enough to keep the counters busy while Python
// takes its turn, few enough that a huge tree never piles up here.
constexpr std::size_t kQueued = 1024;
}  // namespace

// What the run tells while it walks (on the walking thread).
class ScanRun::Listener final : public search::RunListener {
public:
    explicit Listener(ScanRun& scan) : scan_(scan) {}
    void InputUnreadable(const std::string& path, int error) override {
        // Checked before the scan began: it went since.
        scan_.Unsearched(path, false, std::strerror(error));
    }
    void InputNotCountable(const std::string& path) override {
        scan_.Unsearched(path, false, "neither a TIFF nor a PDF file name");
    }
    void WalkFailed(const search::WalkResult& walk) override {
        scan_.Unsearched(walk.failedFolder, true, walk.errorText);
    }
    void Duplicate(const std::string&, const std::string&) override {
        std::lock_guard lock(scan_.m_);
        ++scan_.totals_.duplicates;
    }

private:
    ScanRun& scan_;
};

ScanRun::ScanRun(search::ComponentLoader& loader, ScanOptions options)
    : o_(std::move(options)), run_(loader, o_.inputs) {
    thread_ = std::thread([this] { Run(); });
}

ScanRun::~ScanRun() {
    Stop();
    Wait();
}

void ScanRun::Stop() {
    {
        std::lock_guard lock(m_);
        stop_ = true;
    }
    run_.RequestStop();
    changed_.notify_all();
}

void ScanRun::Wait() {
    if (thread_.joinable()) thread_.join();
}

ScanTotals ScanRun::Totals() const {
    std::lock_guard lock(m_);
    return totals_;
}

void ScanRun::Unsearched(const std::string& path, bool folder, const std::string& reason) {
    std::lock_guard lock(m_);
    ScanItem item;
    item.unsearched = true;
    item.path = path;
    item.folder = folder;
    item.reason = reason;
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
        if (!search::Counted(row))
            ++t.errors;
        else if (row.kind == search::FileKind::Tif)
            t.tifPages += row.pages;
        else
            t.pdfPages += row.pages;
    }
    changed_.notify_all();
    return Next::Item;
}

bool ScanRun::Consume(const std::string& path, search::RowOutcome&& outcome) {
    if (outcome.vanished) {
        // Gone since it was found: quillon-count says so on standard error;
        // here it is an entry that could not be searched.
        Unsearched(path, false, "it is gone or no longer a file");
        return !stop_.load();
    }
    ScanItem item;
    item.row = std::move(outcome.row);
    return Put(std::move(item));
}

void ScanRun::Run() {
    Listener listener(*this);
    run_.SetListener(&listener);
    const auto consume = [this](std::size_t, const std::string& path, search::RowOutcome&& outcome) {
        return Consume(path, std::move(outcome));
    };
    if (o_.listedNames.empty()) {
        run_.Stream(consume);
    } else {
        // Files of one folder handed over by name: the walk's tests here,
        // then counted in order as a walk of the folder would have them.
        std::string folder = o_.listedFolder;
        if (!folder.empty() && folder.back() != '/') folder += '/';
        std::vector<std::string> files;
        std::int64_t undated = 0;
        for (const auto& name : o_.listedNames) {
            if (stop_) break;
            int error = 0;
            switch (CheckListed(folder, name, o_.inputs.dateField, o_.inputs.from, o_.inputs.to, &error)) {
                case Listed::Accepted: files.push_back(folder + name); break;
                case Listed::Undated: ++undated; break;
                case Listed::Unreadable: Unsearched(folder + name, false, std::strerror(error)); break;
                case Listed::Passed: break;
            }
        }
        {
            std::lock_guard lock(m_);
            totals_.undated += undated;
        }
        if (!stop_) run_.Count(files, consume);
    }
    std::vector<ScanItem> skipped;
    {
        std::lock_guard lock(m_);
        totals_.undated += run_.Totals().undated;
        for (const auto& u : run_.Unsearched()) {
            ScanItem item;
            item.unsearched = true;
            item.path = u.path;
            item.folder = u.folder;
            item.reason = std::strerror(u.error);
            skipped.push_back(std::move(item));
        }
        // After the walk's own, as they were met (inputs gone, files gone).
        for (auto& item : skipped_) skipped.push_back(std::move(item));
        skipped_.clear();
    }
    for (auto& item : skipped)
        if (!Put(std::move(item))) break;
    std::lock_guard lock(m_);
    done_ = true;
    changed_.notify_all();
}

}  // namespace pyquillon
