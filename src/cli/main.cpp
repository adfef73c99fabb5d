// quillon-count: the search engine without a window, for scripts, servers and
// very large trees.
#include "cli_options.h"
#include "output.h"
#include "path_lists.h"

#include <export/utf8.h>
#include <search/component_loader.h>
#include <search/count_run.h>
#include <search/page_sizes.h>
#include <search/unsearched.h>

#ifdef QUILLON_HAVE_EXPORT
#include <export/caret_text.h>
#include <export/export_file.h>
#include <export/export_table.h>
#include <export/interrupt_cleanup.h>
#endif

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>

namespace {

constexpr int kExitCounted = 0;
constexpr int kExitSomeError = 1;
constexpr int kExitUsage = 2;

void Complain(const std::string& text) { std::fprintf(stderr, "quillon-count: %s\n", text.c_str()); }

// One line on standard error, rewritten in place; the walk and the counts
// both report to it.
class Progress {
public:
    explicit Progress(bool on) : on_(on) {}
    bool On() const { return on_; }
    void Show(const std::string& text, bool force = false) {
        if (!on_) return;
        const auto now = std::chrono::steady_clock::now();
        if (!force && now - last_ < std::chrono::milliseconds(100)) return;
        last_ = now;
        std::fprintf(stderr, "\r%s\033[K", text.c_str());
        shown_ = true;
    }
    void Clear() {
        if (on_ && shown_) std::fputs("\r\033[K", stderr);
        shown_ = false;
    }

private:
    bool on_;
    bool shown_ = false;
    std::chrono::steady_clock::time_point last_{};
};

// Notes on files reached more than once: the first few by name, then a count.
class Duplicates {
public:
    void Note(const std::string& path, const std::string& first) {
        if (++count_ > kNamed) return;
        if (path == first)
            Complain(path + ": given more than once; counted once");
        else
            Complain(path + ": the same file as " + first + "; counted once");
    }
    void Finish() const {
        if (count_ > kNamed)
            Complain(std::to_string(count_ - kNamed) + " more files reached more than once; each counted once");
    }

private:
    static constexpr std::int64_t kNamed = 20;
    std::int64_t count_ = 0;
};

// Standard error and the exit status, shared by the walking thread (what the
// walk meets) and the main thread (what the counts give).
class Report final : public search::RunListener {
public:
    Report(const search::CountRun& run, bool progress, int dateField)
        : run_(run), progress_(progress), dateField_(dateField) {}

    void Worsen(int to) {
        std::lock_guard lock(m_);
        status_ = std::max(status_, to);
    }
    int Status() {
        std::lock_guard lock(m_);
        return status_;
    }
    void Say(const std::string& text, int worsen) {
        std::lock_guard lock(m_);
        progress_.Clear();
        Complain(text);
        status_ = std::max(status_, worsen);
    }
    void Counted(std::int64_t counted) {
        if (!progress_.On()) return;
        std::lock_guard lock(m_);
        counted_ = counted;
        progress_.Show(Text(), counted == 1);
    }
    void ClearProgress() {
        std::lock_guard lock(m_);
        progress_.Clear();
    }

    void InputUnreadable(const std::string& path, int error) override {
        Say(path + ": cannot be read: " + std::strerror(error), kExitUsage);
    }
    void InputNotCountable(const std::string& path) override {
        Say(path + ": neither a TIFF nor a PDF file name", kExitUsage);
    }
    void WalkFailed(const search::WalkResult& walk) override {
        Say(walk.failedFolder + ": cannot be searched: " + walk.errorText, kExitUsage);
    }
    void Unsearched(const search::UnsearchedPath& entry, bool isInput) override {
        // The given folder itself could not be opened or listed.
        Say(entry.path + ": cannot be searched: " + std::strerror(entry.error), isInput ? kExitUsage : kExitSomeError);
    }
    void Duplicate(const std::string& path, const std::string& first) override {
        std::lock_guard lock(m_);
        progress_.Clear();
        duplicates_.Note(path, first);
    }
    void WalkEnded(std::int64_t undated) override {
        std::lock_guard lock(m_);
        progress_.Clear();
        duplicates_.Finish();
        if (undated > 0) {
            Complain(search::UndatedText(undated, dateField_));
            status_ = std::max(status_, kExitSomeError);
        }
    }
    void FolderEntered(const std::string&) override { Walked(); }
    void FileFound(const std::string&) override { Walked(); }

private:
    void Walked() {
        if (!progress_.On()) return;
        std::lock_guard lock(m_);
        progress_.Show(Text());
    }
    std::string Text() const {
        const std::string found = std::to_string(run_.FilesFound());
        const std::string folders = std::to_string(run_.FoldersWalked()) + " folders walked";
        if (counted_ == 0) return "searching: " + found + " files found, " + folders;
        return "counting: " + std::to_string(counted_) + " of " + found +
               (run_.WalkDone() ? " files found, " : " files found so far, ") + folders;
    }

