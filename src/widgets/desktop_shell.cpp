#include "desktop_shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace quillon {

bool QtDesktopShell::open(const QString& pathOrAddress)
{
    const bool isAddress = pathOrAddress.startsWith(QLatin1String("http://"))
        || pathOrAddress.startsWith(QLatin1String("https://"));
    // A file: URL carries a name's bytes percent-encoded, also bytes that
    // are not UTF-8; it is passed on as written.
    const bool isFileUrl = pathOrAddress.startsWith(QLatin1String("file://"));
    const QUrl url = isAddress ? QUrl(pathOrAddress)
        : isFileUrl            ? QUrl::fromEncoded(pathOrAddress.toLatin1())
                               : QUrl::fromLocalFile(pathOrAddress);
    return QDesktopServices::openUrl(url);
}

} // namespace quillon
