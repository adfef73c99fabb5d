#pragma once
// The about box's system-information launcher and the registry reads it makes.
// The registry exists only on Windows; elsewhere the real reader finds nothing
// and the launcher looks for a desktop system-information program on PATH.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

class QWidget;

namespace quillon {

class MessageBoxes;

inline constexpr std::uint32_t kHKeyLocalMachine = 0x80000002u;
inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegDword = 4;
inline constexpr int kRegBufferSize = 1024;

// One raw registry value: its type and its data bytes.
struct RegistryValue {
    std::uint32_t type = 0;
    QByteArray data;
};

class Registry {
public:
    virtual ~Registry() = default;
    // Opens KeyName under KeyRoot and reads value SubKeyRef; nothing when the
    // key cannot be opened or the value cannot be read.
    virtual std::optional<RegistryValue> read(std::uint32_t keyRoot, const QString& keyName,
                                              const QString& subKeyRef) = 0;
};

// The Windows registry on Windows; nothing anywhere else.
class SystemRegistry final : public Registry {
public:
    std::optional<RegistryValue> read(std::uint32_t keyRoot, const QString& keyName,
                                      const QString& subKeyRef) override;
};

// Reads one value as text into KeyVal. A string value loses one trailing NUL;
// a 32-bit number is written in decimal. False, with KeyVal empty, when the
// key or value cannot be read or the data does not fit the 1,024-byte buffer.
bool GetKeyValue(Registry& registry, std::uint32_t KeyRoot, const QString& KeyName,
                 const QString& SubKeyRef, QString& KeyVal);

// What StartSysInfo needs of the system besides the registry.
class ProgramStarter {
public:
    virtual ~ProgramStarter() = default;
    virtual bool fileExists(const QString& path) = 0;
    // Full path of a program found on PATH, or empty text.
    virtual QString findOnPath(const QString& name) = 0;
    // Starts a program with normal window focus; false when it cannot start.
    virtual bool start(const QString& program) = 0;
};

class SystemProgramStarter final : public ProgramStarter {
public:
    bool fileExists(const QString& path) override;
    QString findOnPath(const QString& name) override;
    bool start(const QString& program) override;
};

// Desktop system-information programs looked for on PATH, best first.
QStringList sysInfoCandidates();

inline const char* const kSysInfoUnavailable = "System Information Is Unavailable At This Time";

// Starts the system-information program, or tells that there is none.
// Returns the program started, or empty text when the message was shown.
QString StartSysInfo(Registry& registry, ProgramStarter& starter, MessageBoxes& boxes,
                     QWidget* parent);

} // namespace quillon
