// Test fixtures: temporary folder trees and small TIFF files made with libtiff.
#pragma once

#include <cstdint>
#include <string>

namespace fixtures {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }

private:
    std::string path_;
};

void MakeDir(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);
void WriteSized(const std::string& path, std::uint64_t size);  // sparse
std::string ReadFile(const std::string& path);

struct TiffOptions {
    bool bigTiff = false;
    bool subIfd = false;  // page 1 carries a reduced-resolution sub-image
    bool exif = false;    // page 1 carries an EXIF block
};
// A TIFF of `pages` tiny grey images in its main directory chain.
void WriteTiff(const std::string& path, int pages, TiffOptions options = {});

// Offsets of the main chain's "next directory" fields of a classic TIFF.
// Rewrites the last one to `next` (to make chains that loop or lead nowhere).
void SetLastNextOffset(const std::string& path, std::uint32_t next);
// Offset of the first directory of a classic TIFF.
std::uint32_t FirstIfdOffset(const std::string& path);

// A small classic PDF of `pages` pages with a correct cross-reference table.
std::string PdfBytes(int pages);

// Sets a file's modification and access times (local time).
void SetTimes(const std::string& path, int year, int month, int day, int hour, int minute, bool access = false);

}  // namespace fixtures
