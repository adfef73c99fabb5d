// quillon-count: the search engine without a window, for scripts, servers and
// very large trees.
#include "cli_options.h"
#include "output.h"
#include "path_lists.h"

#include <export/utf8.h>
#include <search/component_loader.h>
#include <search/long_path.h>
#include <search/ordered_pool.h>
#include <search/row_builder.h>
#include <search/unsearched.h>
#include <search/walker.h>

#ifdef QUILLON_HAVE_EXPORT
#include <export/caret_text.h>
#include <export/export_file.h>
#include <export/export_table.h>
#include <export/interrupt_cleanup.h>
#endif

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

namespace {

constexpr int kExitCounted = 0;
constexpr int kExitSomeError = 1;
constexpr int kExitUsage = 2;

void Complain(const std::string& text) { std::fprintf(stderr, "quillon-count: %s\n", text.c_str()); }

class Progress {
public:
    explicit Progress(bool on) : on_(on) {}
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

// The files to count, in order, each once.
class FileList {
public:
    FileList(bool several, Duplicates& duplicates) : seen_(several), duplicates_(duplicates) {}
    void Add(std::string path, const std::string& key) {
        std::size_t first = 0;
        if (!seen_.Add(key, files_.size(), first)) {
            duplicates_.Note(path, files_[first]);
            return;
        }
        files_.push_back(std::move(path));
    }
    const std::vector<std::string>& Files() const { return files_; }

private:
    std::vector<std::string> files_;
    cli::SeenFiles seen_;
    Duplicates& duplicates_;
};

class CliWalkControl final : public search::WalkControl {
public:
    CliWalkControl(const cli::Options& o, FileList& files, Progress& progress,
                   std::vector<cli::SkippedPath>& skipped, std::int64_t& undated)
        : o_(o), files_(files), progress_(progress), skipped_(skipped), undated_(undated) {}
    void SetRoot(const std::string& root) {
        identity_.SetRoot(root);
        root_ = root.empty() || root.back() == '/' ? root : root + "/";
        rootUnreadable_ = false;
    }
    // The given folder itself could not be opened or listed.
    bool RootUnreadable() const { return rootUnreadable_; }

    bool StopRequested() override { return false; }
    bool IncludeSubfolders() override { return o_.includeSubfolders; }
    int DateField() override { return o_.dateField; }
    search::CalendarDate From() override { return o_.from; }
    search::CalendarDate To() override { return o_.to; }
    void Accepted(std::string fullPath) override {
        const std::string key = identity_.KeyOfFound(fullPath);
        files_.Add(std::move(fullPath), key);
    }
    void FileExamined(std::int64_t) override {
        progress_.Show("searching: " + std::to_string(files_.Files().size()) + " files found");
    }
    void EnteringFolder(const std::string&) override {}
    void Unsearched(const std::string& path, bool folder, int errorNumber) override {
        if (folder && path == root_) rootUnreadable_ = true;
        progress_.Clear();
        Complain(path + ": cannot be searched: " + std::strerror(errorNumber));
        skipped_.push_back(cli::SkippedPath{path, folder, std::strerror(errorNumber)});
    }
    void Undated(const std::string&) override { ++undated_; }

private:
    const cli::Options& o_;
    FileList& files_;
    Progress& progress_;
    std::vector<cli::SkippedPath>& skipped_;
    std::int64_t& undated_;
    cli::FileIdentity identity_;
    std::string root_;
    bool rootUnreadable_ = false;
};

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
#ifndef QUILLON_HAVE_EXPORT
    if (o.format == cli::Format::Caret || o.exportFile) {
        Complain("the export writers are not part of this build");
        return kExitUsage;
    }
#else
    // Ctrl+C or a kill during --export leaves no temporary file behind.
    if (o.exportFile) exporting::RemoveTemporaryFilesOnSignals();
    // A workbook that cannot be written is said before the files are counted.
    if (std::string why; o.exportFile && !exporting::CanWrite(exporting::KindForName(*o.exportFile), why)) {
        Complain(exporting::ExportResult{false, *o.exportFile, why}.Message());
        return kExitUsage;
    }
#endif

    int status = kExitCounted;
    auto worsen = [&status](int to) { status = std::max(status, to); };
    Progress progress(o.progress.value_or(isatty(STDERR_FILENO) == 1));

    std::vector<std::string> inputs = o.paths;
    for (const auto& list : o.filesFrom) {
        std::string why;
        if (!cli::ReadPathList(list, o.nullSeparated, inputs, why)) {
            Complain((list == "-" ? std::string("standard input") : list) + ": " + why);
            return kExitUsage;
        }
    }

