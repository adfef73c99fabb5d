// Whole search: quillon-count over a generated tree of small PDFs and TIFFs,
// against one in-process libqpdf/libtiff loop over the same files.
#include "bench_tree.h"
#include "fixtures.h"

#include <search/walker.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <tiffio.h>

#include <sys/resource.h>

#include <cstdio>
#include <fstream>
#include <vector>

#ifndef QUILLON_COUNT
#error "QUILLON_COUNT must name the quillon-count executable"
#endif

namespace {

struct Collect : search::WalkControl {
    std::vector<std::string> files;
    bool StopRequested() override { return false; }
    bool IncludeSubfolders() override { return true; }
    int DateField() override { return search::kDateNone; }
    search::CalendarDate From() override { return {}; }
    search::CalendarDate To() override { return {}; }
    void Accepted(std::string p) override { files.push_back(std::move(p)); }
    void FileExamined(std::int64_t) override {}
    void EnteringFolder(const std::string&) override {}
};

void Quiet(const char*, const char*, va_list) {}

// Processor time (user + system) of this process or of its finished children.
double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

}  // namespace

int main() {
    bench::TempTree tree;
    const int folders = 100, perKind = 60;  // 6,000 PDFs + 6,000 TIFFs
    std::int64_t expectedPages = 0;
    for (int d = 0; d < folders; ++d) {
        const std::string dir = tree.path + "/f" + std::to_string(d);
        std::filesystem::create_directories(dir);
        for (int i = 0; i < perKind; ++i) {
            const int pages = 1 + (i % 4);
            fixtures::WriteFile(dir + "/doc" + std::to_string(i) + ".pdf", fixtures::PdfBytes(pages));
            fixtures::WriteTiff(dir + "/scan" + std::to_string(i) + ".tif", pages);
            expectedPages += 2 * pages;
        }
    }
    const int files = folders * perKind * 2;

    // Baseline: one loop in this process, libqpdf for PDFs, libtiff for TIFFs,
    // over the same files found by a plain directory iteration.
    TIFFSetErrorHandler(Quiet);
    TIFFSetWarningHandler(Quiet);
    std::int64_t baselinePages = 0;
    auto baseline = [&] {
        baselinePages = 0;
        for (const auto& e : std::filesystem::recursive_directory_iterator(tree.path)) {
            if (!e.is_regular_file()) continue;
            const std::string p = e.path().string();
            if (e.path().extension() == ".pdf") {
                QPDF q;
                q.setSuppressWarnings(true);
                q.processFile(p.c_str());
                baselinePages += static_cast<std::int64_t>(QPDFPageDocumentHelper(q).getAllPages().size());
            } else if (e.path().extension() == ".tif") {
                if (TIFF* t = TIFFOpen(p.c_str(), "r")) {
                    baselinePages += TIFFNumberOfDirectories(t);
                    TIFFClose(t);
                }
            }
        }
    };
    const std::string out = tree.path + ".out";
    const std::string cmd = std::string("'") + QUILLON_COUNT + "' --no-progress --format tsv '" + tree.path +
                            "' > '" + out + "' 2>/dev/null";
    Collect walkOnly;
    auto walk = [&] {
        walkOnly.files.clear();
        search::TotalFiles(tree.path, search::BuildPatterns(true, true), walkOnly);
    };

    baseline();  // warm the cache
    int status = bench::Shell(cmd);
    const int reps = 3;
    double cpu0 = CpuSeconds(RUSAGE_SELF);
    const double tBase = bench::Best(reps, baseline);
    const double cpuBase = (CpuSeconds(RUSAGE_SELF) - cpu0) / reps;
    cpu0 = CpuSeconds(RUSAGE_CHILDREN);
    const double tCount = bench::Best(reps, [&] { status = bench::Shell(cmd); });
    const double cpuCount = (CpuSeconds(RUSAGE_CHILDREN) - cpu0) / reps;
    const double tWalk = bench::Best(reps, walk);

    std::int64_t countPages = 0, lines = 0;
    {
        std::ifstream in(out);
        for (std::string line; std::getline(in, line); ++lines)
            countPages += std::atoll(line.substr(line.rfind('\t') + 1).c_str());
    }
    std::filesystem::remove(out);

    std::printf("tree: %d files (%d PDF, %d TIFF) in %d folders, %lld pages\n", files, files / 2, files / 2,
                folders, static_cast<long long>(expectedPages));
    std::printf("baseline (in-process libqpdf + libtiff loop)  %.1f ms, %lld pages\n", tBase * 1e3,
                static_cast<long long>(baselinePages));
    std::printf("quillon-count (whole process)                 %.1f ms, %lld pages, exit %d\n", tCount * 1e3,
                static_cast<long long>(countPages), status);
    std::printf("walk phase alone                              %.1f ms = %.1f%% of quillon-count\n", tWalk * 1e3,
                100.0 * tWalk / tCount);
    std::printf("processor time per run: baseline %.1f ms, quillon-count %.1f ms (ratio %.2fx)\n", cpuBase * 1e3,
                cpuCount * 1e3, cpuBase / cpuCount);
    const double speedup = tBase / tCount;
    std::printf("speed-up baseline/quillon-count = %.2fx (target >= 2) %s\n", speedup, speedup >= 2 ? "OK" : "UNDER");
    const bool right = countPages == expectedPages && baselinePages == expectedPages && lines == files;
    if (!right) std::printf("page totals disagree\n");
    return right ? 0 : 1;
}
