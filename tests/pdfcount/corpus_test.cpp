// Every PDF of the shared reference corpus against its manifest: the count
// where readers agree, no count where none of them found one.  Skipped when
// the corpus is not there.  Prints how often each reader decided.
#include "testsupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <vector>

namespace brastel::test {
namespace {

TEST(Corpus, EveryPdfAgreesWithTheManifest) {
    const std::string dir = QUILLON_CORPUS_DIR;
    std::ifstream manifest(dir + "/MANIFEST.tsv");
    if (!manifest) GTEST_SKIP() << "no corpus at " << dir;
    std::string line;
    std::getline(manifest, line);
    Counter counter;
    std::map<Route, int> decided;
    std::vector<std::string> handedOver;
    int files = 0;
    while (std::getline(manifest, line)) {
        std::istringstream fields(line);
        std::string path, kind, pages;
        std::getline(fields, path, '\t');
        std::getline(fields, kind, '\t');
        std::getline(fields, pages, '\t');
        if (kind != "PDF") continue;
        ++files;
        const std::int32_t got = counter.Count(dir + "/" + path);
        decided[counter.LastRoute()]++;
        if (std::getenv("CORPUS_ROUTES"))
            std::printf("%d %s %d\n", static_cast<int>(counter.LastRoute()), path.c_str(), got);
        if (counter.LastRoute() > Route::Stream) handedOver.push_back(path + " (" + pages + ")");
        if (pages == "Error")
            EXPECT_LT(got, 1) << path << ": a count where readers found none";
        else
            EXPECT_EQ(std::to_string(got), pages) << path;
    }
    EXPECT_GT(files, 0);
    std::printf("corpus: %d PDF files; decided by the text route %d, the table route %d, the stream route %d, "
                "libqpdf %d, the object scan %d, libqpdf's reconstruction %d, nobody %d\n",
                files, decided[Route::Text], decided[Route::Table], decided[Route::Stream],
                decided[Route::Structural], decided[Route::ObjectScan], decided[Route::Reconstruction],
                decided[Route::None]);
    for (const std::string& file : handedOver)
        std::printf("  past the text, table and stream routes: %s\n", file.c_str());
}

}  // namespace
}  // namespace brastel::test