    const search::CountRun& run_;
    std::mutex m_;
    Progress progress_;
    Duplicates duplicates_;
    int dateField_;
    int status_ = kExitCounted;
    std::int64_t counted_ = 0;
};

// The list as the program's export (caret text on standard output, or
// --export's file): the only output that holds every row until the end, as
// its formats need.
class ExportCopy {
public:
    // Whether this build can write what is asked; says why not.
    static bool Usable([[maybe_unused]] const cli::Options& o) {
#ifndef QUILLON_HAVE_EXPORT
        if (o.format == cli::Format::Caret || o.exportFile) {
            Complain("the export writers are not part of this build");
            return false;
        }
#else
        // Ctrl+C or a kill during --export leaves no temporary file behind.
        if (o.exportFile) exporting::RemoveTemporaryFilesOnSignals();
        // A workbook that cannot be written is said before the files are counted.
        if (std::string why; o.exportFile && !exporting::CanWrite(exporting::KindForName(*o.exportFile), why)) {
            Complain(exporting::ExportResult{false, *o.exportFile, why}.Message());
            return false;
        }
#endif
        return true;
    }

    explicit ExportCopy(const cli::Options& o) : o_(o) {
#ifdef QUILLON_HAVE_EXPORT
        if (o.format == cli::Format::Caret || o.exportFile)
            table_ = std::make_unique<exporting::ExportTable>(
                std::vector<std::string>{"Name", "Path", "Size", "Page Count"});
#endif
    }
    void Add([[maybe_unused]] const search::ResultRow& row) {
#ifdef QUILLON_HAVE_EXPORT
        if (table_) table_->AppendRow(std::vector<std::string_view>{
            row.name, row.path, row.sizeText, row.hasPageCount ? std::string_view(row.pageCountText) : std::string_view()});
#endif
    }
    // Writes what was asked; false when something could not be written (said).
    bool Write() {
        bool ok = true;
#ifdef QUILLON_HAVE_EXPORT
        if (o_.format == cli::Format::Caret && !exporting::WriteCaretText(*table_, stdout)) {
            Complain(std::string("standard output: ") + std::strerror(errno));
            ok = false;
        }
        if (o_.exportFile) {
            const auto written = exporting::WriteExportFile(*table_, *o_.exportFile);
            if (!written) {
                Complain(written.Message());
                ok = false;
            }
        }
#endif
        return ok;
    }
    // Whether the export file writes names as UTF-8 (replacing what is not).
    bool ReplacesNames() const {
#ifdef QUILLON_HAVE_EXPORT
        return o_.exportFile && exporting::KindForName(*o_.exportFile) != exporting::ExportKind::CaretText;
#else
        return false;
#endif
    }

private:
    const cli::Options& o_;
#ifdef QUILLON_HAVE_EXPORT
    std::unique_ptr<exporting::ExportTable> table_;
#endif
};

// The paths and choices of the command line as the counting run takes them;
// nothing when a list cannot be read (said).
std::optional<search::CountInputs> InputsOf(const cli::Options& o) {
    search::CountInputs inputs;
    inputs.paths = o.paths;
    for (const auto& list : o.filesFrom) {
        std::string why;
        if (!cli::ReadPathList(list, o.nullSeparated, inputs.paths, why)) {
            Complain((list == "-" ? std::string("standard input") : list) + ": " + why);
            return std::nullopt;
        }
    }
    inputs.tif = o.tif;
    inputs.pdf = o.pdf;
    inputs.includeSubfolders = o.includeSubfolders;
    inputs.dateField = o.dateField;
    inputs.from = o.from;
    inputs.to = o.to;
    inputs.jobs = o.jobs;
    // Totals by folder bill by A4 equivalents, which need the sizes.
    inputs.sizes = o.sizes || o.byFolder >= 0;
    return inputs;
}

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    const auto parsed = cli::ParseOptions(argc, argv, error);
    if (!parsed) {
        Complain(error);
        std::fputs("Try 'quillon-count --help'.\n", stderr);
        return kExitUsage;
    }
    const cli::Options& o = *parsed;
    if (o.help) {
        std::fputs(cli::Usage(), stdout);
        return kExitCounted;
    }
    if (o.version) {
        std::printf("quillon-count %s\n", QUILLON_VERSION);
        return kExitCounted;
    }
    if (!ExportCopy::Usable(o)) return kExitUsage;

    auto inputs = InputsOf(o);
    if (!inputs) return kExitUsage;
    const bool readSizes = inputs->sizes;
    std::vector<std::string> roots;
    if (o.byFolder >= 0) roots = inputs->paths;

    search::ComponentLoader loader(o.componentDir);
    search::CountRun run(loader, std::move(*inputs));
    Report report(run, o.progress.value_or(isatty(STDERR_FILENO) == 1), o.dateField);
    run.SetListener(&report);

