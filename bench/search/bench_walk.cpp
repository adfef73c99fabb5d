// The folder walker against find(1) with the same name filter, over a
// generated tree of more than 100,000 entries.
#include "bench_tree.h"

#include <search/walker.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace {

struct CountOnly : search::WalkControl {
    std::int64_t found = 0;
    bool StopRequested() override { return false; }
    bool IncludeSubfolders() override { return true; }
    int DateField() override { return search::kDateNone; }
    search::CalendarDate From() override { return {}; }
    search::CalendarDate To() override { return {}; }
    void Accepted(std::string) override { ++found; }
    void FileExamined(std::int64_t) override {}
    void EnteringFolder(const std::string&) override {}
    void Unsearched(const std::string&, bool, int) override {}  // the bench tree is all readable
    void Undated(const std::string&) override {}
};

}  // namespace

int main() {
    bench::TempTree tree;
    const int folders = 1000, perFolder = 100;  // 1,000 folders, 100,000 files
    std::int64_t matching = 0;
    for (int d = 0; d < folders; ++d) {
        const std::string dir = tree.path + "/g" + std::to_string(d % 10) + "/f" + std::to_string(d);
        std::filesystem::create_directories(dir);
        for (int i = 0; i < perFolder; ++i) {
            static const char* ext[] = {".tif", ".pdf", ".txt", ".TIFF", ".doc"};
            const char* e = ext[i % 5];
            const std::string name = dir + "/file" + std::to_string(i) + e;
            const int fd = open(name.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
            if (fd >= 0) close(fd);
            if (i % 5 == 0 || i % 5 == 1 || i % 5 == 3) ++matching;
        }
    }
    const std::int64_t entries = folders + 10 + static_cast<std::int64_t>(folders) * perFolder;

    const auto patterns = search::BuildPatterns(true, true);
    std::int64_t found = 0;
    auto walk = [&] {
        CountOnly c;
        search::TotalFiles(tree.path, patterns, c);
        found = c.found;
    };
    const std::string find = "find '" + tree.path +
                             "' -type f \\( -iname '*.tif*' -o -iname '*.pdf*' \\) > /dev/null";
    // The plainest form, case-sensitive (it misses .TIFF, so it does less).
    const std::string plain = "find '" + tree.path + "' -name '*.tif' -o -name '*.pdf' > /dev/null";
    walk();  // warm the cache for all
    bench::Shell(find);
    const int reps = 5;
    const double tWalk = bench::Best(reps, walk);
    const double tFind = bench::Best(reps, [&] { bench::Shell(find); });
    const double tPlain = bench::Best(reps, [&] { bench::Shell(plain); });

    std::printf("tree: %lld entries, %lld matching files; walker found %lld\n", static_cast<long long>(entries),
                static_cast<long long>(matching), static_cast<long long>(found));
    std::printf("walker  %.1f ms (best of %d)\n", tWalk * 1e3, reps);
    std::printf("find    %.1f ms (best of %d): %s\n", tFind * 1e3, reps, find.c_str());
    std::printf("find    %.1f ms (best of %d): %s\n", tPlain * 1e3, reps, plain.c_str());
    const double ratio = tWalk / tFind;
    const double ratioPlain = tWalk / tPlain;
    std::printf("ratio walker/find (same filter)   = %.2f (target <= 1.5) %s\n", ratio, ratio <= 1.5 ? "OK" : "OVER");
    std::printf("ratio walker/find (-name, plain)  = %.2f (target <= 1.5) %s\n", ratioPlain,
                ratioPlain <= 1.5 ? "OK" : "OVER");
    return found == matching ? 0 : 1;
}