    // Folders are searched, files taken as they are; all in the order given,
    // each file once however often it is reached.
    const auto patterns = search::BuildPatterns(o.tif, o.pdf);
    Duplicates duplicates;
    FileList list(inputs.size() > 1, duplicates);
    std::vector<cli::SkippedPath> skipped;
    cli::Totals totals;
    CliWalkControl control(o, list, progress, skipped, totals.undated);
    search::ComponentLoader loader(o.componentDir);
    search::RowBuilder builder(loader);
    // The counters' libraries (libqpdf's among them) load while the folders
    // are walked rather than before the first count.
    std::jthread preload([&builder, &o] { builder.Preload(o.tif, o.pdf); });
    for (const auto& path : inputs) {
        // A list from find over a deep tree may hold paths longer than the
        // system takes whole.
        const search::ReachablePath reachable(path);
        struct stat st {};
        if (reachable.Path().empty() || stat(reachable.Path().c_str(), &st) != 0) {
            const int e = reachable.Path().empty() ? reachable.Error() : errno;
            Complain(path + ": cannot be read: " + std::strerror(e));
            worsen(kExitUsage);
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            control.SetRoot(path);
            const auto walk = search::TotalFiles(path, patterns, control);
            if (walk.failed) {
                Complain(walk.failedFolder + ": cannot be searched: " + walk.errorText);
                worsen(kExitUsage);
            }
            worsen(control.RootUnreadable() ? kExitUsage : skipped.empty() ? kExitCounted : kExitSomeError);
        } else if (search::KindOfName(path) == search::FileKind::None) {
            Complain(path + ": neither a TIFF nor a PDF file name");
            worsen(kExitUsage);
        } else {
            // Counted by its kind, whichever kinds the folders are searched for.
            list.Add(path, cli::FileIdentity::KeyOfFile(path));
        }
    }
    duplicates.Finish();
    if (totals.undated > 0) {
        Complain(search::UndatedText(totals.undated, o.dateField));
        worsen(kExitSomeError);
    }
    const std::vector<std::string>& files = list.Files();
    preload.join();
    cli::Writer writer(o.format, stdout);
    bool sawTif = false, sawPdf = false;
#ifdef QUILLON_HAVE_EXPORT
    std::unique_ptr<exporting::ExportTable> table;
    if (o.format == cli::Format::Caret || o.exportFile)
        table = std::make_unique<exporting::ExportTable>(
            std::vector<std::string>{"Name", "Path", "Size", "Page Count"});
#endif

    std::int64_t nonUtf8Names = 0;
    writer.Begin();
    const std::size_t n = files.size();
    search::RunOrdered<search::RowOutcome>(
        n, o.jobs, [&](std::size_t i) { return builder.Build(files[i]); },
        [&](std::size_t i, search::RowOutcome&& r) {
            if (r.vanished) {
                Complain(files[i] + ": cannot be read: it is gone or no longer a file");
                worsen(kExitUsage);
                return true;
            }
            if (!r.error.empty()) {
                // The row builder's message, on one line.
                std::string text = r.error;
                for (auto p = text.find("\r\n"); p != std::string::npos; p = text.find("\r\n")) text.replace(p, 2, ": ");
                Complain(files[i] + ": " + text);
            }
            const auto& row = r.row;
            ++totals.files;
            (row.kind == search::FileKind::Tif ? sawTif : sawPdf) = true;
            // A count that may leave pages out is said, and so is the total.
            if (cli::Counted(row) && !row.warning.empty()) {
                Complain(files[i] + ": " + row.warning);
                worsen(kExitSomeError);
            }
            if (!cli::Counted(row)) {
                ++totals.errors;
                worsen(kExitSomeError);
            } else if (row.kind == search::FileKind::Tif) {
                totals.tifPages += row.pages;
            } else {
                totals.pdfPages += row.pages;
            }
            writer.Row(row);
            if (!exporting::IsValidUtf8(row.path)) ++nonUtf8Names;
#ifdef QUILLON_HAVE_EXPORT
            if (table) table->AppendRow(std::vector<std::string_view>{
                row.name, row.path, row.sizeText, row.hasPageCount ? std::string_view(row.pageCountText) : std::string_view()});
#endif
            progress.Show("counting: " + std::to_string(i + 1) + " of " + std::to_string(n), i == 0);
            return true;
        });
    progress.Clear();

#ifdef QUILLON_HAVE_EXPORT
    if (o.format == cli::Format::Caret && !exporting::WriteCaretText(*table, stdout)) {
        Complain(std::string("standard output: ") + std::strerror(errno));
        worsen(kExitUsage);
    }
    if (o.exportFile) {
        const auto written = exporting::WriteExportFile(*table, *o.exportFile);
        if (!written) {
            Complain(written.Message());
            worsen(kExitUsage);
        }
    }
#endif
    writer.End(totals, skipped);
    if (std::fflush(stdout) != 0) {
        Complain(std::string("standard output: ") + std::strerror(errno));
        worsen(kExitUsage);
    }

    // Where names were written with replacement characters, say so.
    for (const auto& s : skipped)
        if (!exporting::IsValidUtf8(s.path)) ++nonUtf8Names;
    bool replaced = o.format == cli::Format::Json || o.format == cli::Format::Jsonl || o.format == cli::Format::Csv;
#ifdef QUILLON_HAVE_EXPORT
    replaced = replaced || (o.exportFile && exporting::KindForName(*o.exportFile) != exporting::ExportKind::CaretText);
#endif
    if (replaced && nonUtf8Names > 0)
        Complain(std::to_string(nonUtf8Names) + (nonUtf8Names == 1 ? " name is" : " names are") +
                 " not valid UTF-8; written with replacement characters (tsv and caret keep the bytes)");

    std::fprintf(stderr, "Total Files : %lld\n", static_cast<long long>(totals.files));
    // A file given by name is counted whatever kinds were asked for, and its
    // kind's total is shown with the others.
    std::fprintf(stderr, "%s\n",
                 search::TotalPagesText(o.tif || sawTif, o.pdf || sawPdf, totals.tifPages, totals.pdfPages).c_str());
    if (totals.errors > 0) std::fprintf(stderr, "Errors : %lld\n", static_cast<long long>(totals.errors));
    if (!skipped.empty())
        std::fprintf(stderr, "Not searched : %lld\n", static_cast<long long>(skipped.size()));
    return status;
}
