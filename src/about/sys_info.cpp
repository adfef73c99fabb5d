#include "sys_info.h"

#include "message_boxes.h"

#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>

#ifdef _WIN32
#include <windows.h>
#endif

namespace quillon {

std::optional<RegistryValue> SystemRegistry::read(std::uint32_t keyRoot, const QString& keyName,
                                                  const QString& subKeyRef)
{
#ifdef _WIN32
    HKEY key = nullptr;
    const QByteArray name = keyName.toLocal8Bit();
    if (RegOpenKeyExA(reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(keyRoot)), name.constData(), 0,
                      KEY_READ, &key) != ERROR_SUCCESS)
        return std::nullopt;
    QByteArray buffer(kRegBufferSize, '\0');
    DWORD size = kRegBufferSize;
    DWORD type = 0;
    const QByteArray value = subKeyRef.toLocal8Bit();
    const LONG rc = RegQueryValueExA(key, value.constData(), nullptr, &type,
                                     reinterpret_cast<LPBYTE>(buffer.data()), &size);
    RegCloseKey(key);
    if (rc != ERROR_SUCCESS)
        return std::nullopt;
    buffer.truncate(static_cast<int>(size));
    return RegistryValue{type, buffer};
#else
    Q_UNUSED(keyRoot);
    Q_UNUSED(keyName);
    Q_UNUSED(subKeyRef);
    return std::nullopt;
#endif
}

bool GetKeyValue(Registry& registry, std::uint32_t KeyRoot, const QString& KeyName,
                 const QString& SubKeyRef, QString& KeyVal)
{
    const std::optional<RegistryValue> v = registry.read(KeyRoot, KeyName, SubKeyRef);
    if (!v || v->data.size() > kRegBufferSize) {
        KeyVal.clear();
        return false;
    }
    QByteArray kept = v->data;
    if (!kept.isEmpty() && kept.back() == '\0')
        kept.chop(1);
    if (v->type == kRegSz) {
        KeyVal = QString::fromLocal8Bit(kept);
    } else if (v->type == kRegDword) {
        // The kept bytes, last first, read as one hexadecimal number.
        quint64 n = 0;
        for (qsizetype i = kept.size() - 1; i >= 0; --i)
            n = (n << 8) | static_cast<unsigned char>(kept[i]);
        KeyVal = QString::number(static_cast<qint32>(static_cast<quint32>(n)));
    } else {
        KeyVal.clear();
    }
    return true;
}

bool SystemProgramStarter::fileExists(const QString& path)
{
    return QFileInfo(path).isFile();
}

QString SystemProgramStarter::findOnPath(const QString& name)
{
    return QStandardPaths::findExecutable(name);
}

bool SystemProgramStarter::start(const QString& program)
{
    return QProcess::startDetached(program, {});
}

QStringList sysInfoCandidates()
{
    return {QStringLiteral("hardinfo2"),           QStringLiteral("hardinfo"),
            QStringLiteral("gnome-system-monitor"), QStringLiteral("plasma-systemmonitor"),
            QStringLiteral("ksysguard"),            QStringLiteral("xfce4-taskmanager"),
            QStringLiteral("lshw-gtk")};
}

QString StartSysInfo(Registry& registry, ProgramStarter& starter, MessageBoxes& boxes,
                     QWidget* parent)
{
    QString path;
    if (GetKeyValue(registry, kHKeyLocalMachine, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"),
                    QStringLiteral("PATH"), path)) {
        if (starter.start(path))
            return path;
    } else if (GetKeyValue(registry, kHKeyLocalMachine,
                           QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"),
                           QStringLiteral("MSINFO"), path)) {
        const QString exe = path + QStringLiteral("\\MSINFO32.EXE");
        if (starter.fileExists(exe) && starter.start(exe))
            return exe;
    } else {
        // No registry here: a desktop program of the same kind found on PATH.
        for (const QString& name : sysInfoCandidates()) {
            const QString found = starter.findOnPath(name);
            if (!found.isEmpty() && starter.start(found))
                return found;
        }
    }
    boxes.show(parent, QString::fromLatin1(kSysInfoUnavailable), MsgButtons::Ok, MessageIcon::None);
    return QString();
}

} // namespace quillon
