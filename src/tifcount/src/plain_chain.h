// Counting a classic TIFF's main directory chain by reading the directories
// ourselves, for the files whose every directory is one that libtiff reads
// without an error.  Opening a file with libtiff costs more than the whole
// count of an ordinary scan, so the plain case, nearly every scan, is read
// here and every other file is left to libtiff's own checks.
#pragma once

#include <cstdint>
#include <optional>

namespace tifcount {

// The number of directories in the main chain of the classic TIFF open on
// fd (fileSize bytes long), when every directory is
// plain: inside the file, in ascending offset order, its entries sorted and
// of known types with their values inside the file, a strip layout libtiff
// accepts (width, length, samples, bits, rows per strip, planar layout,
// offsets and byte counts for every strip), a codec libtiff reads, and no
// tag whose value libtiff checks beyond that.  Nothing otherwise: a BigTIFF,
// tiles, a chain that turns back, or anything unusual is for libtiff to
// judge.  Reads a few kilobytes per directory and never more than the file.
std::optional<std::int32_t> CountPlainChain(int fd, std::uint64_t fileSize);

}  // namespace tifcount
