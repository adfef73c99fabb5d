#include <search/count_run.h>

#include <search/long_path.h>
#include <search/ordered_pool.h>
#include <search/ordered_stream.h>

#include <sys/stat.h>

#include <cerrno>
#include <thread>

namespace search {

bool Counted(const ResultRow& row) { return row.hasPageCount && row.pages >= 1; }

void CountTotals::Add(const ResultRow& row) {
    ++files;
    (row.kind == FileKind::Tif ? sawTif : sawPdf) = true;
    if (!Counted(row))
        ++errors;
    else if (row.kind == FileKind::Tif)
        tifPages += row.pages;
    else if (row.kind == FileKind::Pdf)
        pdfPages += row.pages;
}

class CountRun::Control final : public WalkControl {
public:
    Control(CountRun& run, InputOverlap& overlap, const std::function<void(std::string)>& found)
        : run_(run), overlap_(overlap), found_(found) {}
    void SetRoot(const std::string& root) { root_ = root.empty() || root.back() == '/' ? root : root + "/"; }

    bool StopRequested() override { return run_.stop_.stop_requested(); }
    bool IncludeSubfolders() override {
        return run_.criteria_ ? run_.criteria_->IncludeSubfolders() : run_.inputs_.includeSubfolders;
    }
    int DateField() override { return run_.criteria_ ? run_.criteria_->DateField() : run_.inputs_.dateField; }
    CalendarDate From() override { return run_.criteria_ ? run_.criteria_->From() : run_.inputs_.from; }
    CalendarDate To() override { return run_.criteria_ ? run_.criteria_->To() : run_.inputs_.to; }
    void Accepted(std::string fullPath) override {
        if (auto first = overlap_.FileFound(fullPath)) {
            if (run_.listener_) run_.listener_->Duplicate(fullPath, *first);
            return;
        }
        run_.found_.fetch_add(1, std::memory_order_relaxed);
        if (run_.listener_) run_.listener_->FileFound(fullPath);
        found_(std::move(fullPath));
    }
    void FileExamined(std::int64_t fileCount) override {
        if (run_.listener_) run_.listener_->FileExamined(fileCount);
    }
    void EnteringFolder(const std::string& text) override {
        run_.folders_.fetch_add(1, std::memory_order_relaxed);
        if (run_.listener_) run_.listener_->FolderEntered(text);
    }
    void Unsearched(const std::string& path, bool folder, int errorNumber) override {
        if (folder) overlap_.FolderUnsearched(path);
        UnsearchedPath entry{path, folder, errorNumber};
        if (run_.listener_) run_.listener_->Unsearched(entry, folder && path == root_);
        run_.unsearched_.push_back(std::move(entry));
    }
    void Undated(const std::string& path) override {
        ++run_.undated_;
        if (run_.listener_) run_.listener_->Undated(path);
    }
    void OutsideDateWindow(const std::string& path) override {
        if (run_.listener_) run_.listener_->OutsideDateWindow(path);
    }

private:
    CountRun& run_;
    InputOverlap& overlap_;
    const std::function<void(std::string)>& found_;
    std::string root_;
};

CountRun::CountRun(ComponentLoader& loader, CountInputs inputs, std::stop_token stop)
    : builder_(loader, inputs.sizes), inputs_(std::move(inputs)),
      forward_(std::move(stop), std::function<void()>([this] { stop_.request_stop(); })) {}

CountRun::~CountRun() = default;

void CountRun::Walk(const std::function<void(std::string)>& found) {
    WalkInputs(found);
    totals_.undated = undated_;
}

void CountRun::WalkInputs(const std::function<void(std::string)>& found) {
    // What each input is, found out first: the overlap between them is
    // decided from the inputs.
    enum class Kind { Unreadable, Folder, File, NotCountable };
    std::vector<Kind> kinds(inputs_.paths.size(), Kind::Unreadable);
    std::vector<int> errors(inputs_.paths.size(), 0);
    std::vector<bool> isFile(inputs_.paths.size(), false);
    for (std::size_t i = 0; i < inputs_.paths.size(); ++i) {
        const std::string& path = inputs_.paths[i];
        // A list from find over a deep tree may hold paths longer than the
        // system takes whole.
        const ReachablePath reachable(path);
        struct stat st {};
        if (reachable.Path().empty() || ::stat(reachable.Path().c_str(), &st) != 0) {
            errors[i] = reachable.Path().empty() ? reachable.Error() : errno;
        } else if (S_ISDIR(st.st_mode)) {
            kinds[i] = Kind::Folder;
        } else if (KindOfName(path) == FileKind::None) {
            kinds[i] = Kind::NotCountable;
        } else {
            kinds[i] = Kind::File;
            isFile[i] = true;
        }
    }
    InputOverlap overlap(inputs_.paths, isFile, inputs_.includeSubfolders);
    Control control(*this, overlap, found);
    const auto patterns = BuildPatterns(inputs_.tif, inputs_.pdf);
    for (std::size_t i = 0; i < inputs_.paths.size() && !stop_.stop_requested(); ++i) {
        const std::string& path = inputs_.paths[i];
        switch (kinds[i]) {
            case Kind::Unreadable:
                if (listener_) listener_->InputUnreadable(path, errors[i]);
                break;
            case Kind::NotCountable:
                if (listener_) listener_->InputNotCountable(path);
                break;
            case Kind::File:
                if (auto first = overlap.FileGiven(path)) {
                    if (listener_) listener_->Duplicate(path, *first);
                } else {
                    found_.fetch_add(1, std::memory_order_relaxed);
                    if (listener_) listener_->FileFound(path);
                    found(path);
                }
                break;
            case Kind::Folder: {
                folders_.fetch_add(1, std::memory_order_relaxed);
                overlap.BeginFolder(path);
                control.SetRoot(path);
                const WalkResult walk = TotalFiles(path, patterns, control, dates_ ? *dates_ : SystemDates());
                if (walk.failed && listener_) listener_->WalkFailed(walk);
                overlap.EndFolder(!walk.failed && !walk.stopped);
                break;
            }
        }
    }
    walkDone_.store(true, std::memory_order_release);
    if (listener_) listener_->WalkEnded(undated_);
}

void CountRun::AddTotals(const RowOutcome& outcome) {
    if (!outcome.vanished) totals_.Add(outcome.row);
}

void CountRun::Count(const std::vector<std::string>& files, const Consume& consume) {
    RunOrdered<RowOutcome>(
        files.size(), inputs_.jobs, [&](std::size_t i) { return builder_.Build(files[i]); },
        [&](std::size_t i, RowOutcome&& outcome) {
            if (stop_.stop_requested()) return false;
            AddTotals(outcome);
            return consume(i, files[i], std::move(outcome));
        });
}

namespace {
struct Counting {
    std::string path;
    RowOutcome outcome;
};
}  // namespace

void CountRun::Stream(const Consume& consume, const std::function<void()>& idle) {
    OrderedFeed<std::string> feed;
    // The counters' libraries (libqpdf's among them) load while the first
    // folders are walked rather than before the walk.
    std::thread preload([this] { builder_.Preload(inputs_.tif, inputs_.pdf); });
    std::thread walker([this, &feed] {
        struct Closer {
            OrderedFeed<std::string>& feed;
            ~Closer() { feed.Close(); }
        } closer{feed};
        WalkInputs([this, &feed](std::string path) {
            if (!feed.Put(std::move(path))) stop_.request_stop();
        });
    });
    preload.join();
    RunOrderedStream<Counting>(
        feed, inputs_.jobs,
        [this](std::size_t, std::string& path) {
            RowOutcome outcome = builder_.Build(path);
            return Counting{std::move(path), std::move(outcome)};
        },
        [&](std::size_t i, Counting&& c) {
            if (stop_.stop_requested()) return false;
            AddTotals(c.outcome);
            if (consume(i, c.path, std::move(c.outcome))) return true;
            stop_.request_stop();
            return false;
        },
        [&idle] {
            if (idle) idle();
        });
    // A stop ends the walk at its next look; the consumer is gone, so the
    // feed refuses what the walk still finds.
    walker.join();
    totals_.undated = undated_;
}

}  // namespace search
