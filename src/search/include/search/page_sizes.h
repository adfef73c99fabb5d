// Page sizes as people bill them: the standard paper size a page is, its A4
// equivalents (how OCR engines and print shops meter large pages), square
// metres, and the totals by size and by folder.
#pragma once

#include <component/page_sizes.h>

#include <cstdint>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace search {

constexpr double kMmPerPoint = 25.4 / 72.0;
constexpr std::string_view kUnknownSize = "unknown size";
constexpr std::string_view kOverA0 = "over A0";

struct NamedSize {
    std::string_view name;
    double shortMm;
    double longMm;
};
// The standard sizes pages are named by: ISO A0-A6, B4, B5, the US sizes
// and ANSI C, D, E.
std::span<const NamedSize> NamedSizes();

// The name of a page of width x height mm: the nearest standard size whose
// two sides both lie within 2% (in either orientation); else "over A0" when
// larger than A0, else "W×H mm" in whole millimetres.
std::string SizeName(double widthMm, double heightMm);

// A4 equivalents of a page: its area over the A4 area, rounded up, at least
// 1; the area is compared with 0.5% to spare, so that an A4 page scanned a
// little large is still one.
std::int64_t A4Equivalents(double widthMm, double heightMm);

// One size of a file: the pages of one name, with the size of the first of them.
struct SizeGroup {
    std::string name;
    double widthMm = 0;  // 0 for "unknown size"
    double heightMm = 0;
    std::int64_t pages = 0;
    std::int64_t a4Equivalents = 0;
    double areaM2 = 0;
};

// A file's pages grouped by size name, in the order the names first come.
// Pages of unknown size (no size read, or pixels without a resolution)
// count one A4 equivalent each and no area.
struct FileSizes {
    std::vector<SizeGroup> groups;
    std::int64_t a4Equivalents = 0;
    double areaM2 = 0;
    std::int64_t unknownPages = 0;
};
FileSizes SummarizeSizes(const std::vector<component::PageSizeRun>& runs);
// "A4:12,A3:2".
std::string SizeSummaryText(const FileSizes& sizes);

// The runs made to hold exactly `pages` pages: runs beyond the count are
// cut, pages the counter gave no size are added as unknown.
void FitRunsToCount(std::vector<component::PageSizeRun>& runs, std::int64_t pages);

// Totals by size name over many files, in the order the names first come.
class SizeTotals {
public:
    struct Line {
        std::string name;
        double widthMm = 0;
        double heightMm = 0;
        std::int64_t files = 0;  // files with at least one page of the size
        std::int64_t pages = 0;
        std::int64_t a4Equivalents = 0;
        double areaM2 = 0;
    };
    void Add(const FileSizes& file);
    const std::vector<Line>& Lines() const { return lines_; }
    std::int64_t a4Equivalents() const { return a4_; }
    double areaM2() const { return area_; }
    std::int64_t unknownPages() const { return unknown_; }

private:
    std::vector<Line> lines_;
    std::map<std::string, std::size_t, std::less<>> index_;
    std::int64_t a4_ = 0;
    double area_ = 0;
    std::int64_t unknown_ = 0;
};

// The folder a file is totalled under: the search folder it lies below (the
// longest of `roots` that holds it) and at most `depth` folders below that.
// A file higher up is totalled under its own folder; a file below no root
// under its own folder as well.  Paths use '/'.
std::string FolderOf(std::string_view path, const std::vector<std::string>& roots, int depth);

// Totals by folder at a chosen depth below the search folders.
class FolderTotals {
public:
    struct Line {
        std::string folder;
        std::int64_t files = 0;
        std::int64_t pages = 0;  // pages of counted files
        std::int64_t a4Equivalents = 0;
        double areaM2 = 0;
    };
    FolderTotals(std::vector<std::string> roots, int depth) : roots_(std::move(roots)), depth_(depth) {}
    // A row: its path, its pages (0 when not counted), its sizes when read.
    void Add(std::string_view path, std::int64_t pages, const FileSizes* sizes);
    // By folder name.
    const std::map<std::string, Line>& Lines() const { return lines_; }

private:
    std::vector<std::string> roots_;
    int depth_;
    std::map<std::string, Line> lines_;
};

}  // namespace search
