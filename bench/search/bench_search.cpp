// Whole search: quillon-count over a generated tree of small PDFs (classic
// tables, and cross-reference streams with object streams as
// qpdf --object-streams=generate writes them), TIFFs, and heavy files (PDFs
// whose single object stream holds 65,542 objects, plain, AES-256 and RC4;
// small AES-256 and RC4 files with object streams; stream files whose
// object stream has a wrong /Length), against one in-process libqpdf/libtiff loop and a
// PyMuPDF loop (pymupdf_count.py, python3-fitz) over the same files.
// Prints the times and peak memory sizes of all three, and those of
// quillon-count on the 65,542-object file alone.  Then, with a 100,000-page
// PDF added to the tree, quillon-count --sizes against a PyMuPDF loop that
// reads every page's size (pymupdf_sizes.py).
#include "bench_tree.h"
#include "fixtures.h"
#include "qpdf_rewrite.h"
#include "streambuilder.h"

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
#include <cstdlib>
#include <cstdio>
#include <fstream>
#include <vector>

#ifndef QUILLON_COUNT
#error "QUILLON_COUNT must name the quillon-count executable"
#endif
#ifndef PYMUPDF_COUNT
#error "PYMUPDF_COUNT must name the PyMuPDF baseline script"
#endif
#ifndef PYMUPDF_SIZES
#error "PYMUPDF_SIZES must name the PyMuPDF sizes script"
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

using bench::Crypt;
using bench::Rewritten;

// A stream file whose object stream has a wrong /Length: readers find the
// end of its data by "endstream".
std::string DamagedLength(std::string bytes) {
    const auto last = bytes.find_first_not_of("0123456789", bytes.find("/Length ", bytes.find("/ObjStm")) + 8) - 1;
    bytes[last] = bytes[last] == '9' ? '0' : static_cast<char>(bytes[last] + 1);
    return bytes;
}

