// The TIFF page counter as an in-process component: one class, its factory
// and the two exported entry points.
#include <tifcount/tiffpagecounter.h>

#include "tiff_count.h"

#include <atomic>
#include <new>

#define TIFCOUNT_EXPORT extern "C" __attribute__((visibility("default")))

namespace tifcount {
namespace {

using component::Guid;
using component::HResult;

// Live objects and server locks; the library may be unloaded when both are 0.
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

class TiffPageCounter final : public ITiffPageCounter {
public:
    TiffPageCounter() { ++g_objects; }

    HResult QueryInterface(const Guid& iid, void** out) override {
        if (!out) return component::E_POINTER;
        if (iid == component::IID_IUnknown || iid == IID_TiffPageCounter) {
            *out = static_cast<ITiffPageCounter*>(this);
            AddRef();
            return component::S_OK;
        }
        *out = nullptr;
        return component::E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++refs_; }
    std::uint32_t Release() override {
        const std::uint32_t left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HResult TIF_PageCount(component::Text& path, std::int32_t& result) override {
        result = CountTiffPages(path.c_str());
        return component::S_OK;
    }

private:
    ~TiffPageCounter() { --g_objects; }
    std::atomic<std::uint32_t> refs_{1};
};

class Factory final : public component::IClassFactory {
public:
    HResult QueryInterface(const Guid& iid, void** out) override {
        if (!out) return component::E_POINTER;
        if (iid == component::IID_IUnknown || iid == component::IID_IClassFactory) {
            *out = static_cast<component::IClassFactory*>(this);
            AddRef();
            return component::S_OK;
        }
        *out = nullptr;
        return component::E_NOINTERFACE;
    }
    // The factory is a static object: counting its references is the lock count.
    std::uint32_t AddRef() override { return static_cast<std::uint32_t>(++g_locks); }
    std::uint32_t Release() override { return static_cast<std::uint32_t>(--g_locks); }

    HResult CreateInstance(component::IUnknown* outer, const Guid& iid, void** out) override {
        if (!out) return component::E_POINTER;
        *out = nullptr;
        if (outer) return component::CLASS_E_NOAGGREGATION;
        auto* obj = new (std::nothrow) TiffPageCounter;
        if (!obj) return component::E_OUTOFMEMORY;
        const HResult hr = obj->QueryInterface(iid, out);
        obj->Release();
        return hr;
    }
    HResult LockServer(bool lock) override {
        if (lock) ++g_locks; else --g_locks;
        return component::S_OK;
    }
};

Factory g_factory;

}  // namespace
}  // namespace tifcount

TIFCOUNT_EXPORT component::HResult DllGetClassObject(const component::Guid* clsid, const component::Guid* iid,
                                                     void** out) {
    if (!out) return component::E_POINTER;
    *out = nullptr;
    if (!clsid || !iid) return component::E_INVALIDARG;
    if (!(*clsid == tifcount::CLSID_TiffPageCounter)) return component::CLASS_E_CLASSNOTAVAILABLE;
    return tifcount::g_factory.QueryInterface(*iid, out);
}

TIFCOUNT_EXPORT component::HResult DllCanUnloadNow() {
    return (tifcount::g_objects == 0 && tifcount::g_locks == 0) ? component::S_OK : component::S_FALSE;
}
