// The size of the file a counter's last count read: an additional interface
// a counter may offer beside its own.  A host that lists each file's size
// beside its count takes it from here instead of asking the file system
// once more for every file; a counter without it answers E_NOINTERFACE and
// the host asks the file system as before.
#pragma once

#include <component/component.h>

#include <cstdint>

namespace component {

// {E1AB8F24-F374-4531-8F10-1ED1B905AA4F}
constexpr Guid IID_ICountedFile{0xE1AB8F24, 0xF374, 0x4531, {0x8F, 0x10, 0x1E, 0xD1, 0xB9, 0x05, 0xAA, 0x4F}};

struct ICountedFile : IUnknown {
    // Bytes of the regular file the instance's last count opened, as the
    // descriptor it read through told them; -1 when that count opened no
    // regular file (a name that is gone, a folder, a pipe, no name at all).
    virtual HResult LastFileSize(std::int64_t& bytes) = 0;

protected:
    ~ICountedFile() = default;
};

}  // namespace component
