#include "install_paths.h"

#include <QDir>
#include <QFileInfo>

#ifndef QUILLON_DATA_FROM_BINDIR
#define QUILLON_DATA_FROM_BINDIR "../share/quillon"
#endif

namespace quillon {

QString helpPagePath(const QString& exeDir)
{
    const QString beside = QDir(exeDir).filePath(QStringLiteral("help.htm"));
    if (QFileInfo::exists(beside))
        return beside;
    const QString installed = QDir::cleanPath(
        QDir(exeDir).filePath(QStringLiteral(QUILLON_DATA_FROM_BINDIR "/help.htm")));
    return QFileInfo::exists(installed) ? installed : beside;
}

} // namespace quillon
