#include "desktop_shell.h"

#include <QDesktopServices>
#include <QUrl>

namespace quillon {

bool QtDesktopShell::open(const QString& pathOrAddress)
{
    const bool isAddress = pathOrAddress.startsWith(QLatin1String("http://"))
        || pathOrAddress.startsWith(QLatin1String("https://"));
    const QUrl url = isAddress ? QUrl(pathOrAddress) : QUrl::fromLocalFile(pathOrAddress);
    return QDesktopServices::openUrl(url);
}

} // namespace quillon
