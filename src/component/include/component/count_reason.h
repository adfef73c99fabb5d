// Why a page counter could not count a file: an additional interface that a
// counter may offer beside its own.  A host asks for it with QueryInterface
// after a count below 1; a counter without it answers E_NOINTERFACE and the
// host simply has no reason to show.  The counters' own interfaces are not
// changed by it.
#pragma once

#include <component/component.h>

#include <cstdint>
#include <string>
#include <string_view>

namespace component {

// {72F0DCFC-A9E0-49AC-BE95-C3224364A328}
constexpr Guid IID_ICountReason{0x72F0DCFC, 0xA9E0, 0x49AC, {0xBE, 0x95, 0xC3, 0x22, 0x43, 0x64, 0xA3, 0x28}};

// Stable numbers: hosts may keep or compare them.
enum class CountReason : std::int32_t {
    None = 0,           // counted, or no count yet
    CannotOpen = 1,     // the file cannot be opened (the system's message follows)
    NotThisKind = 2,    // the file is not of the counter's kind
    Damaged = 3,        // of the kind, but damaged beyond reading
    NeedsPassword = 4,  // encrypted, and no route reads it without the password
    NoPages = 5,        // read, and holds no pages
    Empty = 6,          // 0 bytes
    Changed = 7,        // the file changed while it was read
};

struct ICountReason : IUnknown {
    // The reason of the instance's last count: None and an empty text after
    // a count of 1 or more; otherwise a code and a sentence for people.
    virtual HResult LastCountReason(std::int32_t& code, Text& text) = 0;

protected:
    ~ICountReason() = default;
};

// The sentence for a reason; `detail` is the system's message for
// CannotOpen, the kind's name ("PDF", "TIFF") for NotThisKind.
inline std::string ReasonText(CountReason code, std::string_view detail = {}) {
    switch (code) {
        case CountReason::None: return {};
        case CountReason::CannotOpen: return "Cannot open the file: " + std::string(detail);
        case CountReason::NotThisKind: return "Not a " + std::string(detail) + " file";
        case CountReason::Damaged: return "Damaged beyond reading";
        case CountReason::NeedsPassword: return "Needs a password";
        case CountReason::NoPages: return "Has no pages";
        case CountReason::Empty: return "The file is empty";
        case CountReason::Changed: return "The file changed while it was read";
    }
    return {};
}

// Keeps the last reason of a counter instance and answers LastCountReason.
struct ReasonSlot {
    CountReason code = CountReason::None;
    std::string text;

    void Clear() { Set(CountReason::None); }
    void Set(CountReason c, std::string_view detail = {}) {
        code = c;
        text = ReasonText(c, detail);
    }
    HResult Get(std::int32_t& outCode, Text& outText) const {
        outCode = static_cast<std::int32_t>(code);
        outText = text;
        return S_OK;
    }
};

}  // namespace component
