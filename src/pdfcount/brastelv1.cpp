// Lifetime and interface lookup of Brastelv1 objects.
#include "brastelv1.h"

namespace brastel {

using component::Guid;
using component::HResult;

Brastelv1::Brastelv1() : RefCounted(LibraryServer()) {}

Brastelv1::~Brastelv1() { Close(); }

HResult Brastelv1::QueryInterface(const Guid& iid, void** out) {
    if (!out) return component::E_POINTER;
    if (iid == component::IID_IUnknown || iid == IID__Brastelv1) return Hand<_Brastelv1>(out);
    if (iid == component::IID_ICountReason) return Hand<component::ICountReason>(out);
    if (iid == component::IID_ICountedFile) return Hand<component::ICountedFile>(out);
    if (iid == component::IID_IPageSizes) return Hand<component::IPageSizes>(out);
    *out = nullptr;
    return component::E_NOINTERFACE;
}

HResult Brastelv1::LastCountReason(std::int32_t& code, component::Text& text) { return reason_.Get(code, text); }

HResult Brastelv1::LastFileSize(std::int64_t& bytes) {
    bytes = countedSize_;
    return component::S_OK;
}

}  // namespace brastel

namespace brastel {

HResult Brastelv1::WantPageSizes(bool want) {
    wantSizes_ = want;
    return component::S_OK;
}

HResult Brastelv1::LastPageSizes(std::vector<component::PageSizeRun>& runs) {
    runs = sizes_;
    return runs.empty() ? component::S_FALSE : component::S_OK;
}

}  // namespace brastel
