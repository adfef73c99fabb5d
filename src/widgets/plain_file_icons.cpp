#include "plain_file_icons.h"

#include <QFileInfo>
#include <QMimeDatabase>

#include <sys/stat.h>
#include <sys/vfs.h>

namespace quillon {

namespace {

// Kernel file systems whose files are interfaces rather than documents.
bool isKernelFileSystem(long type)
{
    switch (static_cast<unsigned long>(type)) {
    case 0x9fa0UL:      // proc
    case 0x62656572UL:  // sysfs
    case 0x1373UL:      // devfs
    case 0x1cd1UL:      // devpts
    case 0x64626720UL:  // debugfs
    case 0x74726163UL:  // tracefs
    case 0x73636673UL:  // securityfs
    case 0x27e0ebUL:    // cgroup
    case 0x63677270UL:  // cgroup2
    case 0x6165676cUL:  // pstore
    case 0xcafe4a11UL:  // bpf
    case 0x62656570UL:  // configfs
    case 0x19800202UL:  // mqueue
    case 0x42494e4dUL:  // binfmt_misc
    case 0xf97cff8cUL:  // selinuxfs
    case 0x65735546UL:  // fuse control
        return true;
    default:
        return false;
    }
}

} // namespace

QIcon PlainFileIconProvider::icon(const QFileInfo& info) const
{
    if (info.isDir())
        return icon(QFileIconProvider::Folder);
    return icon(QFileIconProvider::File);
}

QString PlainFileIconProvider::type(const QFileInfo& info) const
{
    if (info.isDir())
        return QStringLiteral("Folder");
    struct stat st {};
    const QByteArray native = QFile::encodeName(info.absoluteFilePath());
    if (::stat(native.constData(), &st) == 0 && !S_ISREG(st.st_mode)) {
        if (S_ISFIFO(st.st_mode))
            return QStringLiteral("Pipe");
        if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode))
            return QStringLiteral("Device");
        if (S_ISSOCK(st.st_mode))
            return QStringLiteral("Socket");
        return QStringLiteral("Special file");
    }
    // By the name only: no byte of the file is read.
    static const QMimeDatabase db;
    const QMimeType mime = db.mimeTypeForFile(info.fileName(), QMimeDatabase::MatchExtension);
    if (mime.isValid() && !mime.isDefault())
        return mime.comment().isEmpty() ? mime.name() : mime.comment();
    return QStringLiteral("File");
}

bool isOrdinaryFolder(const QString& path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return false;
    struct statfs fs {};
    if (::statfs(QFile::encodeName(info.absoluteFilePath()).constData(), &fs) != 0)
        return false;
    return !isKernelFileSystem(static_cast<long>(fs.f_type));
}

} // namespace quillon
