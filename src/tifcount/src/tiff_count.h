// Counting the top-level images of a TIFF file.
#pragma once

#include <component/count_reason.h>

#include <cstdint>
#include <string>

namespace tifcount {

// The longest main directory chain counted; longer chains are treated as damaged.
constexpr std::int32_t kMaxPages = 1 << 20;

// Who reads the directories: plain chains ourselves and the rest libtiff
// (the normal way), or libtiff alone (to hold the first to the second).
enum class Reader { Fastest, LibtiffOnly };

// Number of images in the main directory chain (SubIFDs and EXIF blocks are
// not pages), or -1 when the file cannot be read.  A chain that ends in an
// error after whole directories counts those directories, as libtiff reads
// them, and *warning says the file is damaged after them (it is cleared
// otherwise).  libtiff's messages go to *messages instead of standard error;
// why a count below 1 was given goes to *why; the size of the regular file
// it opened to *size (-1 when it opened none).
std::int32_t CountTiffPages(const char* path, std::string* messages = nullptr,
                            component::ReasonSlot* why = nullptr, Reader reader = Reader::Fastest,
                            std::int64_t* size = nullptr, std::string* warning = nullptr);

}  // namespace tifcount
