// Generated trees for the search benchmarks, in a temporary folder.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/wait.h>

namespace bench {

// QUILLON_BENCH_KEEP=DIR builds the tree in DIR and leaves it there, so that
// a profiler can be run over the same files afterwards.
struct TempTree {
    std::string path;
    bool keep = false;
    TempTree() {
        if (const char* dir = std::getenv("QUILLON_BENCH_KEEP"); dir && *dir) {
            path = dir;
            keep = true;
            std::filesystem::create_directories(path);
            return;
        }
        std::string tmpl = (std::filesystem::temp_directory_path() / "quillon-bench-XXXXXX").string();
        if (!mkdtemp(tmpl.data())) std::abort();
        path = tmpl;
    }
    ~TempTree() {
        if (keep) return;
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
};

inline double Seconds(const std::function<void()>& f) {
    const auto t0 = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Best of `reps` runs: the machine's noise only ever adds time.
inline double Best(int reps, const std::function<void()>& f) {
    double best = 1e300;
    for (int i = 0; i < reps; ++i) best = std::min(best, Seconds(f));
    return best;
}

inline int Shell(const std::string& cmd) {
    const int raw = std::system(cmd.c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

}  // namespace bench
