#pragma once
// The desktop's "open" action: documents with their program, folders in the
// file manager, web addresses in the browser. Behind an interface so tests
// can record requests instead of launching anything.
#include <QString>

#include <functional>
#include <memory>

namespace quillon {

class DesktopShell {
public:
    // Told why the desktop could not open what was asked, in words for the
    // user. It may come after open() has returned, since the desktop's opener
    // runs on its own; it is called on the window's thread.
    using Failed = std::function<void(const QString& reason)>;

    virtual ~DesktopShell() = default;
    // A local path (file or folder), a file: URL (for a name whose bytes are
    // not UTF-8) or a web address.
    virtual void open(const QString& pathOrAddress, Failed failed) = 0;
};

// The platform's opener. On Linux and other free desktops that is xdg-open,
// whose exit status and message say what went wrong; where it is missing,
// Qt's own desktop services. On Windows the shell shows its own message when
// it cannot open something, so nothing more is said there.
class QtDesktopShell final : public DesktopShell {
public:
    QtDesktopShell();
    ~QtDesktopShell() override;
    void open(const QString& pathOrAddress, Failed failed) override;

private:
    struct Launches;
    std::unique_ptr<Launches> m_launches;
};

// Why xdg-open failed, from its exit status and what it wrote to standard
// error (its last line says most).
QString xdgOpenFailure(int exitCode, const QByteArray& standardError);

} // namespace quillon
