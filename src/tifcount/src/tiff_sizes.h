// The sizes of a TIFF's pages, read only when a host asks for them.
#pragma once

#include <component/page_sizes.h>

#include <cstdint>
#include <vector>

namespace tifcount {

// The size of each of the first `pages` images of the main directory chain:
// width and length over the X and Y resolution in the resolution unit, in
// points; in pixels only (PixelsOnly) when the image has no resolution or
// its unit is none.  Pages that cannot be read are of unknown size.
std::vector<component::PageSizeRun> ReadTiffSizes(const char* path, std::int32_t pages);

}  // namespace tifcount
