// Result formats of quillon-count, written row by row as counts arrive.
#pragma once

#include "cli_options.h"

#include <search/page_sizes.h>
#include <search/result_row.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace cli {

struct Totals {
    std::int64_t files = 0;
    std::int64_t errors = 0;
    std::int64_t tifPages = 0;
    std::int64_t pdfPages = 0;
    std::int64_t undated = 0;  // candidate files without the chosen date
};

// A folder or file that could not be searched, with the system's reason.
struct SkippedPath {
    std::string path;
    bool folder = false;
    std::string reason;
};

std::string EscapeTsv(const std::string& text);
std::string QuoteCsv(const std::string& text);
// A csv cell: valid UTF-8, quoted where needed, and after an apostrophe
// when it begins with a character that makes a spreadsheet formula.
std::string CsvCell(const std::string& text);
// A JSON string of `text` made valid UTF-8.
std::string QuoteJson(const std::string& text);

// The Page Count text of a row: the count, or "Error" (also when no counter answered).
std::string PagesField(const search::ResultRow& row);
bool Counted(const search::ResultRow& row);

// A number of square metres or millimetres as written: at most three
// decimals, no trailing zeros.
std::string Decimal(double value);

class Writer {
public:
    // sizes: rows carry their sizes; folders: totals by folder are written
    // (in tsv instead of the file lines).
    Writer(Format format, std::FILE* out, bool sizes = false, bool folders = false)
        : format_(format), out_(out), sizes_(sizes), folders_(folders) {}
    void Begin();
    // `sizes`: the row's sizes summed up, when sizes were asked for.
    void Row(const search::ResultRow& row, const search::FileSizes* sizes = nullptr);
    void End(const Totals& totals, const std::vector<SkippedPath>& skipped,
             const search::SizeTotals* sizes = nullptr, const search::FolderTotals* folders = nullptr);

private:
    Format format_;
    std::FILE* out_;
    bool sizes_ = false;
    bool folders_ = false;
    bool first_ = true;
};

}  // namespace cli
