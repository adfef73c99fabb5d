// Result formats of quillon-count, written row by row as counts arrive.
#pragma once

#include "cli_options.h"

#include <search/result_row.h>

#include <cstdint>
#include <cstdio>
#include <string>

namespace cli {

struct Totals {
    std::int64_t files = 0;
    std::int64_t errors = 0;
    std::int64_t tifPages = 0;
    std::int64_t pdfPages = 0;
};

std::string EscapeTsv(const std::string& text);
std::string QuoteCsv(const std::string& text);
std::string QuoteJson(const std::string& text);

// The Page Count text of a row: the count, or "Error" (also when no counter answered).
std::string PagesField(const search::ResultRow& row);

class Writer {
public:
    Writer(Format format, std::FILE* out) : format_(format), out_(out) {}
    void Begin();
    void Row(const search::ResultRow& row);
    void End(const Totals& totals);

private:
    Format format_;
    std::FILE* out_;
    bool first_ = true;
};

}  // namespace cli
