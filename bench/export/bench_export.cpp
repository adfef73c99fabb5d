// Exporting a million-row result table: caret text, .xls and .xlsx, each
// against a plain fwrite of the same caret text as the baseline.  Prints rows
// per second and the peak memory above the table itself.
//
//   bench_export [rows] [folder]     (defaults: 1000000, the system temp folder)
//
// The baseline's peak includes its whole-text buffer: that is the cost the
// streaming writers avoid.
#include "export/caret_text.h"
#include "export/export_file.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <filesystem>
#include <fstream>
#include <string>

using namespace exporting;
using Clock = std::chrono::steady_clock;

namespace {

// Current resident set size in KiB (from /proc), and the peak so far.
long ResidentKiB() {
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * (sysconf(_SC_PAGESIZE) / 1024);
}

long PeakKiB() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_maxrss;
}

ExportTable MakeTable(std::size_t rows) {
    ExportTable t({"Name", "Path", "Size", "Page Count"});
    t.Reserve(rows, rows * 80);
    char size[16];
    for (std::size_t i = 0; i < rows; ++i) {
        const std::string name = "scan_" + std::to_string(i) + (i % 3 ? ".pdf" : ".tif");
        const std::string path = "/srv/archive/box" + std::to_string(i / 1000) + "/" + name;
        std::snprintf(size, sizeof size, "%7zu KB", (i * 37) % 500000);
        t.BeginRow();
        t.AppendCell(name);
        t.AppendCell(path);
        t.AppendCell(size);
        t.AppendCell(i % 50 ? std::to_string(i % 400 + 1) : "Error");
    }
    return t;
}

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

}  // namespace

int main(int argc, char** argv) {
    const std::size_t rows = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    const std::filesystem::path dir =
        argc > 2 ? std::filesystem::path(argv[2]) : std::filesystem::temp_directory_path();

    const long before = ResidentKiB();
    const ExportTable table = MakeTable(rows);
    const long withTable = ResidentKiB();
    std::printf("table: %zu rows, %.1f MiB held (resident +%.1f MiB)\n", rows, table.MemoryBytes() / 1048576.0,
                (withTable - before) / 1024.0);

    // Each measurement runs in a child process, so the peak resident size
    // it reports belongs to that measurement alone (the child starts with the
    // table already resident).
    auto measure = [&](const char* name, const std::function<void()>& prepare,
                       const std::function<bool(std::string&)>& run) -> double {
        std::fflush(stdout);
        int fds[2];
        if (pipe(fds) != 0) return -1;
        const pid_t pid = fork();
        if (pid == 0) {
            close(fds[0]);
            const long startKiB = ResidentKiB();
            if (prepare) prepare();
            const auto t0 = Clock::now();
            std::string note;
            const bool ok = run(note);
            const double s = Seconds(t0, Clock::now());
            const long growth = std::max(0L, PeakKiB() - startKiB);
            char line[512];
            std::snprintf(line, sizeof line, "%d %.6f %ld %s", ok ? 1 : 0, s, growth, note.c_str());
            if (write(fds[1], line, std::strlen(line)) < 0) _exit(2);
            _exit(0);
        }
        close(fds[1]);
        char buf[512] = {};
        const ssize_t n = read(fds[0], buf, sizeof buf - 1);
        close(fds[0]);
        int wstatus = 0;
        waitpid(pid, &wstatus, 0);
        int ok = 0;
        double s = 0;
        long growth = 0;
        char note[400] = {};
        if (n <= 0 || std::sscanf(buf, "%d %lf %ld %399[^\n]", &ok, &s, &growth, note) < 3 || !ok) {
            std::printf("%-16s FAILED %s\n", name, note);
            return -1;
        }
        std::printf("%-16s %6.2f s  %9.0f rows/s  peak +%7.1f MiB over the table (%.2f x its size)  %s\n", name, s,
                    rows / s, growth / 1024.0, growth * 1024.0 / static_cast<double>(table.MemoryBytes()), note);
        return s;
    };

    int status = 0;
    // Baseline: the caret text's bytes, prepared in one buffer before the
    // clock starts, written by one fwrite and synced like the export files.
    const std::string base = (dir / "quillon-bench-baseline.txt").string();
    std::string all;
    const double baseline = measure("baseline fwrite", [&] { all = CaretText(table); }, [&](std::string& note) {
        std::FILE* f = std::fopen(base.c_str(), "wb");
        const bool ok = f && std::fwrite(all.data(), 1, all.size(), f) == all.size() && std::fflush(f) == 0 &&
                        fsync(fileno(f)) == 0 && std::fclose(f) == 0;
        note = std::to_string(all.size() / 1048576) + " MiB";
        std::remove(base.c_str());
        return ok;
    });
    if (baseline <= 0) return 1;

    struct Case {
        const char* name;
        const char* file;
    } cases[] = {{"caret text", "quillon-bench.txt"}, {"xls", "quillon-bench.xls"}, {"xlsx", "quillon-bench.xlsx"}};
    for (const Case& c : cases) {
        const std::string path = (dir / c.file).string();
        double ratio = 0;
        const double s = measure(c.name, {}, [&](std::string& note) {
            const ExportResult r = WriteExportFile(table, path);
            if (!r) {
                note = r.Message();
                return false;
            }
            note = std::to_string(std::filesystem::file_size(path) / 1048576) + " MiB file";
            std::remove(path.c_str());
            return true;
        });
        if (s <= 0) {
            status = 1;
            continue;
        }
        ratio = s / baseline;
        std::printf("%-16s %.2fx the baseline's time\n", "", ratio);
    }
    return status;
}
