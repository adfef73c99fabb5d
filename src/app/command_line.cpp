#include "command_line.h"

#include <QDir>
#include <QFileInfo>

namespace quillon {

CommandLine parseCommandLine(const QStringList& arguments)
{
    CommandLine c;
    bool endOfOptions = false;
    for (const QString& a : arguments) {
        if (!endOfOptions && a == QLatin1String("--")) {
            endOfOptions = true;
        } else if (!endOfOptions && (a == QLatin1String("--help") || a == QLatin1String("-h"))) {
            c.help = true;
        } else if (!endOfOptions && (a == QLatin1String("--version") || a == QLatin1String("-v"))) {
            c.version = true;
        } else if (!endOfOptions && a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            c.error = QStringLiteral("unknown option %1").arg(a);
        } else if (c.path) {
            c.error = QStringLiteral("only one PATH may be given");
        } else {
            c.path = a;
        }
    }
    return c;
}

QString commandLineHelp()
{
    return QStringLiteral(
        "usage: Quillon [PATH]\n"
        "Finds the TIFF and PDF files below a folder and counts their pages.\n"
        "\n"
        "  PATH           start with this folder as the search path (a file: its folder)\n"
        "  -h, --help     print this text and exit\n"
        "  -v, --version  print the version and exit\n"
        "\n"
        "quillon-count counts from the command line; see quillon-count --help.\n");
}

QString searchFolderFor(const QString& path, const QString& currentDir)
{
    const QFileInfo info(QDir(currentDir), path);
    const QString absolute = QDir::cleanPath(info.absoluteFilePath());
    if (info.isDir())
        return QDir::toNativeSeparators(absolute);
    if (info.exists())
        return QDir::toNativeSeparators(info.absolutePath());
    return QDir::toNativeSeparators(absolute);
}

} // namespace quillon
