// Public surface of the TIFF page-count component.
#pragma once

#include <component/component.h>

#include <cstdint>

namespace tifcount {

// {3078486A-A411-4EFD-808B-76DC1D10546E}
constexpr component::Guid CLSID_TiffPageCounter{
    0x3078486A, 0xA411, 0x4EFD, {0x80, 0x8B, 0x76, 0xDC, 0x1D, 0x10, 0x54, 0x6E}};
// {9CF8EF82-E807-4204-8AE4-FAEF977C2ACB}
constexpr component::Guid IID_TiffPageCounter{
    0x9CF8EF82, 0xE807, 0x4204, {0x8A, 0xE4, 0xFA, 0xEF, 0x97, 0x7C, 0x2A, 0xCB}};

constexpr const char* kLibraryName = "TiffPageCounter";

struct ITiffPageCounter : component::IUnknown {
    // Number of top-level images of the TIFF at the path, or below 1 when
    // they cannot be counted.
    virtual component::HResult TIF_PageCount(component::Text& path, std::int32_t& result) = 0;

protected:
    ~ITiffPageCounter() = default;
};

}  // namespace tifcount
