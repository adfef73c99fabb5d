#include "trash.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStorageInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace quillon {

namespace {

// The bytes as a QString that names the same file again, if there is one.
bool asName(const QByteArray& bytes, QString* name)
{
    *name = QFile::decodeName(bytes);
    return QFile::encodeName(*name) == bytes;
}

} // namespace

bool DesktopTrash::holds(const QByteArray& folder)
{
    QString dir;
    if (!asName(folder, &dir))
        return false;
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // As QFile::moveToTrash chooses: the home trash on the home's file
    // system; elsewhere the top folder's sticky ".Trash", or a
    // ".Trash-<uid>" there that exists or can be made.
    const QStorageInfo storage(dir);
    if (!storage.isValid())
        return false;
    if (storage == QStorageInfo(QDir::home()))
        return !QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).isEmpty();
    const QString top = storage.rootPath();
    struct stat st {};
    const QByteArray shared = QFile::encodeName(top + QStringLiteral("/.Trash"));
    if (::lstat(shared.constData(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX))
        return true;
    const QString own = top + QStringLiteral("/.Trash-") + QString::number(::getuid());
    if (QFileInfo(own).isDir())
        return QFileInfo(own).isWritable();
    return QFileInfo(top).isWritable();
#else
    return true;
#endif
}

bool DesktopTrash::moveToTrash(const QByteArray& path, QString* error)
{
    QString name;
    if (!asName(path, &name)) {
        if (error)
            *error = QStringLiteral("its name cannot be handed to the trash");
        return false;
    }
#if defined(Q_OS_UNIX) && !defined(Q_OS_DARWIN)
    // The home trash lives in the user's data folder.  Where that folder is
    // missing (a new account), QFile::moveToTrash would put the file in a
    // "files" folder under the current folder instead: make it first.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
    if (data.isEmpty() || !QDir().mkpath(data)) {
        if (error)
            *error = QStringLiteral("there is no data folder to hold the trash");
        return false;
    }
#endif
    QFile file(name);
    if (file.moveToTrash())
        return true;
    if (error)
        *error = file.errorString();
    return false;
}

} // namespace quillon