// A PDF of `pages` pages below `pages / 1000` tree nodes, A4 handed down
// from the root, every tenth page Letter of its own: the pages share two
// sizes, as real documents do.
std::string ManyPages(int pages) {
    std::string out = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    auto object = [&](const std::string& body) {
        offsets.push_back(out.size());
        out += std::to_string(offsets.size()) + " 0 obj\n" + body + "\nendobj\n";
    };
    const int perNode = 1000, nodes = (pages + perNode - 1) / perNode;
    object("<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (int n = 0; n < nodes; ++n) kids += std::to_string(3 + n) + " 0 R ";
    object("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " /MediaBox [0 0 595 842] >>");
    const int firstPage = 3 + nodes;
    for (int n = 0; n < nodes; ++n) {
        std::string pageKids;
        const int count = std::min(perNode, pages - n * perNode);
        for (int i = 0; i < count; ++i) pageKids += std::to_string(firstPage + n * perNode + i) + " 0 R ";
        object("<< /Type /Pages /Parent 2 0 R /Kids [" + pageKids + "] /Count " + std::to_string(count) + " >>");
    }
    for (int i = 0; i < pages; ++i)
        object("<< /Type /Page /Parent " + std::to_string(3 + i / perNode) + " 0 R" +
               (i % 10 == 9 ? " /MediaBox [0 0 612 792]" : "") + " >>");
    const std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(offsets.size() + 1) + "\n0000000000 65535 f\r\n";
    char line[32];
    for (auto off : offsets) {
        std::snprintf(line, sizeof line, "%010zu 00000 n\r\n", off);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(offsets.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
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
    // The heavy files: a few in all, one or none a folder.  They are made
    // in a child process: libqpdf's rewrite of them takes hundreds of MB,
    // and the peak memory of every process this one starts would begin there.
    int pdfs = folders * (perKind + streamPerFolder), tiffs = folders * perKind;
    const char* const heavy[] = {"many-objects.pdf", "many-objects-copy.pdf", "many-objects-again.pdf",
                                 "many-objects-aes256.pdf", "many-objects-rc4.pdf"};
    const std::string manyPath = tree.path + "/f0/many-objects.pdf";
    const std::string pagesFile = tree.path + ".pages";
    InChild([&] {
        int manyPages = 0;
        const std::string many = brastel::test::ManyObjectsDocument({}, &manyPages);
        const std::string bytes[] = {many, many, many, Rewritten(many, Crypt::Aes256), Rewritten(many, Crypt::Rc4)};
        for (std::size_t k = 0; k < std::size(heavy); ++k)
            fixtures::WriteFile(tree.path + "/f" + std::to_string(k * 7 % folders) + "/" + heavy[k], bytes[k]);
        std::ofstream(pagesFile) << manyPages;
    });
    long long manyPages = 0;
    {
        std::ifstream in(pagesFile);
        in >> manyPages;
    }
    std::filesystem::remove(pagesFile);
    expectedPages += manyPages * static_cast<std::int64_t>(std::size(heavy));
    pdfs += static_cast<int>(std::size(heavy));
    std::string aes[5], rc4[5], damaged[5];
    for (int pages = 1; pages <= 4; ++pages) {
        aes[pages] = Rewritten(fixtures::PdfBytes(pages), Crypt::Aes256);
        rc4[pages] = Rewritten(fixtures::PdfBytes(pages), Crypt::Rc4);
        damaged[pages] = DamagedLength(streamPdf[pages]);
    }
    for (int d = 0; d < folders; d += 4) {
        const std::string dir = tree.path + "/f" + std::to_string(d);
        for (int i = 0; i < 4; ++i) {
            const int pages = 1 + i;
            fixtures::WriteFile(dir + "/aes" + std::to_string(i) + ".pdf", aes[pages]);
            fixtures::WriteFile(dir + "/rc4" + std::to_string(i) + ".pdf", rc4[pages]);
            fixtures::WriteFile(dir + "/damaged" + std::to_string(i) + ".pdf", damaged[pages]);
            expectedPages += 3 * pages;
            pdfs += 3;
        }
    }
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
                try {
                    QPDF q;
                    q.setSuppressWarnings(true);
                    q.processFile(p.c_str());
                    baselinePages += static_cast<std::int64_t>(QPDFPageDocumentHelper(q).getAllPages().size());
                } catch (const std::exception&) {  // a file libqpdf cannot read counts no pages
                }
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
    auto countWith = [&](const char* program, const std::string& into) {
        return InChild([&] {
            const int fd = ::open(into.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            if (fd < 0 || null < 0 || dup2(fd, 1) < 0 || dup2(null, 2) < 0) _exit(127);
            execl(program, program, "--no-progress", "--format", "tsv", tree.path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        });
    };
    auto count = [&] { return countWith(QUILLON_COUNT, out); };
    // An earlier build's quillon-count, when QUILLON_COUNT_BEFORE names one:
    // the plain count is timed against it in the same runs.
    const char* before = std::getenv("QUILLON_COUNT_BEFORE");
    // The baseline in a child of its own, so that its peak memory is its
    // own; the child exits 0 when its page total is right.
    auto baselineRun = [&] {
        return InChild([&] {
            baseline();
            _exit(baselinePages == expectedPages ? 0 : 1);
        });
    };
    // The PyMuPDF loop, in a process of its own; it prints its file count
    // and page total.
    const std::string pyOut = tree.path + ".py";
    auto pymupdf = [&] {
        return InChild([&] {
            const int fd = ::open(pyOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            if (fd < 0 || null < 0 || dup2(fd, 1) < 0 || dup2(null, 2) < 0) _exit(127);
            execl("/usr/bin/python3", "python3", PYMUPDF_COUNT, tree.path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        });
    };
    // quillon-count on the one 65,542-object file.
    auto countMany = [&] {
        return InChild([&] {
            const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            if (null < 0 || dup2(null, 1) < 0 || dup2(null, 2) < 0) _exit(127);
            execl(QUILLON_COUNT, QUILLON_COUNT, "--no-progress", "--format", "tsv", manyPath.c_str(),
                  static_cast<char*>(nullptr));
            _exit(127);
        });
    };
    Collect walkOnly;
    auto walk = [&] {
        walkOnly.files.clear();
        search::TotalFiles(tree.path, search::BuildPatterns(true, true), walkOnly);
    };

    baselineRun();  // warm the cache (in a child: libqpdf's peak stays its own)
    count();
    // Runs alternate, so that a burst of load on the machine falls on both
    // sides alike; the best of each side is compared.
    const int reps = 3;
    Run base, counted, py, one, earlier;
    base.seconds = counted.seconds = py.seconds = one.seconds = earlier.seconds = 1e300;
    double cpuBase = 0, cpuCount = 0, cpuPy = 0;
    for (int r = 0; r < reps; ++r) {
        double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
        Keep(base, baselineRun());
        cpuBase += (CpuSeconds(RUSAGE_CHILDREN) - cpu0) / reps;
        cpu0 = CpuSeconds(RUSAGE_CHILDREN);
        Keep(counted, count());
        cpuCount += (CpuSeconds(RUSAGE_CHILDREN) - cpu0) / reps;
        cpu0 = CpuSeconds(RUSAGE_CHILDREN);
        Keep(py, pymupdf());
        cpuPy += (CpuSeconds(RUSAGE_CHILDREN) - cpu0) / reps;
    }
    // The plain count against the earlier build, alternating, best of five each.
    // Processor time too: on a loaded machine it tells more than the clock.
    double cpuEarlier = 0, cpuNow = 0;
    if (before)
        for (int r = 0; r < 5; ++r) {
            double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
            Keep(earlier, countWith(before, out + ".before"));
            cpuEarlier += (CpuSeconds(RUSAGE_CHILDREN) - cpu0) / 5;
            cpu0 = CpuSeconds(RUSAGE_CHILDREN);
            Keep(counted, count());
            cpuNow += (CpuSeconds(RUSAGE_CHILDREN) - cpu0) / 5;
        }
    // Best of more runs: a run of 10 ms of processor time is easily held
    // up by other work on the machine.
    double cpuOne = 1e300;
    for (int r = 0; r < 15; ++r) {
        const double cpu0 = CpuSeconds(RUSAGE_CHILDREN);
        Keep(one, countMany());
        cpuOne = std::min(cpuOne, CpuSeconds(RUSAGE_CHILDREN) - cpu0);
    }
    long long pyFiles = -1, pyPages = -1;
    {
        std::ifstream in(pyOut);
        in >> pyFiles >> pyPages;
    }
    std::filesystem::remove(pyOut);
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

    std::printf("tree: %d files (%d PDF, %d of them with cross-reference streams, %zu with 65,542 objects in "
                "one stream, %d small encrypted, %d damaged; %d TIFF) in %d folders, %lld pages\n",
                files, pdfs, folders * streamPerFolder, std::size(heavy), 2 * 4 * folders / 4, 4 * folders / 4,
                tiffs, folders, static_cast<long long>(expectedPages));
    std::printf("baseline (in-process libqpdf + libtiff loop)  %.1f ms, page total %s\n", tBase * 1e3,
                base.status == 0 ? "right" : "WRONG");
    std::printf("quillon-count (whole process)                 %.1f ms, %lld pages, exit %d\n", tCount * 1e3,
                static_cast<long long>(countPages), status);
    std::printf("walk phase alone                              %.1f ms = %.1f%% of quillon-count\n", tWalk * 1e3,
                100.0 * tWalk / tCount);
    std::printf("processor time per run: baseline %.1f ms, quillon-count %.1f ms (ratio %.2fx)\n", cpuBase * 1e3,
                cpuCount * 1e3, cpuBase / cpuCount);
    std::printf("PyMuPDF loop (python3-fitz)                   %.1f ms, %lld files, %lld pages (processor %.1f ms)\n",
                py.seconds * 1e3, pyFiles, pyPages, cpuPy * 1e3);
    std::printf("peak memory: baseline %.1f MB, PyMuPDF %.1f MB, quillon-count %.1f MB (target < 96) %s\n",
                base.peakKb / 1024.0, py.peakKb / 1024.0, counted.peakKb / 1024.0,
                counted.peakKb < 96 * 1024 ? "OK" : "OVER");
    const double speedup = tBase / tCount;
    std::printf("speed-up baseline/quillon-count = %.2fx (target >= 10) %s\n", speedup,
                speedup >= 10 ? "OK" : "UNDER");
    if (before) {
        std::filesystem::remove(out + ".before");
        std::printf("plain count: this build %.1f ms, earlier build (%s) %.1f ms: %+.1f%%; processor time per run "
                    "%.1f ms against %.1f ms: %+.1f%% (target within 3%%)\n",
                    tCount * 1e3, before, earlier.seconds * 1e3, 100.0 * (tCount - earlier.seconds) / earlier.seconds,
                    cpuNow * 1e3, cpuEarlier * 1e3, 100.0 * (cpuNow - cpuEarlier) / cpuEarlier);
    }
    const double overPy = py.seconds / tCount;
    std::printf("speed-up PyMuPDF/quillon-count = %.2fx (target >= 5) %s\n", overPy, overPy >= 5 ? "OK" : "UNDER");
    std::printf("65,542-object file alone: quillon-count %.1f ms (processor %.1f ms), peak %.1f MB "
                "(target < 60 ms, < 20 MB) %s\n",
                one.seconds * 1e3, cpuOne * 1e3, one.peakKb / 1024.0,
                one.seconds < 0.060 && one.peakKb < 20 * 1024 ? "OK" : "OVER");
    bool right = countPages == expectedPages && base.status == 0 && lines == files;
    if (!right) std::printf("page totals disagree\n");

    // Sizes: the tree with a 100,000-page PDF, quillon-count --sizes against
    // PyMuPDF reading every page's size.
    const int bigPages = 100000;
    fixtures::WriteFile(tree.path + "/f1/hundred-thousand-pages.pdf", ManyPages(bigPages));
    auto countSizes = [&](bool sizes) {
        return InChild([&] {
            const int fd = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            if (fd < 0 || null < 0 || dup2(fd, 1) < 0 || dup2(null, 2) < 0) _exit(127);
            if (sizes)
                execl(QUILLON_COUNT, QUILLON_COUNT, "--no-progress", "--sizes", "--format", "tsv", tree.path.c_str(),
                      static_cast<char*>(nullptr));
            else
                execl(QUILLON_COUNT, QUILLON_COUNT, "--no-progress", "--format", "tsv", tree.path.c_str(),
                      static_cast<char*>(nullptr));
            _exit(127);
        });
    };
    auto pySizes = [&] {
        return InChild([&] {
            const int fd = ::open(pyOut.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
            const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
            if (fd < 0 || null < 0 || dup2(fd, 1) < 0 || dup2(null, 2) < 0) _exit(127);
            execl("/usr/bin/python3", "python3", PYMUPDF_SIZES, tree.path.c_str(), static_cast<char*>(nullptr));
            _exit(127);
        });
    };
    Run plain2, sized, pySized;
    plain2.seconds = sized.seconds = pySized.seconds = 1e300;
    countSizes(true);  // warm the cache with the new file
    for (int r = 0; r < reps; ++r) {
        Keep(plain2, countSizes(false));
        Keep(sized, countSizes(true));
        if (r == 0) Keep(pySized, pySizes());  // PyMuPDF is slow here: one run
    }
    std::int64_t sizedA4 = 0, sizedPages = 0;
    {
        std::ifstream in(out);
        for (std::string line; std::getline(in, line);) {
            // path, kind, size, pages, sizes, A4 equivalents (the bench tree's names hold no tab)
            std::vector<std::string> f;
            for (std::size_t at = 0;;) {
                const auto tab = line.find('\t', at);
                f.push_back(line.substr(at, tab - at));
                if (tab == std::string::npos) break;
                at = tab + 1;
            }
            if (f.size() < 6) continue;
            sizedPages += std::atoll(f[3].c_str());
            sizedA4 += std::atoll(f[5].c_str());
        }
    }
    std::filesystem::remove(out);
    long long pySizedFiles = -1, pySizedPages = -1;
    {
        std::ifstream in(pyOut);
        in >> pySizedFiles >> pySizedPages;
    }
    std::filesystem::remove(pyOut);
    const std::int64_t sizedExpected = expectedPages + bigPages;
    std::printf("with a 100,000-page PDF: quillon-count %.1f ms, --sizes %.1f ms (%lld pages, %lld A4 "
                "equivalents), PyMuPDF reading every page's size %.1f ms (%lld pages)\n",
                plain2.seconds * 1e3, sized.seconds * 1e3, static_cast<long long>(sizedPages),
                static_cast<long long>(sizedA4), pySized.seconds * 1e3, pySizedPages);
    const double overPySizes = pySized.seconds / sized.seconds;
    std::printf("speed-up PyMuPDF sizes/quillon-count --sizes = %.2fx (target >= 5) %s\n", overPySizes,
                overPySizes >= 5 ? "OK" : "UNDER");
    std::printf("peak memory --sizes %.1f MB, plain %.1f MB (target < 96) %s\n", sized.peakKb / 1024.0,
                plain2.peakKb / 1024.0, sized.peakKb < 96 * 1024 && plain2.peakKb < 96 * 1024 ? "OK" : "OVER");
    if (sizedPages != sizedExpected) {
        std::printf("--sizes page total disagrees (%lld, expected %lld)\n", static_cast<long long>(sizedPages),
                    static_cast<long long>(sizedExpected));
        right = false;
    }
    return right ? 0 : 1;
}
