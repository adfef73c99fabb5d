// Prints each page's size as Quillon reads it, one line a page: the path,
// the page number, and the width and height in points ("unknown" when none
// was read, "pixels W H" for an image without a resolution).  Paths come
// one a line on standard input.  compare_corpus.py holds it against other
// readers.
#include <search/component_loader.h>
#include <search/row_builder.h>

#include <cstdio>
#include <iostream>
#include <string>

int main(int argc, char** argv) {
    search::ComponentLoader loader(argc > 1 ? argv[1] : "");
    const search::RowBuilder builder(loader, true);
    for (std::string path; std::getline(std::cin, path);) {
        const search::RowOutcome o = builder.Build(path);
        if (o.row.pages < 1) {
            std::printf("%s\terror\n", path.c_str());
            continue;
        }
        std::int64_t page = 0;
        for (const auto& run : o.row.pageSizes)
            for (std::int64_t i = 0; i < run.pages; ++i) {
                ++page;
                switch (run.state) {
                case component::PageSizeState::Known:
                    std::printf("%s\t%lld\t%.4f\t%.4f\n", path.c_str(), static_cast<long long>(page), run.width,
                                run.height);
                    break;
                case component::PageSizeState::PixelsOnly:
                    std::printf("%s\t%lld\tpixels\t%.0f\t%.0f\n", path.c_str(), static_cast<long long>(page),
                                run.width, run.height);
                    break;
                case component::PageSizeState::Unknown:
                    std::printf("%s\t%lld\tunknown\n", path.c_str(), static_cast<long long>(page));
                    break;
                }
            }
    }
    return 0;
}
