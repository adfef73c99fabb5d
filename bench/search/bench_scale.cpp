// quillon-count at scale: trees of 100,000 and 2,000,000 empty PDF files on
// /dev/shm (1,000 a folder), each counted once.  Prints the time, the time
// until the first row reached standard output, the peak memory and the files
// per second, against find(1) walking the same tree in the same run.  The
// peak at 2,000,000 must stay within 1.2 times the peak at 100,000, and so
// must the peak over one folder of 1,000,000 other files and 1,000 PDFs.
//
//   bench_scale [QUILLON_COUNT] [SMALL LARGE]
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#ifndef QUILLON_COUNT
#error "QUILLON_COUNT must name the quillon-count executable"
#endif

namespace {

constexpr long kPerFolder = 1000;

using Clock = std::chrono::steady_clock;

struct Run {
    double seconds = 0;
    double firstRow = -1;  // seconds until the first output byte
    long peakKb = 0;
    long long bytes = 0;
    int status = -1;
};

// Runs argv with standard output read (and dropped) here.
Run Measure(const std::vector<std::string>& argv) {
    int out[2];
    if (pipe(out) != 0) std::abort();
    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(out[1], STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDERR_FILENO);
        close(out[0]);
        close(out[1]);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    Run r;
    char buf[1 << 16];
    for (;;) {
        const ssize_t got = read(out[0], buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        if (r.firstRow < 0) r.firstRow = std::chrono::duration<double>(Clock::now() - start).count();
        r.bytes += got;
    }
    close(out[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    r.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    r.peakKb = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

bool MakeTree(const std::string& root, long files) {
    std::filesystem::create_directories(root);
    for (long i = 0; i < files; ++i) {
        const std::string folder = root + "/d" + std::to_string(i / kPerFolder);
        if (i % kPerFolder == 0 && mkdir(folder.c_str(), 0755) != 0) return false;
        const int fd = open((folder + "/f" + std::to_string(i % kPerFolder) + ".pdf").c_str(),
                            O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (fd < 0) return false;
        close(fd);
    }
    return true;
}

// Room for the files' inodes and entries: tmpfs keeps them in memory.
bool RoomFor(long files) {
    struct statvfs s {};
    if (statvfs("/dev/shm", &s) != 0) return false;
    const unsigned long long bytes = static_cast<unsigned long long>(s.f_bavail) * s.f_frsize;
    return s.f_favail > static_cast<unsigned long>(files) + 1000 &&
           bytes > static_cast<unsigned long long>(files) * 1024ULL;
}

// One folder of `others` files of no counted kind and `pdfs` empty PDFs,
// counted once; status -1 when /dev/shm cannot hold it.
Run WideFolder(const std::string& program, long others, long pdfs) {
    Run none;
    if (!RoomFor(others + pdfs)) {
        std::printf("one wide folder: /dev/shm too small, skipped\n");
        return none;
    }
    const std::string root = "/dev/shm/quillon-bench-wide-" + std::to_string(getpid());
    std::error_code ignored;
    std::filesystem::remove_all(root, ignored);
    bool made = std::filesystem::create_directories(root, ignored);
    for (long i = 0; made && i < others + pdfs; ++i) {
        const std::string name = root + (i < others ? "/page_" + std::to_string(i) + ".jpg" : "/f" + std::to_string(i) + ".pdf");
        const int fd = open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        made = fd >= 0;
        if (made) close(fd);
    }
    if (!made) {
        std::printf("one wide folder: cannot make it on /dev/shm (%s), skipped\n", std::strerror(errno));
        std::filesystem::remove_all(root, ignored);
        return none;
    }
    const Run r = Measure({program, "--pdf", root});
    std::filesystem::remove_all(root, ignored);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    std::string program = QUILLON_COUNT;
    std::vector<long> sizes = {100000, 2000000};
    if (argc >= 2) program = argv[1];
    if (argc >= 4) sizes = {std::atol(argv[2]), std::atol(argv[3])};

    std::vector<Run> runs;
    for (long n : sizes) {
        if (!RoomFor(n)) {
            std::printf("%ld files: /dev/shm too small, skipped\n", n);
            return 0;
        }
        const std::string root = "/dev/shm/quillon-bench-scale-" + std::to_string(getpid());
        std::error_code ignored;
        std::filesystem::remove_all(root, ignored);
        if (!MakeTree(root, n)) {
            std::printf("%ld files: cannot make the tree on /dev/shm (%s), skipped\n", n, std::strerror(errno));
            std::filesystem::remove_all(root, ignored);
            return 0;
        }
        const Run find = Measure({"/usr/bin/find", root, "-name", "*.pdf"});
        const Run count = Measure({program, "--pdf", root});
        std::filesystem::remove_all(root, ignored);
        std::printf(
            "%8ld files: quillon-count %.2f s (%.0f files/s), first row after %.3f s, peak %.1f MB, exit %d; "
            "find %.2f s (ratio %.2f)\n",
            n, count.seconds, static_cast<double>(n) / count.seconds, count.firstRow, count.peakKb / 1024.0,
            count.status, find.seconds, count.seconds / find.seconds);
        std::fflush(stdout);
        runs.push_back(count);
    }
    const double ratio = static_cast<double>(runs[1].peakKb) / static_cast<double>(runs[0].peakKb);
    std::printf("peak memory ratio %ld/%ld files: %.3f (%s 1.2)\n", sizes[1], sizes[0], ratio,
                ratio < 1.2 ? "under" : "NOT under");

    // One wide folder: what a scanner's output folder looks like.
    const long others = sizes[1] / 2;
    const Run wide = WideFolder(program, others, kPerFolder);
    if (wide.status < 0) return ratio < 1.2 ? 0 : 1;
    const double wideRatio = static_cast<double>(wide.peakKb) / static_cast<double>(runs[0].peakKb);
    std::printf("one folder of %ld other files and %ld PDFs: quillon-count %.2f s, peak %.1f MB, exit %d; "
                "peak ratio to %ld files: %.3f (%s 1.2)\n",
                others, kPerFolder, wide.seconds, wide.peakKb / 1024.0, wide.status, sizes[0], wideRatio,
                wideRatio < 1.2 ? "under" : "NOT under");
    return ratio < 1.2 && wideRatio < 1.2 ? 0 : 1;
}
