// The TIFF page counter as an in-process component: one class, its factory
// and the two exported entry points.
#include <tifcount/tiffpagecounter.h>
#include <component/count_reason.h>
#include <component/counted_file.h>
#include <component/count_warning.h>
#include <component/page_sizes.h>
#include <component/server.h>

#include "tiff_count.h"
#include "tiff_sizes.h"


#define TIFCOUNT_EXPORT extern "C" __attribute__((visibility("default")))

namespace tifcount {
namespace {

using component::Guid;
using component::HResult;

component::ServerState g_server;

class TiffPageCounter final
    : public component::RefCounted<ITiffPageCounter, component::ICountReason, component::ICountedFile,
                                   component::ICountWarning, component::IPageSizes> {
public:
    TiffPageCounter() : RefCounted(g_server) {}

    HResult QueryInterface(const Guid& iid, void** out) override {
        if (!out) return component::E_POINTER;
        if (iid == component::IID_IUnknown || iid == IID_TiffPageCounter) return Hand<ITiffPageCounter>(out);
        if (iid == component::IID_ICountReason) return Hand<component::ICountReason>(out);
        if (iid == component::IID_ICountedFile) return Hand<component::ICountedFile>(out);
        if (iid == component::IID_ICountWarning) return Hand<component::ICountWarning>(out);
        if (iid == component::IID_IPageSizes) return Hand<component::IPageSizes>(out);
        *out = nullptr;
        return component::E_NOINTERFACE;
    }

    HResult TIF_PageCount(component::Text& path, std::int32_t& result) override {
        result = CountTiffPages(path.c_str(), nullptr, &reason_, Reader::Fastest, &size_, &warning_);
        sizes_.clear();
        if (wantSizes_ && result >= 1) sizes_ = ReadTiffSizes(path.c_str(), result);
        return component::S_OK;
    }

    HResult LastCountReason(std::int32_t& code, component::Text& text) override { return reason_.Get(code, text); }

    HResult LastCountWarning(component::Text& text) override {
        text = warning_;
        return component::S_OK;
    }

    HResult LastFileSize(std::int64_t& bytes) override {
        bytes = size_;
        return component::S_OK;
    }

    HResult WantPageSizes(bool want) override {
        wantSizes_ = want;
        return component::S_OK;
    }

    HResult LastPageSizes(std::vector<component::PageSizeRun>& runs) override {
        runs = sizes_;
        return runs.empty() ? component::S_FALSE : component::S_OK;
    }

private:
    bool wantSizes_ = false;
    std::vector<component::PageSizeRun> sizes_;
    component::ReasonSlot reason_;
    std::int64_t size_ = -1;
    std::string warning_;
};

}  // namespace
}  // namespace tifcount

TIFCOUNT_EXPORT component::HResult DllGetClassObject(const component::Guid* clsid, const component::Guid* iid,
                                                     void** out) {
    return component::GetClassObject<tifcount::TiffPageCounter>(tifcount::g_server, tifcount::CLSID_TiffPageCounter,
                                                                clsid, iid, out);
}

TIFCOUNT_EXPORT component::HResult DllCanUnloadNow() { return tifcount::g_server.CanUnloadNow(); }
