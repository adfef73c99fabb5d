#pragma once
// The program's command line: Quillon [PATH] | --help | --version.
#include <QString>
#include <QStringList>
#include <optional>

namespace quillon {

struct CommandLine {
    bool help = false;
    bool version = false;
    std::optional<QString> path; // the PATH argument as given
    QString error;               // non-empty: bad usage, said in this text
};

// Reads the arguments after the program name (the toolkit's own options
// already removed).
CommandLine parseCommandLine(const QStringList& arguments);
QString commandLineHelp();

// The search folder a PATH argument (or a dropped path) names, made
// absolute against currentDir: a folder itself, a file its folder; a path
// that names nothing is only made absolute, so the search reports it.
QString searchFolderFor(const QString& path, const QString& currentDir);

} // namespace quillon
