// The library's component surface: the class factory and the two entry
// points a host looks up by name.  Nothing else leaves the library.
#include "brastelv1.h"

#include <atomic>
#include <new>

namespace brastel {

using component::Guid;
using component::HResult;

namespace {
std::atomic<long> g_objects{0};
std::atomic<long> g_locks{0};

class Brastelv1Factory final : public component::IClassFactory {
public:
    Brastelv1Factory() { ObjectCreated(); }

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
    std::uint32_t AddRef() override { return ++refs_; }
    std::uint32_t Release() override {
        const std::uint32_t left = --refs_;
        if (left == 0) delete this;
        return left;
    }

    HResult CreateInstance(component::IUnknown* outer, const Guid& iid, void** out) override {
        if (!out) return component::E_POINTER;
        *out = nullptr;
        if (outer) return component::CLASS_E_NOAGGREGATION;
        auto* object = new (std::nothrow) Brastelv1();
        if (!object) return component::E_OUTOFMEMORY;
        const HResult hr = object->QueryInterface(iid, out);
        object->Release();  // the interface reference, if any, keeps it alive
        return hr;
    }
    HResult LockServer(bool lock) override {
        if (lock)
            ++g_locks;
        else if (g_locks.fetch_sub(1) <= 0)
            ++g_locks;  // more unlocks than locks: ignore the extra one
        return component::S_OK;
    }

private:
    ~Brastelv1Factory() { ObjectDestroyed(); }
    std::atomic<std::uint32_t> refs_{1};
};
}  // namespace

void ObjectCreated() { ++g_objects; }
void ObjectDestroyed() { --g_objects; }

}  // namespace brastel

#define BRASTEL_EXPORT extern "C" __attribute__((visibility("default")))

BRASTEL_EXPORT component::HResult DllGetClassObject(const component::Guid* clsid, const component::Guid* iid,
                                                    void** out) {
    if (!out) return component::E_POINTER;
    *out = nullptr;
    if (!clsid || !iid) return component::E_INVALIDARG;
    if (!(*clsid == brastel::CLSID_Brastelv1)) return component::CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) brastel::Brastelv1Factory();
    if (!factory) return component::E_OUTOFMEMORY;
    const component::HResult hr = factory->QueryInterface(*iid, out);
    factory->Release();
    return hr;
}

BRASTEL_EXPORT component::HResult DllCanUnloadNow() {
    return brastel::g_objects.load() == 0 && brastel::g_locks.load() == 0 ? component::S_OK
                                                                         : component::S_FALSE;
}
