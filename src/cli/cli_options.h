// Command line of quillon-count.
#pragma once

#include <search/calendar_date.h>

#include <optional>
#include <string>
#include <vector>

namespace cli {

enum class Format { Tsv, Caret, Csv, Json, Jsonl };

struct Options {
    std::vector<std::string> paths;
    bool tif = false;
    bool pdf = false;
    bool includeSubfolders = true;
    int dateField = search::kDateNone;
    search::CalendarDate from;
    search::CalendarDate to;
    std::vector<std::string> filesFrom;  // lists of paths, in order; "-" for standard input
    bool nullSeparated = false;           // the lists end each path with NUL, not a line end
    int jobs = 0;
    Format format = Format::Tsv;
    std::optional<bool> progress;  // unset: when standard error is a terminal
    std::optional<std::string> exportFile;
    bool sizes = false;            // each page's size, A4 equivalents, totals by size
    int byFolder = -1;             // depth of the totals by folder; -1: none
    std::string componentDir;      // hidden --component-dir, for tests
    bool help = false;
    bool version = false;
};

// Parses argv; on bad usage returns nothing and sets error.
std::optional<Options> ParseOptions(int argc, char** argv, std::string& error);
std::optional<search::CalendarDate> ParseDate(const std::string& text);
const char* Usage();

}  // namespace cli
