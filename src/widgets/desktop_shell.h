#pragma once
// The desktop's "open" action: documents with their program, folders in the
// file manager, web addresses in the browser. Behind an interface so tests
// can record requests instead of launching anything.
#include <QString>

namespace quillon {

class DesktopShell {
public:
    virtual ~DesktopShell() = default;
    // A local path (file or folder), a file: URL (for a name whose bytes are
    // not UTF-8) or a web address. Returns false when the
    // desktop refused the request.
    virtual bool open(const QString& pathOrAddress) = 0;
};

class QtDesktopShell final : public DesktopShell {
public:
    bool open(const QString& pathOrAddress) override;
};

} // namespace quillon
