// quillon-count with any file name and in pipelines: names that are not
// UTF-8 in each format, csv cells a spreadsheet would run as formulas, and
// jsonl read line by line while the count goes on.
#include "fixtures.h"
#include "run_count.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>

using fixtures::TempDir;

namespace {

bool Contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Python's strict reader: 0 when `text` is UTF-8 and JSON (one document, or
// one per line).
int JsonCheck(const std::string& text, bool perLine) {
    TempDir dir;
    fixtures::WriteFile(dir / "out", text);
    const std::string code = perLine ? "import json,sys\nfor l in open(sys.argv[1], encoding='utf-8'): json.loads(l)"
                                     : "import json,sys\njson.load(open(sys.argv[1], encoding='utf-8'))";
    return std::system(("python3 -c " + Quote(code) + " " + Quote(dir / "out")).c_str());
}

const std::string kReplacement = "\xEF\xBF\xBD";

}  // namespace

TEST(QuillonCountNames, BytesKeptInTsvAndCaretReplacedInJsonAndCsv) {
    TempDir dir;
    const std::string latin1 = dir / "caf\xE9.pdf";
    fixtures::WriteFile(latin1, fixtures::PdfBytes(2));
    fixtures::WriteFile(dir / "ok.pdf", fixtures::PdfBytes(1));

    const Outcome tsv = Count({"--pdf", dir.path()});
    EXPECT_EQ(tsv.status, 0) << tsv.err;
    EXPECT_TRUE(Contains(tsv.out, latin1 + "\tPDF\t")) << tsv.out;
    EXPECT_FALSE(Contains(tsv.err, "UTF-8")) << "tsv keeps the bytes: nothing to report";
    const Outcome caret = Count({"--pdf", "--format", "caret", dir.path()});
    EXPECT_TRUE(Contains(caret.out, "caf\xE9.pdf^" + latin1 + "^")) << caret.out;

    for (const char* format : {"json", "jsonl", "csv"}) {
        SCOPED_TRACE(format);
        const Outcome r = Count({"--pdf", "--format", format, dir.path()});
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Contains(r.out, dir / "caf" + kReplacement + ".pdf")) << r.out;
        EXPECT_FALSE(Contains(r.out, "\xE9"));
        EXPECT_TRUE(Contains(r.err, "1 name is not valid UTF-8")) << r.err;
        if (std::string(format) != "csv") {
            EXPECT_EQ(JsonCheck(r.out, std::string(format) == "jsonl"), 0) << r.out;
        }
    }
    // A workbook export replaces them too, and says so.
    const Outcome book = Count({"--pdf", "--export", dir / "list.xlsx", dir.path()});
    EXPECT_TRUE(Contains(book.err, "1 name is not valid UTF-8")) << book.err;
}

TEST(QuillonCountNames, CsvCellsThatWouldBeFormulasAreText) {
    TempDir dir;
    const std::vector<std::string> names = {"=cmd|'calc'!A0.pdf", "+1.pdf", "-2.pdf", "@SUM(1).pdf", "plain.pdf"};
    for (const auto& n : names) fixtures::WriteFile(dir / n, fixtures::PdfBytes(1));
    // Given by relative paths, the names begin the cells.
    std::vector<std::string> args = {"--format", "csv", "--"};
    args.insert(args.end(), names.begin(), names.end());
    const Outcome r = Count(args, {}, "cd " + Quote(dir.path()) + " && ");
    ASSERT_EQ(r.status, 0) << r.err;
    const auto lines = Lines(r.out);
    ASSERT_EQ(lines.size(), names.size() + 1);
    EXPECT_EQ(lines[1].rfind("'=cmd|'calc'!A0.pdf,PDF,", 0), 0u) << lines[1];
    EXPECT_EQ(lines[2].rfind("'+1.pdf,PDF,", 0), 0u) << lines[2];
    EXPECT_EQ(lines[3].rfind("'-2.pdf,PDF,", 0), 0u) << lines[3];
    EXPECT_EQ(lines[4].rfind("'@SUM(1).pdf,PDF,", 0), 0u) << lines[4];
    EXPECT_EQ(lines[5].rfind("plain.pdf,PDF,", 0), 0u) << lines[5];
    // tsv is no spreadsheet format: the names stay as they are.
    const Outcome tsv = Count({"--", "+1.pdf"}, {}, "cd " + Quote(dir.path()) + " && ");
    EXPECT_EQ(tsv.out.rfind("+1.pdf\t", 0), 0u) << tsv.out;
}

TEST(QuillonCountNames, JsonlLinesArriveWhileTheCountGoesOn) {
    // The stand-in TIFF counter takes as long as each file says: the first
    // file counts at once, the second after three seconds.
    TempDir dir;
    fixtures::WriteFile(dir / "a.tif", "pages 1 delay 0");
    fixtures::WriteFile(dir / "b.tif", "pages 2 delay 3000");
    const std::string cmd = Quote(QUILLON_COUNT) + " --format jsonl --jobs 1 --tif --no-progress --component-dir " +
                            Quote(SLOW_COUNTER_DIR) + " " + Quote(dir.path()) + " 2>/dev/null";
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    FILE* pipe = popen(cmd.c_str(), "r");
    ASSERT_TRUE(pipe);
    char line[4096];
    ASSERT_TRUE(std::fgets(line, sizeof line, pipe));
    const auto first = Clock::now() - start;
    std::string rest;
    while (std::fgets(line + 0, sizeof line, pipe)) rest += line;
    const auto all = Clock::now() - start;
    pclose(pipe);
    EXPECT_LT(first, all - std::chrono::milliseconds(1500)) << "the first line waited for the last file";
    EXPECT_TRUE(Contains(rest, "\"pages\":2")) << rest;
}

TEST(QuillonCountNames, VersionOnStandardOutput) {
    const Outcome r = Count({"--version"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "quillon-count " QUILLON_VERSION "\n");
}
