#include "tiff_sizes.h"

#include <tiffio.h>

#include <fcntl.h>
#include <unistd.h>

#include <cmath>

namespace tifcount {

namespace {

int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

using component::PageSizeState;

void AddDirectory(TIFF* tif, std::vector<component::PageSizeRun>& runs) {
    std::uint32_t width = 0, length = 0;
    if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width) != 1 || TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &length) != 1 ||
        width == 0 || length == 0) {
        component::AddPageRun(runs, 0, 0, PageSizeState::Unknown);
        return;
    }
    float xres = 0, yres = 0;
    std::uint16_t unit = RESUNIT_INCH;
    const bool hasX = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xres) == 1;
    const bool hasY = TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yres) == 1;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    const double pointsPerUnit = unit == RESUNIT_INCH ? 72.0 : unit == RESUNIT_CENTIMETER ? 72.0 / 2.54 : 0;
    // One resolution given serves both directions, as viewers take it.
    if (hasX && !hasY) yres = xres;
    if (!hasX && hasY) xres = yres;
    if (pointsPerUnit == 0 || !(xres > 0) || !(yres > 0) || !std::isfinite(xres) || !std::isfinite(yres)) {
        component::AddPageRun(runs, width, length, PageSizeState::PixelsOnly);
        return;
    }
    component::AddPageRun(runs, width / static_cast<double>(xres) * pointsPerUnit,
                          length / static_cast<double>(yres) * pointsPerUnit, PageSizeState::Known);
}

}  // namespace

std::vector<component::PageSizeRun> ReadTiffSizes(const char* path, std::int32_t pages) {
    std::vector<component::PageSizeRun> runs;
    if (pages < 1) return runs;
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return runs;
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) {
        close(fd);
        return runs;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(opts, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, Quiet, nullptr);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, 64 * 1024 * 1024);
    // As the count opens it: header only, no mapping, strip tables unread.
    TIFF* tif = TIFFFdOpenExt(fd, path, "rhmD", opts);
    TIFFOpenOptionsFree(opts);
    if (!tif) {
        close(fd);
        return runs;
    }
    // The count decided how many directories are pages; no more are read.
    for (std::int32_t i = 0; i < pages; ++i) {
        if (TIFFReadDirectory(tif) != 1) break;
        AddDirectory(tif, runs);
        if (TIFFLastDirectory(tif)) break;
    }
    TIFFClose(tif);
    return runs;
}

}  // namespace tifcount
