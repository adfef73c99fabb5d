#include "local_file.h"

#include <export/utf8.h>

#include <QUrl>
#include <filesystem>
#include <system_error>

namespace quillon {

namespace {

std::filesystem::path fsPath(const QByteArray& bytes)
{
#ifdef _WIN32
    // Windows names are UTF-16; the bytes are their UTF-8.
    const std::string s = bytes.toStdString();
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
#else
    return std::filesystem::path(bytes.toStdString());
#endif
}

} // namespace

LocalFileState localFileState(const QByteArray& path)
{
    namespace fs = std::filesystem;
    LocalFileState s;
    std::error_code ec;
    const fs::path p = fsPath(path);
    const fs::file_status link = fs::symlink_status(p, ec);
    if (ec || !fs::exists(link))
        return s;
    s.exists = true;
    s.isSymLink = fs::is_symlink(link);
    const fs::file_status target = fs::status(p, ec);
    s.isRegular = !ec && fs::is_regular_file(target);
    s.writable = !ec && (target.permissions() & fs::perms::owner_write) != fs::perms::none;
    return s;
}

bool removeLocalFile(const QByteArray& path, QString* error)
{
    namespace fs = std::filesystem;
    const fs::path p = fsPath(path);
    std::error_code ec;
    if (fs::remove(p, ec))
        return true;
    if (!localFileState(path).writable) {
        std::error_code ignored;
        fs::permissions(p, fs::perms::owner_write, fs::perm_options::add, ignored);
        ec.clear();
        if (fs::remove(p, ec))
            return true;
    }
    if (error)
        *error = ec ? QString::fromLocal8Bit(ec.message()) : QStringLiteral("it is no longer there");
    return false;
}

QString shellTarget(const QByteArray& path)
{
    if (exporting::IsValidUtf8(path.toStdString()))
        return QString::fromUtf8(path);
    // Unreserved characters and "/" stay as they are; every other byte is %XX.
    return QStringLiteral("file://")
        + QString::fromLatin1(path.toPercentEncoding(QByteArrayLiteral("/")));
}

QByteArray containingFolderBytes(const QByteArray& path)
{
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArrayLiteral("./") : path.left(slash + 1);
}

} // namespace quillon
