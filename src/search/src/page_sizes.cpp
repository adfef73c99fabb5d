#include <search/page_sizes.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace search {

namespace {

constexpr std::array<NamedSize, 15> kNamed{{
    {"A0", 841, 1189},
    {"A1", 594, 841},
    {"A2", 420, 594},
    {"A3", 297, 420},
    {"A4", 210, 297},
    {"A5", 148, 210},
    {"A6", 105, 148},
    {"B4", 250, 353},
    {"B5", 176, 250},
    {"Letter", 215.9, 279.4},
    {"Legal", 215.9, 355.6},
    {"Tabloid/Ledger", 279.4, 431.8},
    {"ANSI C", 431.8, 558.8},
    {"ANSI D", 558.8, 863.6},
    {"ANSI E", 863.6, 1117.6},
}};

constexpr double kSideTolerance = 0.02;
constexpr double kAreaTolerance = 0.005;
constexpr double kA4Area = 210.0 * 297.0;
constexpr double kA0Area = 841.0 * 1189.0;
// A side longer than this is no page but a damaged box.
constexpr double kLongestSideMm = 15000;

double Deviation(double got, double want) { return std::fabs(got - want) / want; }

bool Known(const component::PageSizeRun& run) {
    return run.state == component::PageSizeState::Known && run.width > 0 && run.height > 0 &&
           run.width * kMmPerPoint <= kLongestSideMm && run.height * kMmPerPoint <= kLongestSideMm;
}

}  // namespace

std::span<const NamedSize> NamedSizes() { return kNamed; }

std::string SizeName(double widthMm, double heightMm) {
    const double s = std::min(widthMm, heightMm);
    const double l = std::max(widthMm, heightMm);
    const NamedSize* best = nullptr;
    double bestDeviation = 0;
    for (const NamedSize& n : kNamed) {
        const double d = std::max(Deviation(s, n.shortMm), Deviation(l, n.longMm));
        if (d <= kSideTolerance && (!best || d < bestDeviation)) {
            best = &n;
            bestDeviation = d;
        }
    }
    if (best) return std::string(best->name);
    if (s * l > kA0Area) return std::string(kOverA0);
    char text[64];
    std::snprintf(text, sizeof text, "%.0f\u00d7%.0f mm", widthMm, heightMm);
    return text;
}

std::int64_t A4Equivalents(double widthMm, double heightMm) {
    const double ratio = widthMm * heightMm / kA4Area / (1 + kAreaTolerance);
    if (!(ratio > 1)) return 1;
    // Pages of absurd size were named unknown before they come here; the
    // cap only keeps the conversion defined.
    return static_cast<std::int64_t>(std::ceil(std::min(ratio, 1e12)));
}

FileSizes SummarizeSizes(const std::vector<component::PageSizeRun>& runs) {
    FileSizes out;
    for (const auto& run : runs) {
        if (run.pages <= 0) continue;
        const bool known = Known(run);
        const double w = known ? run.width * kMmPerPoint : 0;
        const double h = known ? run.height * kMmPerPoint : 0;
        const std::string name = known ? SizeName(w, h) : std::string(kUnknownSize);
        const std::int64_t a4 = (known ? A4Equivalents(w, h) : 1) * run.pages;
        const double area = w * h / 1e6 * static_cast<double>(run.pages);
        auto it = std::find_if(out.groups.begin(), out.groups.end(), [&](const SizeGroup& g) { return g.name == name; });
        if (it == out.groups.end()) {
            out.groups.push_back(SizeGroup{name, w, h, 0, 0, 0});
            it = out.groups.end() - 1;
        }
        it->pages += run.pages;
        it->a4Equivalents += a4;
        it->areaM2 += area;
        out.a4Equivalents += a4;
        out.areaM2 += area;
        if (!known) out.unknownPages += run.pages;
    }
    return out;
}

std::string SizeSummaryText(const FileSizes& sizes) {
    std::string out;
    for (const auto& g : sizes.groups) {
        if (!out.empty()) out += ',';
        out += g.name + ':' + std::to_string(g.pages);
    }
    return out;
}

void FitRunsToCount(std::vector<component::PageSizeRun>& runs, std::int64_t pages) {
    std::int64_t total = 0;
    std::size_t keep = 0;
    for (; keep < runs.size() && total < pages; ++keep) {
        runs[keep].pages = std::min(std::max<std::int64_t>(runs[keep].pages, 0), pages - total);
        total += runs[keep].pages;
    }
    runs.resize(keep);
    if (total < pages) component::AddPageRun(runs, 0, 0, component::PageSizeState::Unknown, pages - total);
}

void SizeTotals::Add(const FileSizes& file) {
    for (const auto& g : file.groups) {
        auto [it, added] = index_.try_emplace(g.name, lines_.size());
        if (added) lines_.push_back(Line{g.name, g.widthMm, g.heightMm, 0, 0, 0, 0});
        Line& line = lines_[it->second];
        ++line.files;
        line.pages += g.pages;
        line.a4Equivalents += g.a4Equivalents;
        line.areaM2 += g.areaM2;
    }
    a4_ += file.a4Equivalents;
    area_ += file.areaM2;
    unknown_ += file.unknownPages;
}

std::string FolderOf(std::string_view path, const std::vector<std::string>& roots, int depth) {
    const auto slash = path.rfind('/');
    const std::string_view own = slash == std::string_view::npos ? std::string_view(".")
                                 : slash == 0                    ? std::string_view("/")
                                                                 : path.substr(0, slash);
    std::string_view root;
    for (const auto& r0 : roots) {
        std::string_view r = r0;
        while (r.size() > 1 && r.back() == '/') r.remove_suffix(1);
        const bool holds = r == "/" ? path.size() > 1 && path[0] == '/'
                                    : path.size() > r.size() && path.substr(0, r.size()) == r && path[r.size()] == '/';
        if (holds && r.size() > root.size()) root = r;
    }
    if (root.empty()) return std::string(own);
    // Step down at most `depth` folders below the root, never into the file's name.
    std::size_t end = root == "/" ? 0 : root.size();
    for (int i = 0; i < depth; ++i) {
        const auto next = path.find('/', end + 1);
        if (next == std::string_view::npos || next > own.size()) break;
        end = next;
    }
    if (end == 0) return "/";
    return std::string(path.substr(0, end));
}

void FolderTotals::Add(std::string_view path, std::int64_t pages, const FileSizes* sizes) {
    std::string folder = FolderOf(path, roots_, depth_);
    Line& line = lines_[folder];
    if (line.folder.empty()) line.folder = std::move(folder);
    ++line.files;
    line.pages += std::max<std::int64_t>(pages, 0);
    if (sizes) {
        line.a4Equivalents += sizes->a4Equivalents;
        line.areaM2 += sizes->areaM2;
    }
}

}  // namespace search
