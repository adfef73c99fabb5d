// The server side of an in-process component library: live-object and lock
// counts, a class factory for one class, and the body of DllGetClassObject.
// Each library keeps one ServerState; its objects count themselves in it.
#pragma once

#include <component/component.h>

#include <atomic>
#include <new>

namespace component {

struct ServerState {
    std::atomic<long> objects{0};
    std::atomic<long> locks{0};

    // The library may be unloaded when no object and no lock is outstanding.
    HResult CanUnloadNow() const { return objects.load() == 0 && locks.load() == 0 ? S_OK : S_FALSE; }
};

// The reference counting of a component object that offers Interfaces...:
// it deletes itself when the last reference goes, and counts itself among
// its library's live objects while it exists.
template <class... Interfaces>
class RefCounted : public Interfaces... {
public:
    RefCounted(const RefCounted&) = delete;
    RefCounted& operator=(const RefCounted&) = delete;

    std::uint32_t AddRef() override { return ++refs_; }
    std::uint32_t Release() override {
        const std::uint32_t left = --refs_;
        if (left == 0) delete this;
        return left;
    }

protected:
    explicit RefCounted(ServerState& state) : state_(state) { ++state_.objects; }
    virtual ~RefCounted() { --state_.objects; }

    // QueryInterface's answer for an interface the object offers: the
    // object as I, with a reference for the caller.
    template <class I>
    HResult Hand(void** out) {
        *out = static_cast<I*>(this);
        AddRef();
        return S_OK;
    }

private:
    ServerState& state_;
    std::atomic<std::uint32_t> refs_{1};
};

// Creates T objects (default-constructed, reference count 1 on creation,
// counting themselves in the library's ServerState).  The factory itself is
// a live object of the library while anyone holds it.
template <class T>
class ClassFactory final : public RefCounted<IClassFactory> {
public:
    explicit ClassFactory(ServerState& state) : RefCounted(state), state_(state) {}

    HResult QueryInterface(const Guid& iid, void** out) override {
        if (!out) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) return Hand<IClassFactory>(out);
        *out = nullptr;
        return E_NOINTERFACE;
    }

    HResult CreateInstance(IUnknown* outer, const Guid& iid, void** out) override {
        if (!out) return E_POINTER;
        *out = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        T* object = new (std::nothrow) T();
        if (!object) return E_OUTOFMEMORY;
        const HResult hr = object->QueryInterface(iid, out);
        object->Release();  // the interface reference, if any, keeps it alive
        return hr;
    }
    HResult LockServer(bool lock) override {
        if (lock)
            ++state_.locks;
        else if (state_.locks.fetch_sub(1) <= 0)
            ++state_.locks;  // more unlocks than locks: ignore the extra one
        return S_OK;
    }

private:
    ServerState& state_;  // for the server locks
};

// DllGetClassObject for a library that serves the one class `served`.
template <class T>
HResult GetClassObject(ServerState& state, const Guid& served, const Guid* clsid, const Guid* iid, void** out) {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!clsid || !iid) return E_INVALIDARG;
    if (!(*clsid == served)) return CLASS_E_CLASSNOTAVAILABLE;
    auto* factory = new (std::nothrow) ClassFactory<T>(state);
    if (!factory) return E_OUTOFMEMORY;
    const HResult hr = factory->QueryInterface(*iid, out);
    factory->Release();
    return hr;
}

}  // namespace component
