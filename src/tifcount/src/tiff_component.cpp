// The TIFF page counter as an in-process component: one class, its factory
// and the two exported entry points.
#include <tifcount/tiffpagecounter.h>
#include <component/count_reason.h>
#include <component/server.h>

#include "tiff_count.h"

#include <atomic>

#define TIFCOUNT_EXPORT extern "C" __attribute__((visibility("default")))

namespace tifcount {
namespace {

using component::Guid;
using component::HResult;

component::ServerState g_server;

class TiffPageCounter final : public ITiffPageCounter, public component::ICountReason {
public:
    TiffPageCounter() { ++g_server.objects; }

    HResult QueryInterface(const Guid& iid, void** out) override {
        if (!out) return component::E_POINTER;
        if (iid == component::IID_IUnknown || iid == IID_TiffPageCounter) {
            *out = static_cast<ITiffPageCounter*>(this);
            AddRef();
            return component::S_OK;
        }
        if (iid == component::IID_ICountReason) {
            *out = static_cast<component::ICountReason*>(this);
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
        result = CountTiffPages(path.c_str(), nullptr, &reason_);
        return component::S_OK;
    }

    HResult LastCountReason(std::int32_t& code, component::Text& text) override { return reason_.Get(code, text); }

private:
    ~TiffPageCounter() { --g_server.objects; }
    std::atomic<std::uint32_t> refs_{1};
    component::ReasonSlot reason_;
};

}  // namespace
}  // namespace tifcount

TIFCOUNT_EXPORT component::HResult DllGetClassObject(const component::Guid* clsid, const component::Guid* iid,
                                                     void** out) {
    return component::GetClassObject<tifcount::TiffPageCounter>(tifcount::g_server, tifcount::CLSID_TiffPageCounter,
                                                                clsid, iid, out);
}

TIFCOUNT_EXPORT component::HResult DllCanUnloadNow() { return tifcount::g_server.CanUnloadNow(); }
