// The TIFF page counter, directly and through its component surface.
#include "fixtures.h"
#include "tiff_count.h"

#include <search/component_loader.h>
#include <component/count_reason.h>
#include <component/counted_file.h>
#include <component/count_warning.h>
#include <tifcount/tiffpagecounter.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <fcntl.h>
#include <future>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using fixtures::TempDir;
using tifcount::CountTiffPages;

TEST(TiffCount, CountsTopLevelImagesOnly) {
    TempDir dir;
    fixtures::WriteTiff(dir / "one.tif", 1);
    fixtures::WriteTiff(dir / "twelve.tif", 12);
    fixtures::WriteTiff(dir / "sub.tif", 3, {.subIfd = true});
    fixtures::WriteTiff(dir / "exif.tif", 2, {.exif = true});
    fixtures::WriteTiff(dir / "big.tif", 5, {.bigTiff = true});
    EXPECT_EQ(CountTiffPages((dir / "one.tif").c_str()), 1);
    EXPECT_EQ(CountTiffPages((dir / "twelve.tif").c_str()), 12);
    EXPECT_EQ(CountTiffPages((dir / "sub.tif").c_str()), 3);   // the sub-image is not a page
    EXPECT_EQ(CountTiffPages((dir / "exif.tif").c_str()), 2);  // nor the EXIF block
    EXPECT_EQ(CountTiffPages((dir / "big.tif").c_str()), 5);
}

TEST(TiffCount, ChainsEndingInDamageCountTheDirectoriesBefore) {
    // libtiff reads the whole directories before the damage; the count is
    // theirs, and the warning says the file is damaged after them.
    TempDir dir;
    const std::string nowhere = dir / "nowhere.tif";
    fixtures::WriteTiff(nowhere, 3);
    fixtures::SetLastNextOffset(nowhere, 0x7FFFFFF0u);  // next directory beyond the end
    const std::string middle = dir / "middle.tif";
    fixtures::WriteTiff(middle, 3);
    fixtures::SetLastNextOffset(middle, fixtures::FirstIfdOffset(middle) + 7);  // into a directory's entries
    const std::string loop = dir / "loop.tif";  // terminates, below
    fixtures::WriteTiff(loop, 3);
    fixtures::SetLastNextOffset(loop, fixtures::FirstIfdOffset(loop));  // chain back to the first
    const std::string cut = dir / "cut.tif";
    fixtures::WriteTiff(cut, 3);
    {
        // Cut inside the last directory.
        std::string bytes = fixtures::ReadFile(cut);
        fixtures::WriteFile(cut, bytes.substr(0, bytes.size() - 20));
    }
    std::string messages, warning;
    for (const auto reader : {tifcount::Reader::Fastest, tifcount::Reader::LibtiffOnly}) {
        messages.clear();
        EXPECT_EQ(CountTiffPages(nowhere.c_str(), &messages, nullptr, reader, nullptr, &warning), 3);
        EXPECT_EQ(warning, "Damaged after page 3");
        EXPECT_FALSE(messages.empty()) << "libtiff's complaint is captured";
        EXPECT_EQ(CountTiffPages(middle.c_str(), nullptr, nullptr, reader, nullptr, &warning), 3);
        EXPECT_EQ(warning, "Damaged after page 3");
        EXPECT_EQ(CountTiffPages(cut.c_str(), nullptr, nullptr, reader, nullptr, &warning), 2);
        EXPECT_EQ(warning, "Damaged after page 2");
        // A chain linking back to its first directory ends there, each image
        // counted once, and nothing is damaged.
        EXPECT_EQ(CountTiffPages(loop.c_str(), nullptr, nullptr, reader, nullptr, &warning), 3);
        EXPECT_EQ(warning, "");
    }
    // Damage in the first directory leaves nothing to count.
    const std::string first = dir / "first.tif";
    fixtures::WriteTiff(first, 1);
    fixtures::SetLastNextOffset(first, 0);
    {
        std::string bytes = fixtures::ReadFile(first);
        fixtures::WriteFile(first, bytes.substr(0, fixtures::FirstIfdOffset(first) + 8));
    }
    EXPECT_LT(CountTiffPages(first.c_str(), nullptr, nullptr, tifcount::Reader::Fastest, nullptr, &warning), 1);
    EXPECT_EQ(warning, "");
}

