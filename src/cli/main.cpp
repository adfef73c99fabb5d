// quillon-count: the search engine without a window, for scripts, servers and
// very large trees.
#include "cli_options.h"
#include "output.h"

#include <search/component_loader.h>
#include <search/ordered_pool.h>
#include <search/row_builder.h>
#include <search/walker.h>

#ifdef QUILLON_HAVE_EXPORT
#include <export/caret_text.h>
#include <export/export_file.h>
#include <export/export_table.h>
#endif

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>

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

class CliWalkControl final : public search::WalkControl {
public:
    CliWalkControl(const cli::Options& o, std::vector<std::string>& found, Progress& progress)
        : o_(o), found_(found), progress_(progress) {}
    bool StopRequested() override { return false; }
    bool IncludeSubfolders() override { return o_.includeSubfolders; }
    int DateField() override { return o_.dateField; }
    search::CalendarDate From() override { return o_.from; }
    search::CalendarDate To() override { return o_.to; }
    void Accepted(std::string fullPath) override { found_.push_back(std::move(fullPath)); }
    void FileExamined(std::int64_t) override {
        progress_.Show("searching: " + std::to_string(found_.size()) + " files found");
    }
    void EnteringFolder(const std::string&) override {}

private:
    const cli::Options& o_;
    std::vector<std::string>& found_;
    Progress& progress_;
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
#ifndef QUILLON_HAVE_EXPORT
    if (o.format == cli::Format::Caret || o.exportFile) {
        Complain("the export writers are not part of this build");
        return kExitUsage;
    }
#endif

    int status = kExitCounted;
    Progress progress(o.progress.value_or(isatty(STDERR_FILENO) == 1));

    std::vector<std::string> inputs = o.paths;
    if (o.filesFrom) {
        std::unique_ptr<std::ifstream> file;
        std::istream* in = &std::cin;
        if (*o.filesFrom != "-") {
            file = std::make_unique<std::ifstream>(*o.filesFrom);
            if (!*file) {
                Complain(*o.filesFrom + ": cannot be read: " + std::strerror(errno));
                return kExitUsage;
            }
            in = file.get();
        }
        std::string line;
        while (std::getline(*in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (!line.empty()) inputs.push_back(std::move(line));
        }
    }

    // Folders are searched, files taken as they are; all in the order given.
    const auto patterns = search::BuildPatterns(o.tif, o.pdf);
    std::vector<std::string> files;
    CliWalkControl control(o, files, progress);
    for (const auto& path : inputs) {
        struct stat st {};
        if (stat(path.c_str(), &st) != 0) {
            Complain(path + ": cannot be read: " + std::strerror(errno));
            status = kExitUsage;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            const auto walk = search::TotalFiles(path, patterns, control);
            if (walk.failed) {
                Complain(walk.failedFolder + ": cannot be searched: " + walk.errorText);
                status = kExitUsage;
            }
        } else if (search::KindOfName(path) == search::FileKind::None) {
            Complain(path + ": neither a TIFF nor a PDF file name");
            status = kExitUsage;
        } else {
            files.push_back(path);
        }
    }

    search::ComponentLoader loader(o.componentDir);
    search::RowBuilder builder(loader);
    cli::Writer writer(o.format, stdout);
    cli::Totals totals;
#ifdef QUILLON_HAVE_EXPORT
    std::unique_ptr<exporting::ExportTable> table;
    if (o.format == cli::Format::Caret || o.exportFile)
        table = std::make_unique<exporting::ExportTable>(
            std::vector<std::string>{"Name", "Path", "Size", "Page Count"});
#endif

    writer.Begin();
    const std::size_t n = files.size();
    search::RunOrdered<search::RowOutcome>(
        n, o.jobs, [&](std::size_t i) { return builder.Build(files[i]); },
        [&](std::size_t i, search::RowOutcome&& r) {
            if (r.vanished) {
                Complain(files[i] + ": cannot be read");
                status = kExitUsage;
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
            const bool counted = row.hasPageCount && row.pages >= 1;
            if (!counted) {
                ++totals.errors;
                if (status == kExitCounted) status = kExitSomeError;
            } else if (row.kind == search::FileKind::Tif) {
                totals.tifPages += row.pages;
            } else {
                totals.pdfPages += row.pages;
            }
            writer.Row(row);
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
        status = kExitUsage;
    }
    if (o.exportFile) {
        const auto written = exporting::WriteExportFile(*table, *o.exportFile);
        if (!written) {
            Complain(written.Message());
            status = kExitUsage;
        }
    }
#endif
    writer.End(totals);
    if (std::fflush(stdout) != 0) {
        Complain(std::string("standard output: ") + std::strerror(errno));
        status = kExitUsage;
    }

    std::fprintf(stderr, "Total Files : %lld\n", static_cast<long long>(totals.files));
    std::fprintf(stderr, "%s\n", search::TotalPagesText(o.tif, o.pdf, totals.tifPages, totals.pdfPages).c_str());
    if (totals.errors > 0) std::fprintf(stderr, "Errors : %lld\n", static_cast<long long>(totals.errors));
    return status;
}
