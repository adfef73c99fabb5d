// quillon-count --sizes and --by-folder: the size columns and keys, the
// totals by size and by folder, and today's output when neither is given.
#include "fixtures.h"
#include "run_count.h"

#include <gtest/gtest.h>

using fixtures::TempDir;

namespace {

// A PDF of A4 and A3 pages: its media boxes in points.
std::string A4AndA3(int a4, int a3) {
    std::string bytes = fixtures::PdfBytes(a4 + a3);
    // PdfBytes writes Letter pages; the first a4 become A4, the rest A3.
    std::string out;
    std::size_t from = 0;
    for (int i = 0; i < a4 + a3; ++i) {
        const auto at = bytes.find("/MediaBox [0 0 612 792]", from);
        out += bytes.substr(from, at - from);
        out += i < a4 ? "/MediaBox [0 0 595 842]" : "/MediaBox[0 0 842 1191]";
        from = at + 23;
    }
    return out + bytes.substr(from);
}

}  // namespace

TEST(QuillonCountSizes, TsvAddsTwoColumnsBeforeTheReason) {
    TempDir dir;
    // Same-length replacements keep the table's offsets right.
    fixtures::WriteFile(dir / "mixed.pdf", A4AndA3(12, 2));
    fixtures::WriteFile(dir / "letter.pdf", fixtures::PdfBytes(3));
    fixtures::WriteTiff(dir / "scan.tif", 2);  // no resolution: unknown size
    fixtures::WriteFile(dir / "bad.tif", "not a tiff");
    const Outcome r = Count({"--jobs", "1", "--sizes", dir / "mixed.pdf", dir / "letter.pdf", dir / "scan.tif",
                             dir / "bad.tif"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_EQ(Lines(r.out),
              (std::vector<std::string>{
                  dir / "mixed.pdf" + "\tPDF\t" + Size(dir / "mixed.pdf") + "\t14\tA4:12,A3:2\t16",
                  dir / "letter.pdf" + "\tPDF\t" + Size(dir / "letter.pdf") + "\t3\tLetter:3\t3",
                  dir / "scan.tif" + "\tTIF\t" + Size(dir / "scan.tif") + "\t2\tunknown size:2\t2",
                  dir / "bad.tif" + "\tTIF\t10\tError\t\t\tNot a TIFF file"}));
    EXPECT_NE(r.err.find("Size A4 : 12 pages in 1 files, 12 A4 equivalents"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("A4 equivalents : 21\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Pages of unknown size : 2\n"), std::string::npos) << r.err;

    // Without --sizes: four columns, as ever, and no size totals.
    const Outcome plain = Count({"--jobs", "1", dir / "mixed.pdf", dir / "bad.tif"});
    EXPECT_EQ(Lines(plain.out),
              (std::vector<std::string>{dir / "mixed.pdf" + "\tPDF\t" + Size(dir / "mixed.pdf") + "\t14",
                                        dir / "bad.tif" + "\tTIF\t10\tError\tNot a TIFF file"}));
    EXPECT_EQ(plain.err.find("A4 equivalents"), std::string::npos);
}

TEST(QuillonCountSizes, JsonCarriesSizesA4EquivalentsAreaAndTotals) {
    TempDir dir;
    fixtures::WriteFile(dir / "mixed.pdf", A4AndA3(1, 1));
    const Outcome json = Count({"--sizes", "--format", "json", dir / "mixed.pdf"});
    EXPECT_EQ(json.status, 0) << json.err;
    EXPECT_NE(json.out.find("\"pages\":2,\"sizes\":[{\"name\":\"A4\",\"width_mm\":209.903,\"height_mm\":297.039,"
                            "\"pages\":1},{\"name\":\"A3\",\"width_mm\":297.039,\"height_mm\":420.158,\"pages\":1}],"
                            "\"a4_equivalents\":3,\"area_m2\":0.187,\"unknown_size_pages\":0}"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"undated\":0,\"sizes\":[{\"name\":\"A4\""), std::string::npos) << json.out;
    EXPECT_NE(json.out.find("\"a4_equivalents\":2,\"area_m2\":0.125}],\"a4_equivalents\":3"), std::string::npos)
        << json.out;
    const Outcome jsonl = Count({"--sizes", "--format", "jsonl", dir / "mixed.pdf"});
    const auto lines = Lines(jsonl.out);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].rfind("{\"totals\":{\"sizes\":[", 0), 0u) << lines[1];

    const Outcome plain = Count({"--format", "json", dir / "mixed.pdf"});
    EXPECT_EQ(plain.out.find("sizes"), std::string::npos);
    EXPECT_NE(plain.out.find("\"undated\":0}}\n"), std::string::npos) << plain.out;
}

TEST(QuillonCountSizes, TotalsByFolderAtADepth) {
    TempDir dir;
    fixtures::MakeDir(dir / "clientA");
    fixtures::MakeDir(dir / "clientA/2024");
    fixtures::MakeDir(dir / "clientB");
    fixtures::WriteFile(dir / "clientA/2024/a.pdf", A4AndA3(0, 3));
    fixtures::WriteFile(dir / "clientA/b.pdf", A4AndA3(2, 0));
    fixtures::WriteFile(dir / "clientB/c.pdf", fixtures::PdfBytes(4));
    fixtures::WriteFile(dir / "top.pdf", fixtures::PdfBytes(1));
    const Outcome r = Count({"--by-folder", "1", dir.path()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{dir.path() + "\t1\t1\t1\t0.06",
                                                      dir / "clientA" + "\t2\t5\t8\t0.499",
                                                      dir / "clientB" + "\t1\t4\t4\t0.241"}));
    const Outcome deeper = Count({"--by-folder", "2", "--format", "json", dir.path()});
    EXPECT_NE(deeper.out.find("{\"folder\":\"" + dir / "clientA/2024" + "\",\"files\":1,\"pages\":3,"
                              "\"a4_equivalents\":6"),
              std::string::npos)
        << deeper.out;
    EXPECT_EQ(Count({"--by-folder", "x", dir.path()}).status, 2);
}
