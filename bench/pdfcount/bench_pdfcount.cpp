// Counts the shared corpus PDFs three ways in one process: the full
// PDF_PageCount, the structural reader (libqpdf) alone and the text route
// alone, and prints files per second, the ratios, which route decided how
// many files, the bytes read per file (by the text route, and by the whole
// counter on the files the stream route decides) and the worst single file
// of the full counter against the structural reader.
//
//   bench_pdfcount [corpus-dir] [rounds]
#include "brastelpeer.h"
#include "structural.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::vector<std::string> CorpusPdfs(const std::string& dir) {
    std::vector<std::string> paths;
    std::ifstream manifest(dir + "/MANIFEST.tsv");
    std::string line;
    std::getline(manifest, line);  // header
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        std::string path, kind;
        std::getline(fields, path, '\t');
        std::getline(fields, kind, '\t');
        if (kind == "PDF") paths.push_back(dir + "/" + path);
    }
    return paths;
}

template <class F>
double Seconds(F&& f) {
    const auto t0 = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

}  // namespace

int main(int argc, char** argv) {
    const std::string dir = argc > 1 ? argv[1] : QUILLON_CORPUS_DIR;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 15;
    if (!std::filesystem::exists(dir + "/MANIFEST.tsv")) {
        std::printf("corpus not found at %s: nothing to measure\n", dir.c_str());
        return 0;
    }
    const auto paths = CorpusPdfs(dir);
    if (paths.empty()) {
        std::printf("no PDF in the corpus manifest: nothing to measure\n");
        return 0;
    }
    brastel::Brastelv1* counter = brastel::NewBrastelv1();
    std::vector<double> full(paths.size()), structural(paths.size()), text(paths.size()), bytes;
    std::vector<bool> handedOver(paths.size(), false);
    std::vector<brastel::Route> routes(paths.size(), brastel::Route::None);
    std::vector<double> streamBytes;
    int textDecided = 0;
    volatile long long sink = 0;
    // Per file, the best of several rounds of each way.  A round is one
    // pass over the whole corpus, so a burst of load elsewhere on the
    // machine spoils one round of a file, not all of them.  Within a file
    // the three ways take turns at going first: the first call after a
    // large file pays for the allocator giving that file's memory back.
    for (std::size_t i = 0; i < paths.size(); ++i) full[i] = structural[i] = text[i] = 1e30;
    for (int r = 0; r < rounds; ++r) {
        for (std::size_t i = 0; i < paths.size(); ++i) {
            std::string path = paths[i];
            for (int turn = 0; turn < 3; ++turn) {
                switch ((turn + r) % 3) {
                case 0:
                    full[i] = std::min(full[i], Seconds([&] {
                        std::int32_t result = 0;
                        counter->PDF_PageCount(path, result);
                        sink = sink + result;
                    }));
                    if (r == 0) {
                        routes[i] = brastel::BrastelPeer::LastRoute(*counter);
                        handedOver[i] = routes[i] != brastel::Route::Text;
                        textDecided += handedOver[i] ? 0 : 1;
                        if (routes[i] == brastel::Route::Stream)
                            streamBytes.push_back(static_cast<double>(brastel::BrastelPeer::BytesRead(*counter)));
                    }
                    break;
                case 1:
                    structural[i] = std::min(structural[i], Seconds([&] {
                        const auto n = brastel::CountStructural(path);
                        sink = sink + (n ? *n : -1);
                    }));
                    break;
                default:
                    text[i] = std::min(text[i], Seconds([&] {
                        sink = sink + brastel::BrastelPeer::CountTextOnly(*counter, path);
                    }));
                    if (r == 0) bytes.push_back(static_cast<double>(brastel::BrastelPeer::BytesRead(*counter)));
                    break;
                }
            }
        }
    }
    counter->Release();

    double sumFull = 0, sumStructural = 0, sumText = 0, worst = 0;
    std::size_t worstAt = 0;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        sumFull += full[i];
        sumStructural += structural[i];
        sumText += text[i];
        if (full[i] / structural[i] > worst) {
            worst = full[i] / structural[i];
            worstAt = i;
        }
    }
    const double n = static_cast<double>(paths.size());
    std::printf("corpus: %zu PDF files, best of %d passes per file\n", paths.size(), rounds);
    std::printf("text route decides %d of %zu files\n", textDecided, paths.size());
    std::map<brastel::Route, int> byRoute;
    std::map<brastel::Route, double> timeByRoute;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        byRoute[routes[i]]++;
        timeByRoute[routes[i]] += full[i];
    }
    const std::pair<brastel::Route, const char*> names[] = {
        {brastel::Route::Text, "text route"},      {brastel::Route::Table, "table route"},
        {brastel::Route::Stream, "stream route"},  {brastel::Route::Structural, "libqpdf"},
        {brastel::Route::ObjectScan, "object scan"}, {brastel::Route::None, "nobody"}};
    std::printf("%-28s %8s %14s\n", "decided by", "files", "ms total");
    for (const auto& [route, name] : names)
        std::printf("%-28s %8d %14.2f\n", name, byRoute[route], timeByRoute[route] * 1e3);
    std::printf("%-28s %12s %14s\n", "way", "files/s", "ms total");
    std::printf("%-28s %12.0f %14.2f\n", "full PDF_PageCount", n / sumFull, sumFull * 1e3);
    std::printf("%-28s %12.0f %14.2f\n", "structural reader alone", n / sumStructural, sumStructural * 1e3);
    std::printf("%-28s %12.0f %14.2f\n", "text route alone", n / sumText, sumText * 1e3);
    std::printf("ratio full vs structural: %.2fx faster\n", sumStructural / sumFull);
    std::printf("ratio text route vs structural: %.2fx faster\n", sumStructural / sumText);
    // What the full counter adds on a file it hands over: the text route's
    // own time against the structural reader's (timing noise aside).
    std::vector<double> overhead;
    for (std::size_t i = 0; i < paths.size(); ++i)
        if (handedOver[i]) overhead.push_back(text[i] / structural[i]);
    std::printf("text route time on the %zu files it hands over, against the structural reader: "
                "median %.1f%%, max %.1f%%\n",
                overhead.size(), 100 * Percentile(overhead, 0.5), 100 * Percentile(overhead, 1.0));
    if (std::getenv("BENCH_PER_FILE"))
        for (std::size_t i = 0; i < paths.size(); ++i)
            std::printf("%8.1f us full %8.1f us structural %6.1f us text  %.3f  route %d  %s\n", full[i] * 1e6,
                        structural[i] * 1e6, text[i] * 1e6, full[i] / structural[i], static_cast<int>(routes[i]),
                        std::filesystem::path(paths[i]).filename().c_str());
    std::printf("worst single file, full / structural time: %.3f (%s)\n", worst,
                std::filesystem::path(paths[worstAt]).filename().c_str());
    std::printf("bytes read by the text route per file: median %.0f, 90th percentile %.0f, max %.0f\n",
                Percentile(bytes, 0.5), Percentile(bytes, 0.9), Percentile(bytes, 1.0));
    std::printf("bytes read per file the stream route decides (%zu files, all routes tried): median %.0f, "
                "90th percentile %.0f, max %.0f\n",
                streamBytes.size(), Percentile(streamBytes, 0.5), Percentile(streamBytes, 0.9),
                Percentile(streamBytes, 1.0));
    return 0;
}