TEST(TiffCount, NonTiffInputsGiveBelowOne) {
    TempDir dir;
    fixtures::WriteFile(dir / "text.tif", "this is not a TIFF file at all");
    fixtures::WriteFile(dir / "empty.tif", "");
    fixtures::WriteFile(dir / "header.tif", std::string("II*\0", 4));  // header cut short
    fixtures::MakeDir(dir / "folder.tif");
    const auto openFiles = [] {
        return std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                             std::filesystem::directory_iterator{});
    };
    const auto before = openFiles();
    for (const char* name : {"text.tif", "empty.tif", "header.tif", "folder.tif", "missing.tif"})
        EXPECT_LT(CountTiffPages((dir / name).c_str()), 1) << name;
    EXPECT_EQ(openFiles(), before) << "a refused file stays open";
    EXPECT_LT(CountTiffPages(""), 1);
}

TEST(TiffCount, EveryFileThatGivesErrorSaysWhy) {
    using component::CountReason;
    TempDir dir;
    fixtures::WriteFile(dir / "text.tif", "this is not a TIFF file at all");
    fixtures::WriteFile(dir / "empty.tif", "");
    fixtures::WriteFile(dir / "header.tif", std::string("II*\0", 4));  // header cut short
    fixtures::WriteFile(dir / "noimage.tif", std::string("II*\0\0\0\0\0", 8));  // first directory at 0
    fixtures::MakeDir(dir / "folder.tif");
    fixtures::WriteTiff(dir / "cut.tif", 1);  // cut inside its only directory
    fixtures::WriteFile(dir / "cut.tif", fixtures::ReadFile(dir / "cut.tif").substr(0, fixtures::FirstIfdOffset(dir / "cut.tif") + 8));
    struct Case {
        const char* name;
        CountReason code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"missing.tif", CountReason::CannotOpen, std::string("Cannot open the file: ") + std::strerror(ENOENT)},
        {"folder.tif", CountReason::CannotOpen, "Cannot open the file: not a regular file"},
        {"empty.tif", CountReason::Empty, "The file is empty"},
        {"text.tif", CountReason::NotThisKind, "Not a TIFF file"},
        {"header.tif", CountReason::Damaged, "Damaged beyond reading"},
        {"noimage.tif", CountReason::NoPages, "Has no pages"},
        {"cut.tif", CountReason::Damaged, "Damaged beyond reading"},
    };
    for (const auto& c : cases) {
        component::ReasonSlot why;
        EXPECT_LT(CountTiffPages((dir / c.name).c_str(), nullptr, &why), 1) << c.name;
        EXPECT_EQ(why.code, c.code) << c.name;
        EXPECT_EQ(why.text, c.text) << c.name;
    }
    fixtures::WriteTiff(dir / "good.tif", 2);
    component::ReasonSlot why;
    why.Set(CountReason::Damaged);
    EXPECT_EQ(CountTiffPages((dir / "good.tif").c_str(), nullptr, &why), 2);
    EXPECT_EQ(why.code, CountReason::None);
    EXPECT_EQ(why.text, "");
}

TEST(TiffCount, NamedPipeGivesBelowOneWithoutWaitingForAWriter) {
    TempDir dir;
    const std::string pipe = dir / "pipe.tif";
    ASSERT_EQ(mkfifo(pipe.c_str(), 0600), 0);
    std::promise<std::int32_t> result;
    auto future = result.get_future();
    std::thread counter([&] { result.set_value(CountTiffPages(pipe.c_str())); });
    const bool returned = future.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    if (!returned) {
        // Release a counter stuck waiting for a writer, so the test can end.
        const int fd = open(pipe.c_str(), O_WRONLY | O_NONBLOCK);
        if (fd >= 0) close(fd);
    }
    counter.join();
    EXPECT_TRUE(returned) << "counting a named pipe waited for a writer";
    EXPECT_LT(future.get(), 1);
}

TEST(TiffCount, MessagesDoNotReachStandardError) {
    TempDir dir;
    fixtures::WriteFile(dir / "bad.tif", "II*\0garbage garbage garbage");
    fflush(stderr);
    const int saved = dup(2);
    const std::string errPath = dir / "stderr.txt";
    FILE* err = fopen(errPath.c_str(), "w");
    dup2(fileno(err), 2);
    std::string messages;
    const int pages = CountTiffPages((dir / "bad.tif").c_str(), &messages);
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    fclose(err);
    EXPECT_LT(pages, 1);
    EXPECT_EQ(fixtures::ReadFile(errPath), "");
}

