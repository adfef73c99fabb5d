// quillon-count: overlapping inputs are told from the inputs themselves,
// and each file reached through them is counted once.
#include "run_count.h"

#include <gtest/gtest.h>

#include <unistd.h>

using fixtures::TempDir;

TEST(QuillonCountInputs, OverlappingInputsCountEachFileOnce) {
    TempDir dir;
    fixtures::MakeDir(dir / "top/in/deep");
    fixtures::MakeDir(dir / "top/$RECYCLE.BIN");
    fixtures::MakeDir(dir / "other");
    fixtures::WriteTiff(dir / "top/t.tif", 1);
    fixtures::WriteTiff(dir / "top/in/i.tif", 2);
    fixtures::WriteTiff(dir / "top/in/deep/d.tif", 3);
    fixtures::WriteTiff(dir / "top/$RECYCLE.BIN/r.tif", 4);
    fixtures::WriteTiff(dir / "other/o.tif", 5);
    fixtures::WriteFile(dir / "top/p.pdf", fixtures::PdfBytes(6));
    ASSERT_EQ(::symlink("top/in", (dir / "link-in").c_str()), 0);
    ASSERT_EQ(::symlink("top/t.tif", (dir / "link-t.tif").c_str()), 0);
    fixtures::WriteFile(dir / "list", "top/in/deep/d.tif\n./other\nother/o.tif\n");
    const std::string cd = "cd " + Quote(dir.path()) + " && ";
    auto size = [&](const std::string& rel) { return Size(dir / rel); };

    // The inner folder first, then the outer one through a link and by name;
    // a file given before its folder; the folder the walk leaves out; a list.
    const Outcome r = Count({"--tif", "--jobs", "2", "top/in/deep/d.tif", "link-in", "top", "./top/in", "top/p.pdf",
                             "top/$RECYCLE.BIN", "link-t.tif", "--files-from", "list"},
                            {}, cd);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Lines(r.out), (std::vector<std::string>{
                                "top/in/deep/d.tif\tTIF\t" + size("top/in/deep/d.tif") + "\t3",
                                "link-in/i.tif\tTIF\t" + size("top/in/i.tif") + "\t2",
                                "top/t.tif\tTIF\t" + size("top/t.tif") + "\t1",
                                // --tif: the walk of top left the PDF out, so given by name it counts.
                                "top/p.pdf\tPDF\t" + size("top/p.pdf") + "\t6",
                                "top/$RECYCLE.BIN/r.tif\tTIF\t" + size("top/$RECYCLE.BIN/r.tif") + "\t4",
                                // A link to a file is listed apart from its target.
                                "link-t.tif\tTIF\t" + size("top/t.tif") + "\t1",
                                "./other/o.tif\tTIF\t" + size("other/o.tif") + "\t5"}))
        << r.err;
    EXPECT_NE(r.err.find("link-in/deep/d.tif: the same file as top/in/deep/d.tif; counted once\n"), std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("top/in/i.tif: the same file as link-in/i.tif; counted once\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("./top/in/i.tif: the same file as link-in/i.tif; counted once\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("./top/in/deep/d.tif: the same file as top/in/deep/d.tif; counted once\n"),
              std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("other/o.tif: the same file as ./other/o.tif; counted once\n"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Total Files : 7\n"), std::string::npos) << r.err;

    // Without subfolders an inner folder is not reached by the outer one.
    const Outcome flat = Count({"--no-subfolders", "--jobs", "1", "top", "top/in", "./top"}, {}, cd);
    EXPECT_EQ(Lines(flat.out), (std::vector<std::string>{"top/t.tif\tTIF\t" + size("top/t.tif") + "\t1",
                                                         "top/p.pdf\tPDF\t" + size("top/p.pdf") + "\t6",
                                                         "top/in/i.tif\tTIF\t" + size("top/in/i.tif") + "\t2"}))
        << flat.err;
    EXPECT_NE(flat.err.find("./top/t.tif: the same file as top/t.tif; counted once\n"), std::string::npos) << flat.err;
}
