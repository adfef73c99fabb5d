#include "cli_options.h"

#include <charconv>
#include <cstring>

namespace cli {

const char* Usage() {
    return "usage: quillon-count [options] PATH...\n"
           "Counts the pages of TIFF and PDF files.  A PATH that is a folder is searched\n"
           "(subfolders included); a PATH that is a file is counted by its kind.\n"
           "\n"
           "  --tif, --pdf            kinds to search for in folders (default both)\n"
           "  --no-subfolders         search only the given folders themselves\n"
           "  --date modified|created|accessed --from YYYY-MM-DD --to YYYY-MM-DD\n"
           "                          keep files whose date lies in the window (inclusive)\n"
           "  --files-from FILE       more paths, one a line ('-' reads standard input);\n"
           "                          may be given several times\n"
           "  -0, --null              paths in the lists end with NUL (find -print0)\n"
           "  --jobs N                files counted at once (default: two per core)\n"
           "  --format tsv|caret|csv|json|jsonl\n"
           "                          tsv (default): path, kind, size in bytes, pages or Error,\n"
           "                          and on Error lines a fifth column with the reason;\n"
           "                          tab, newline, CR and backslash in paths are written \\t \\n \\r \\\\\n"
           "                          caret: the program's export text; csv: with a header row;\n"
           "                          json: one object with the files, the paths that could\n"
           "                          not be searched and the totals; jsonl: one object a\n"
           "                          line per file, written as each file is counted, then\n"
           "                          one per path that could not be searched (\"skipped\")\n"
           "  --export FILE           also write the list as the program's export\n"
           "                          (caret text, or a workbook for .xls/.xlsx); the list is\n"
           "                          held in memory until it is written, as is caret's\n"
           "  --sizes                 each page's size too: tsv adds two columns after the\n"
           "                          pages (sizes such as A4:12,A3:2, and A4 equivalents:\n"
           "                          each page's area over A4's, rounded up, at least 1);\n"
           "                          json and jsonl add sizes, a4_equivalents, area_m2 and\n"
           "                          the totals by size; totals by size go to standard error\n"
           "  --by-folder N           totals for each folder N levels below the searched\n"
           "                          folders (files, pages, A4 equivalents): tsv writes\n"
           "                          them instead of the file lines, json as \"folders\",\n"
           "                          jsonl as a line per folder at the end\n"
           "  --progress, --no-progress\n"
           "                          progress line on standard error: folders walked, files\n"
           "                          found and counted (default: when a terminal)\n"
           "\n"
           "  -v, --version           print the version and exit\n"
           "\n"
           "tsv and caret write paths with their own bytes.  json, jsonl, csv and the\n"
           "workbooks are UTF-8: a name that is not is written with replacement characters\n"
           "(U+FFFD), and standard error says how many there were.  A csv cell that\n"
           "begins with =, +, -, @, tab or carriage return is written after an apostrophe\n"
           "(') so that a spreadsheet shows it as text and never runs it as a formula.\n"
           "\n"
           "Files are counted as the walk finds them and rows are written in found order\n"
           "while it goes on; memory does not grow with the number of files.\n"
           "A file reached more than once (given twice, or inside two given folders) is\n"
           "counted once, with a note.  Folders and files that cannot be searched are\n"
           "named on standard error with the reason.  Totals go to standard error.\n"
           "Exit status: 0 every file counted, 1 some file gave Error or something could\n"
           "not be searched, 2 bad usage or a given path or list that cannot be read.\n";
}

std::optional<search::CalendarDate> ParseDate(const std::string& text) {
    if (text.size() != 10 || text[4] != '-' || text[7] != '-') return std::nullopt;
    int y = 0, m = 0, d = 0;
    auto num = [&](std::size_t pos, std::size_t len, int& out) {
        const char* b = text.data() + pos;
        auto r = std::from_chars(b, b + len, out);
        return r.ec == std::errc() && r.ptr == b + len;
    };
    if (!num(0, 4, y) || !num(5, 2, m) || !num(8, 2, d)) return std::nullopt;
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12 || d < 1 || d > days[m - 1]) return std::nullopt;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (m == 2 && d == 29 && !leap) return std::nullopt;
    return search::CalendarDate{y, m, d};
}

