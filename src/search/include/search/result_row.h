// One row of the result list, as the row builder makes it, plus the raw
// values the export table and quillon-count need.
#pragma once

#include <component/page_sizes.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace search {

// Kind of a file, from its name's last extension upper-cased and cut to three
// characters: "TIF" (so .tif and .tiff) or "PDF".
enum class FileKind : std::uint8_t { None = 0, Tif = 1, Pdf = 2 };

FileKind KindOfName(std::string_view name);
// "TIF", "PDF" or "" for None.
const char* KindText(FileKind kind);

struct ResultRow {
    std::string key;            // the full path; unique in the list
    std::string name;           // Name column (the row's own text)
    std::string path;           // Path column: the full path
    std::string sizeText;       // Size column: "     12 KB" (at least 10 characters)
    std::string sizeTag;        // Size sort tag: "0000000012" (10 digits or more)
    bool hasPageCount = false;  // false: no Page Count cell (other kind, or the counter failed)
    std::string pageCountText;  // Page Count column: "12" or "Error"
    std::string pageCountTag;   // Page Count sort tag: "000000012" or "Error"
    // Why the page count is "Error" (or why no counter answered), where known;
    // empty for a counted file.
    std::string reason;
    // A note on a count that stands but may leave pages out ("Damaged after
    // page 3"); empty when the count is whole.
    std::string warning;
    int icon = 0;               // small icon: 1 TIFF, 2 PDF, 0 none

    // Raw values.
    std::uint64_t sizeBytes = 0;
    std::int32_t pages = 0;     // the counter's result; below 1 = could not be counted
    FileKind kind = FileKind::None;
    // The pages' sizes in page order, as runs holding exactly `pages` pages;
    // only when the run asked for sizes, and empty for a file not counted.
    std::vector<component::PageSizeRun> pageSizes;
};

// Size in kilobytes: bytes / 1024 rounded to nearest, exact halves to even.
std::uint64_t KilobytesOf(std::uint64_t bytes);
// kb + " KB" left-padded with blanks to 10 characters (wider when kb needs it).
std::string SizeCellText(std::uint64_t kb);
// kb as 10 zero-padded digits (more digits when kb needs them).
std::string SizeCellTag(std::uint64_t kb);
// Page Count text and tag for a counter result (below 1 -> "Error").
std::string PageCountText(std::int32_t pages);
std::string PageCountTag(std::int32_t pages);

// The totals label: "Total Pages" + " TIFs = n" when tif + " PDFs = n" when pdf.
std::string TotalPagesText(bool tif, bool pdf, std::int64_t tifPages, std::int64_t pdfPages);
// The label as reset: "Total Pages" + " TIFs = 000000" / " PDFs = 000000".
std::string TotalPagesResetText(bool tif, bool pdf);

}  // namespace search
