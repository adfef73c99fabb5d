// Each page's width and height: an additional interface a counter may offer
// beside its own.  Sizes cost reading every page, so a counter reads them
// only when the host asks before the count; a counter without the interface
// answers E_NOINTERFACE and its pages are of unknown size.
#pragma once

#include <component/component.h>

#include <cstdint>
#include <vector>

namespace component {

// {8E4F2C61-7B3A-4D95-A1E0-5C26D9B47F13}
constexpr Guid IID_IPageSizes{0x8E4F2C61, 0x7B3A, 0x4D95, {0xA1, 0xE0, 0x5C, 0x26, 0xD9, 0xB4, 0x7F, 0x13}};

// Stable numbers: hosts may keep them.
enum class PageSizeState : std::int32_t {
    Known = 0,       // width and height in points (1/72 inch), as the page is shown
    PixelsOnly = 1,  // an image without a resolution: width and height in pixels
    Unknown = 2,     // no size could be read (a missing or damaged box)
};

// Consecutive pages of one size.  Many pages share one size, so a document
// of 100,000 pages is usually a handful of runs.
struct PageSizeRun {
    double width = 0;
    double height = 0;
    PageSizeState state = PageSizeState::Unknown;
    std::int64_t pages = 0;
};

// Appends `pages` pages of one size to runs, joining the last run when equal.
inline void AddPageRun(std::vector<PageSizeRun>& runs, double width, double height, PageSizeState state,
                       std::int64_t pages = 1) {
    if (pages <= 0) return;
    if (state == PageSizeState::Unknown) width = height = 0;
    if (!runs.empty()) {
        PageSizeRun& last = runs.back();
        if (last.state == state && last.width == width && last.height == height) {
            last.pages += pages;
            return;
        }
    }
    runs.push_back(PageSizeRun{width, height, state, pages});
}

struct IPageSizes : IUnknown {
    // Whether the instance's next counts read the pages' sizes too (off
    // until asked: a count without sizes keeps its cost).
    virtual HResult WantPageSizes(bool want) = 0;
    // The sizes of the last count's pages, in page order.  S_FALSE and no
    // runs when they were not asked for or the count found no pages; pages
    // whose size could not be read are in runs of state Unknown.
    virtual HResult LastPageSizes(std::vector<PageSizeRun>& runs) = 0;

protected:
    ~IPageSizes() = default;
};

}  // namespace component
