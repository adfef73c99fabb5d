// Lifetime and interface lookup of Brastelv1 objects.
#include "brastelv1.h"

namespace brastel {

using component::Guid;
using component::HResult;

Brastelv1::Brastelv1() { ObjectCreated(); }

Brastelv1::~Brastelv1() {
    Close();
    ObjectDestroyed();
}

HResult Brastelv1::QueryInterface(const Guid& iid, void** out) {
    if (!out) return component::E_POINTER;
    if (iid == component::IID_IUnknown || iid == IID__Brastelv1) {
        *out = static_cast<_Brastelv1*>(this);
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

HResult Brastelv1::LastCountReason(std::int32_t& code, component::Text& text) { return reason_.Get(code, text); }

std::uint32_t Brastelv1::AddRef() { return ++refs_; }

std::uint32_t Brastelv1::Release() {
    const std::uint32_t left = --refs_;
    if (left == 0) delete this;
    return left;
}

}  // namespace brastel
