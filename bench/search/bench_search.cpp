// Whole search: quillon-count over a generated tree of small PDFs (classic
// tables, and cross-reference streams with object streams as
// qpdf --object-streams=generate writes them) and TIFFs, against one
// in-process libqpdf/libtiff loop over the same files.  Prints both times
// and both peak memory sizes.
#include "bench_tree.h"
#include "fixtures.h"

#include <search/walker.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>
#include <tiffio.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
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
    void Unsearched(const std::string&, bool, int) override {}  // the bench tree is all readable
    void Undated(const std::string&) override {}
};

void Quiet(const char*, const char*, va_list) {}

// Processor time (user + system) of this process or of its finished children.
double CpuSeconds(int who) {
    rusage u{};
    getrusage(who, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The fixture rewritten by libqpdf with object streams and a
// cross-reference stream, as "qpdf --object-streams=generate" writes it.
std::string WithObjectStreams(const std::string& classic) {
    QPDF q;
    q.processMemoryFile("fixture", classic.data(), classic.size());
    QPDFWriter w(q);
    w.setOutputMemory();
    w.setObjectStreamMode(qpdf_o_generate);
    w.write();
    auto buffer = w.getBufferSharedPointer();
    return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

struct Run {
    double seconds = 0;
    long peakKb = 0;  // largest resident size of the process
    int status = -1;
};

// Runs f in a child process and reports its time and peak memory.
template <class F>
Run InChild(F&& f) {
    Run run;
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        f();
        _exit(0);
    }
    int status = 0;
    rusage usage{};
    if (pid < 0 || wait4(pid, &status, 0, &usage) != pid) return run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    run.peakKb = usage.ru_maxrss;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

// Keeps the best time of the runs so far and the largest peak among them.
void Keep(Run& best, const Run& r) {
    best.seconds = std::min(best.seconds, r.seconds);
    best.peakKb = std::max(best.peakKb, r.peakKb);
    best.status = r.status;
}

}  // namespace

int main() {
    bench::TempTree tree;
    // 6,000 classic PDFs, 3,000 with cross-reference streams, 6,000 TIFFs.
    const int folders = 100, perKind = 60, streamPerFolder = 30;
    std::string streamPdf[5];
    for (int pages = 1; pages <= 4; ++pages) streamPdf[pages] = WithObjectStreams(fixtures::PdfBytes(pages));
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
        for (int i = 0; i < streamPerFolder; ++i) {
            const int pages = 1 + (i % 4);
            fixtures::WriteFile(dir + "/packed" + std::to_string(i) + ".pdf", streamPdf[pages]);
            expectedPages += pages;
        }
    }
    const int pdfs = folders * (perKind + streamPerFolder), tiffs = folders * perKind;
    const int files = pdfs + tiffs;

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
    // quillon-count on its own, its output to a file.
    auto count = [&] {
        return InChild([&] {
            const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            if (fd < 0 || null < 0 || dup2(fd, 1) < 0 || dup2(null, 2) < 0) _exit(127);
            execl(QUILLON_COUNT, QUILLON_COUNT, "--no-progress", "--format", "tsv", tree.path.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        });
    };
    // The baseline in a child of its own, so that its peak memory is its
    // own; the child exits 0 when its page total is right.
    auto baselineRun = [&] {
        return InChild([&] {
            baseline();
            _exit(baselinePages == expectedPages ? 0 : 1);
        });
    };
    Collect walkOnly;
    auto walk = [&] {
        walkOnly.files.clear();
        search::TotalFiles(tree.path, search::BuildPatterns(true, true), walkOnly);
    };

    baseline();  // warm the cache, and the page total of the baseline
    count();
    // Runs alternate, so that a burst of load on the machine falls on both
    // sides alike; the best of each side is compared.
    const int reps = 5;
    Run base, counted;
    base.seconds = counted.seconds = 1e300;
    double cpuBase = 0, cpuCount = 0;
    for (int r = 0; r < reps; ++r) {
        double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
        Keep(base, baselineRun());
        cpuBase += (CpuSeconds(RUSAGE_CHILDREN) - cpu0) / reps;
        cpu0 = CpuSeconds(RUSAGE_CHILDREN);
        Keep(counted, count());
        cpuCount += (CpuSeconds(RUSAGE_CHILDREN) - cpu0) / reps;
    }
    const double tWalk = bench::Best(reps, walk);
    const double tBase = base.seconds, tCount = counted.seconds;
    const int status = counted.status;

    std::int64_t countPages = 0, lines = 0;
    {
        std::ifstream in(out);
        for (std::string line; std::getline(in, line); ++lines)
            countPages += std::atoll(line.substr(line.rfind('\t') + 1).c_str());
    }
    std::filesystem::remove(out);

    std::printf("tree: %d files (%d PDF, %d of them with cross-reference streams; %d TIFF) in %d folders, "
                "%lld pages\n",
                files, pdfs, folders * streamPerFolder, tiffs, folders, static_cast<long long>(expectedPages));
    std::printf("baseline (in-process libqpdf + libtiff loop)  %.1f ms, %lld pages\n", tBase * 1e3,
                static_cast<long long>(baselinePages));
    std::printf("quillon-count (whole process)                 %.1f ms, %lld pages, exit %d\n", tCount * 1e3,
                static_cast<long long>(countPages), status);
    std::printf("walk phase alone                              %.1f ms = %.1f%% of quillon-count\n", tWalk * 1e3,
                100.0 * tWalk / tCount);
    std::printf("processor time per run: baseline %.1f ms, quillon-count %.1f ms (ratio %.2fx)\n", cpuBase * 1e3,
                cpuCount * 1e3, cpuBase / cpuCount);
    std::printf("peak memory: baseline %.1f MB, quillon-count %.1f MB\n", base.peakKb / 1024.0,
                counted.peakKb / 1024.0);
    const double speedup = tBase / tCount;
    std::printf("speed-up baseline/quillon-count = %.2fx (target >= 8) %s\n", speedup, speedup >= 8 ? "OK" : "UNDER");
    const bool right =
        countPages == expectedPages && baselinePages == expectedPages && base.status == 0 && lines == files;
    if (!right) std::printf("page totals disagree\n");
    return right ? 0 : 1;
}
