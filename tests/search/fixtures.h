// Test fixtures: temporary folder trees and small TIFF files made with libtiff.
#pragma once

#include <temp_dir.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace fixtures {

// Copies of built files (the counter libraries, quillon-count) in a folder
// anyone may read and run: a test that drops to an ordinary user must not
// depend on the build folder being open to that user, and a checkout under a
// private home folder is not.
class OpenCopies {
public:
    OpenCopies(const std::string& fromDir, const std::vector<std::string>& names);
    const std::string& path() const { return dir_.path(); }
    std::string operator/(const std::string& rel) const { return dir_ / rel; }

private:
    TempDir dir_;
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

// A chain of folders below root, `levels` deep, each named with `nameLength`
// characters: a tree deeper than the system's path limit when asked.  Built
// and written through descriptors, since its path cannot be opened whole.
class DeepFolder {
public:
    DeepFolder(const std::string& root, int levels, int nameLength);
    ~DeepFolder();
    DeepFolder(const DeepFolder&) = delete;
    DeepFolder& operator=(const DeepFolder&) = delete;
    const std::string& path() const { return path_; }
    void Write(const std::string& name, const std::string& bytes) const;

private:
    std::string path_;
    int fd_ = -1;
};

// For the length of a test, file permissions bind: as the superuser the
// effective user and group become nobody's (65534); otherwise nothing
// changes.  ok() is false, and why() says why, when that cannot be had.
class Unprivileged {
public:
    Unprivileged();
    ~Unprivileged();
    Unprivileged(const Unprivileged&) = delete;
    Unprivileged& operator=(const Unprivileged&) = delete;
    bool ok() const { return ok_; }
    const std::string& why() const { return why_; }

private:
    bool ok_ = true;
    bool dropped_ = false;
    std::string why_;
};

// An ext4 image with 128-byte inodes, which record no creation time,
// loop-mounted (as the superuser) for the length of a test.  ok() is false,
// and why() says why, when it cannot be made.
class NoBirthTimeMount {
public:
    NoBirthTimeMount();
    ~NoBirthTimeMount();
    NoBirthTimeMount(const NoBirthTimeMount&) = delete;
    NoBirthTimeMount& operator=(const NoBirthTimeMount&) = delete;
    bool ok() const { return ok_; }
    const std::string& why() const { return why_; }
    std::string path() const { return dir_.path() + "/mnt"; }

private:
    TempDir dir_;
    bool ok_ = false;
    bool mounted_ = false;
    std::string why_;
};

// Runs `child` in a forked process (SIGINT, SIGTERM and SIGHUP at their
// defaults, whatever this process inherited), waits until it creates a file
// in `dir` whose name starts with `prefix`, stops it there, sends `sig` and
// lets it go on.  Returns the child's wait status, or -1 when no such file
// appeared within a minute (the child is killed then).
int InterruptWhenCreated(const std::function<void()>& child, const std::string& dir, const std::string& prefix,
                         int sig);

// Names in a folder starting with prefix.
std::vector<std::string> NamesStartingWith(const std::string& dir, const std::string& prefix);

}  // namespace fixtures
