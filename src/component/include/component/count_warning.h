// A note on a count that stands but may leave pages out: an additional
// interface a counter may offer beside its own.  A host asks for it after a
// count of 1 or more; a counter without it answers E_NOINTERFACE and the
// count is taken as whole.
#pragma once

#include <component/component.h>

#include <cstdint>
#include <string>

namespace component {

// {5B0C7A3E-2D61-4F0B-9C4A-8E7D13F6A2B5}
constexpr Guid IID_ICountWarning{0x5B0C7A3E, 0x2D61, 0x4F0B, {0x9C, 0x4A, 0x8E, 0x7D, 0x13, 0xF6, 0xA2, 0xB5}};

struct ICountWarning : IUnknown {
    // The note on the instance's last count, for people; empty when the
    // count is whole (and after a count below 1, which ICountReason explains).
    virtual HResult LastCountWarning(Text& text) = 0;

protected:
    ~ICountWarning() = default;
};

// The note for a file read up to page `pages`, after which it is damaged.
inline std::string DamagedAfterText(std::int32_t pages) { return "Damaged after page " + std::to_string(pages); }

}  // namespace component