    cli::Writer writer(o.format, stdout, o.sizes, o.byFolder >= 0);
    search::SizeTotals sizeTotals;
    std::optional<search::FolderTotals> folderTotals;
    if (o.byFolder >= 0) folderTotals.emplace(std::move(roots), o.byFolder);
    ExportCopy exportCopy(o);

    // Rows are written as the files are counted, while the walk goes on.
    std::int64_t nonUtf8Names = 0;
    bool unflushed = false;
    writer.Begin();
    run.Stream(
        [&](std::size_t i, const std::string& path, search::RowOutcome&& r) {
            if (r.vanished) {
                report.Say(path + ": cannot be read: it is gone or no longer a file", kExitUsage);
                return true;
            }
            if (!r.error.empty()) {
                // The row builder's message, on one line.
                std::string text = r.error;
                for (auto p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n")) text.replace(p, 2, ": ");
                report.Say(path + ": " + text, kExitCounted);
            }
            const auto& row = r.row;
            // A count that may leave pages out is said, and so is the total.
            if (search::Counted(row) && !row.warning.empty()) report.Say(path + ": " + row.warning, kExitSomeError);
            if (!search::Counted(row)) report.Worsen(kExitSomeError);
            search::FileSizes sizes;
            if (readSizes && search::Counted(row)) {
                sizes = search::SummarizeSizes(row.pageSizes);
                sizeTotals.Add(sizes);
            }
            if (folderTotals)
                folderTotals->Add(row.path, search::Counted(row) ? row.pages : 0,
                                  search::Counted(row) ? &sizes : nullptr);
            writer.Row(row, &sizes);
            unflushed = true;
            if (!exporting::IsValidUtf8(row.path)) ++nonUtf8Names;
            exportCopy.Add(row);
            report.Counted(static_cast<std::int64_t>(i) + 1);
            return true;
        },
        // The walk is slow to bring the next file: what is written goes out.
        [&] {
            if (unflushed) std::fflush(stdout);
            unflushed = false;
        });
    report.ClearProgress();
    int status = report.Status();
    auto worsen = [&status](int to) { status = std::max(status, to); };

    const search::CountTotals& counted = run.Totals();
    cli::Totals totals;
    totals.files = counted.files;
    totals.errors = counted.errors;
    totals.tifPages = counted.tifPages;
    totals.pdfPages = counted.pdfPages;
    totals.undated = counted.undated;
    std::vector<cli::SkippedPath> skipped;
    for (const auto& u : run.Unsearched()) skipped.push_back(cli::SkippedPath{u.path, u.folder, std::strerror(u.error)});

    if (!exportCopy.Write()) worsen(kExitUsage);
    writer.End(totals, skipped, o.sizes ? &sizeTotals : nullptr, folderTotals ? &*folderTotals : nullptr);
    if (std::fflush(stdout) != 0) {
        Complain(std::string("standard output: ") + std::strerror(errno));
        worsen(kExitUsage);
    }

    // Where names were written with replacement characters, say so.
    for (const auto& k : skipped)
        if (!exporting::IsValidUtf8(k.path)) ++nonUtf8Names;
    const bool replaced = o.format == cli::Format::Json || o.format == cli::Format::Jsonl ||
                          o.format == cli::Format::Csv || exportCopy.ReplacesNames();
    if (replaced && nonUtf8Names > 0)
        Complain(std::to_string(nonUtf8Names) + (nonUtf8Names == 1 ? " name is" : " names are") +
                 " not valid UTF-8; written with replacement characters (tsv and caret keep the bytes)");

    std::fprintf(stderr, "Total Files : %lld\n", static_cast<long long>(totals.files));
    // A file given by name is counted whatever kinds were asked for, and its
    // kind's total is shown with the others.
    std::fprintf(stderr, "%s\n",
                 search::TotalPagesText(o.tif || counted.sawTif, o.pdf || counted.sawPdf, totals.tifPages, totals.pdfPages).c_str());
    if (totals.errors > 0) std::fprintf(stderr, "Errors : %lld\n", static_cast<long long>(totals.errors));
    if (!skipped.empty())
        std::fprintf(stderr, "Not searched : %lld\n", static_cast<long long>(skipped.size()));
    if (o.sizes) {
        for (const auto& l : sizeTotals.Lines())
            std::fprintf(stderr, "Size %s : %lld pages in %lld files, %lld A4 equivalents, %s m2\n", l.name.c_str(),
                         static_cast<long long>(l.pages), static_cast<long long>(l.files),
                         static_cast<long long>(l.a4Equivalents), cli::Decimal(l.areaM2).c_str());
        std::fprintf(stderr, "A4 equivalents : %lld\n", static_cast<long long>(sizeTotals.a4Equivalents()));
        std::fprintf(stderr, "Area : %s m2\n", cli::Decimal(sizeTotals.areaM2()).c_str());
        if (sizeTotals.unknownPages() > 0)
            std::fprintf(stderr, "Pages of unknown size : %lld\n", static_cast<long long>(sizeTotals.unknownPages()));
    }
    return status;
}