std::optional<Options> ParseOptions(int argc, char** argv, std::string& error) {
    Options o;
    bool kindGiven = false;
    bool fromGiven = false, toGiven = false;
    bool endOfOptions = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (endOfOptions || a.empty() || a[0] != '-' || a == "-") {
            o.paths.push_back(a);
            continue;
        }
        auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                error = "option " + a + " needs a value";
                return false;
            }
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--") {
            endOfOptions = true;
        } else if (a == "--help" || a == "-h") {
            o.help = true;
        } else if (a == "--version" || a == "-v") {
            o.version = true;
        } else if (a == "--tif") {
            o.tif = true;
            kindGiven = true;
        } else if (a == "--pdf") {
            o.pdf = true;
            kindGiven = true;
        } else if (a == "--no-subfolders") {
            o.includeSubfolders = false;
        } else if (a == "--date") {
            if (!value(v)) return std::nullopt;
            if (v == "modified") o.dateField = search::kDateModified;
            else if (v == "created") o.dateField = search::kDateCreated;
            else if (v == "accessed") o.dateField = search::kDateAccessed;
            else {
                error = "--date takes modified, created or accessed, not '" + v + "'";
                return std::nullopt;
            }
        } else if (a == "--from" || a == "--to") {
            if (!value(v)) return std::nullopt;
            const auto d = ParseDate(v);
            if (!d) {
                error = a + " takes a date written YYYY-MM-DD, not '" + v + "'";
                return std::nullopt;
            }
            (a == "--from" ? o.from : o.to) = *d;
            (a == "--from" ? fromGiven : toGiven) = true;
        } else if (a == "--files-from") {
            if (!value(v)) return std::nullopt;
            o.filesFrom.push_back(v);
        } else if (a == "--null" || a == "-0") {
            o.nullSeparated = true;
        } else if (a == "--jobs") {
            if (!value(v)) return std::nullopt;
            int n = 0;
            auto r = std::from_chars(v.data(), v.data() + v.size(), n);
            if (r.ec != std::errc() || r.ptr != v.data() + v.size() || n < 1 || n > 256) {
                error = "--jobs takes a number from 1 to 256, not '" + v + "'";
                return std::nullopt;
            }
            o.jobs = n;
        } else if (a == "--format") {
            if (!value(v)) return std::nullopt;
            if (v == "tsv") o.format = Format::Tsv;
            else if (v == "caret") o.format = Format::Caret;
            else if (v == "csv") o.format = Format::Csv;
            else if (v == "json") o.format = Format::Json;
            else if (v == "jsonl") o.format = Format::Jsonl;
            else {
                error = "--format takes tsv, caret, csv, json or jsonl, not '" + v + "'";
                return std::nullopt;
            }
        } else if (a == "--sizes") {
            o.sizes = true;
        } else if (a == "--by-folder") {
            if (!value(v)) return std::nullopt;
            int n = 0;
            auto r = std::from_chars(v.data(), v.data() + v.size(), n);
            if (r.ec != std::errc() || r.ptr != v.data() + v.size() || n < 0 || n > 64) {
                error = "--by-folder takes a depth from 0 to 64, not '" + v + "'";
                return std::nullopt;
            }
            o.byFolder = n;
        } else if (a == "--progress") {
            o.progress = true;
        } else if (a == "--no-progress") {
            o.progress = false;
        } else if (a == "--export") {
            if (!value(v)) return std::nullopt;
            o.exportFile = v;
        } else if (a == "--component-dir") {
            if (!value(v)) return std::nullopt;
            o.componentDir = v;
        } else {
            error = "unknown option " + a;
            return std::nullopt;
        }
    }
    if (o.help || o.version) return o;
    if (!kindGiven) o.tif = o.pdf = true;
    if ((fromGiven || toGiven) && o.dateField == search::kDateNone) {
        error = "--from and --to need --date";
        return std::nullopt;
    }
    if (o.dateField != search::kDateNone && !(fromGiven && toGiven)) {
        error = "--date needs both --from and --to";
        return std::nullopt;
    }
    if (o.nullSeparated && o.filesFrom.empty()) {
        error = "--null applies to --files-from lists, and none was given";
        return std::nullopt;
    }
    if (o.paths.empty() && o.filesFrom.empty()) {
        error = "no PATH given";
        return std::nullopt;
    }
    return o;
}

}  // namespace cli
