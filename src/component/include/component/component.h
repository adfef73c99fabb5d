// In-process component surface: the small part of the component object model
// that Quillon and its counter libraries share.  A library exports
// DllGetClassObject/DllCanUnloadNow with C linkage; the host loads the
// library file, asks it for a class factory by class identifier and creates
// instances through it.  On Windows the same shapes map onto the platform's
// own types; here they are plain C++ with a stable vtable layout.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace component {

struct Guid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];

    friend bool operator==(const Guid& a, const Guid& b) {
        return std::memcmp(&a, &b, sizeof(Guid)) == 0;
    }
};

// Status beside every result: 0 is success, negative values are failures.
using HResult = std::int32_t;
constexpr HResult S_OK = 0;
constexpr HResult S_FALSE = 1;
constexpr HResult E_FAIL = static_cast<HResult>(0x80004005u);
constexpr HResult E_POINTER = static_cast<HResult>(0x80004003u);
constexpr HResult E_NOINTERFACE = static_cast<HResult>(0x80004002u);
constexpr HResult E_OUTOFMEMORY = static_cast<HResult>(0x8007000Eu);
constexpr HResult E_INVALIDARG = static_cast<HResult>(0x80070057u);
constexpr HResult CLASS_E_NOAGGREGATION = static_cast<HResult>(0x80040110u);
constexpr HResult CLASS_E_CLASSNOTAVAILABLE = static_cast<HResult>(0x80040111u);
// A method that needs an open file was called while none is open.
constexpr HResult E_NOTOPEN = static_cast<HResult>(0x80040200u);

inline bool Succeeded(HResult hr) { return hr >= 0; }
inline bool Failed(HResult hr) { return hr < 0; }

// {00000000-0000-0000-C000-000000000046}
constexpr Guid IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {00000001-0000-0000-C000-000000000046}
constexpr Guid IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

struct IUnknown {
    virtual HResult QueryInterface(const Guid& iid, void** out) = 0;
    virtual std::uint32_t AddRef() = 0;
    virtual std::uint32_t Release() = 0;

protected:
    ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
    virtual HResult CreateInstance(IUnknown* outer, const Guid& iid, void** out) = 0;
    virtual HResult LockServer(bool lock) = 0;

protected:
    ~IClassFactory() = default;
};

// Text passed through interfaces: bytes, one character per byte.  Paths are
// UTF-8.  Both sides are built by the same toolchain, as in-process
// components always are.
using Text = std::string;

// The entry points a component library exports, by these names.
extern "C" {
using DllGetClassObjectFn = HResult (*)(const Guid* clsid, const Guid* iid, void** out);
using DllCanUnloadNowFn = HResult (*)();
}
constexpr const char* kGetClassObjectSymbol = "DllGetClassObject";
constexpr const char* kCanUnloadNowSymbol = "DllCanUnloadNow";

}  // namespace component