TEST(TiffComponent, CreatedByClassIdentifierOneInstancePerFile) {
    TempDir dir;
    fixtures::WriteTiff(dir / "a.tif", 4);
    search::ComponentLoader loader(QUILLON_BIN_DIR);
    std::string error;
    tifcount::ITiffPageCounter* counter = nullptr;
    ASSERT_EQ(loader.Create(tifcount::kLibraryName, tifcount::CLSID_TiffPageCounter, tifcount::IID_TiffPageCounter,
                            reinterpret_cast<void**>(&counter), error),
              component::S_OK)
        << error;
    ASSERT_NE(counter, nullptr);
    component::Text path = dir / "a.tif";
    std::int32_t pages = 0;
    EXPECT_EQ(counter->TIF_PageCount(path, pages), component::S_OK);
    EXPECT_EQ(pages, 4);
    component::Text missing = dir / "none.tif";
    EXPECT_EQ(counter->TIF_PageCount(missing, pages), component::S_OK);
    EXPECT_LT(pages, 1);

    // The reason of the last count, through the additional interface.
    component::ICountReason* why = nullptr;
    ASSERT_EQ(counter->QueryInterface(component::IID_ICountReason, reinterpret_cast<void**>(&why)), component::S_OK);
    std::int32_t code = 0;
    component::Text text;
    EXPECT_EQ(why->LastCountReason(code, text), component::S_OK);
    EXPECT_EQ(code, static_cast<std::int32_t>(component::CountReason::CannotOpen));
    EXPECT_EQ(text, std::string("Cannot open the file: ") + std::strerror(ENOENT));
    EXPECT_EQ(why->Release(), 1u);

    // The size of the file each count opened: none for a path that is gone,
    // even right after a count that opened one.
    component::ICountedFile* file = nullptr;
    ASSERT_EQ(counter->QueryInterface(component::IID_ICountedFile, reinterpret_cast<void**>(&file)), component::S_OK);
    std::int64_t bytes = 0;
    EXPECT_EQ(counter->TIF_PageCount(path, pages), component::S_OK);
    EXPECT_EQ(file->LastFileSize(bytes), component::S_OK);
    EXPECT_EQ(bytes, static_cast<std::int64_t>(fixtures::ReadFile(dir / "a.tif").size()));
    EXPECT_EQ(counter->TIF_PageCount(missing, pages), component::S_OK);
    EXPECT_EQ(file->LastFileSize(bytes), component::S_OK);
    EXPECT_EQ(bytes, -1);
    fixtures::WriteFile(dir / "empty.tif", "");
    component::Text empty = dir / "empty.tif";
    EXPECT_EQ(counter->TIF_PageCount(empty, pages), component::S_OK);
    EXPECT_EQ(file->LastFileSize(bytes), component::S_OK);
    EXPECT_EQ(bytes, 0);
    EXPECT_EQ(file->Release(), 1u);

    // The note on a count that may leave pages out, and none on a whole one.
    component::ICountWarning* note = nullptr;
    ASSERT_EQ(counter->QueryInterface(component::IID_ICountWarning, reinterpret_cast<void**>(&note)), component::S_OK);
    fixtures::WriteTiff(dir / "damaged.tif", 3);
    fixtures::SetLastNextOffset(dir / "damaged.tif", 0x7FFFFFF0u);
    component::Text damaged = dir / "damaged.tif";
    EXPECT_EQ(counter->TIF_PageCount(damaged, pages), component::S_OK);
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(note->LastCountWarning(text), component::S_OK);
    EXPECT_EQ(text, "Damaged after page 3");
    EXPECT_EQ(counter->TIF_PageCount(path, pages), component::S_OK);
    EXPECT_EQ(note->LastCountWarning(text), component::S_OK);
    EXPECT_EQ(text, "");
    EXPECT_EQ(note->Release(), 1u);

    // No other interface besides IUnknown.
    void* other = nullptr;
    EXPECT_EQ(counter->QueryInterface(component::IID_IClassFactory, &other), component::E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(counter->Release(), 0u);

    // A class it does not serve.
    void* none = nullptr;
    EXPECT_LT(loader.Create(tifcount::kLibraryName, component::IID_IUnknown, tifcount::IID_TiffPageCounter, &none,
                            error),
              0);
}
