#pragma once
// Helpers of the desktop benchmarks: boxes and a desktop that do nothing,
// the resident set size, and a stopwatch.
#include "desktop_shell.h"
#include "message_boxes.h"
#include "sys_info.h"

#include <QElapsedTimer>
#include <fstream>
#include <string>

namespace benchapp {

class SilentBoxes final : public quillon::MessageBoxes {
public:
    quillon::MsgAnswer show(QWidget*, const QString&, quillon::MsgButtons b, quillon::MessageIcon) override
    {
        return b == quillon::MsgButtons::Ok ? quillon::MsgAnswer::Ok : quillon::MsgAnswer::No;
    }
};

class NoShell final : public quillon::DesktopShell {
public:
    void open(const QString&, Failed) override {}
};

class NoStarter final : public quillon::ProgramStarter {
public:
    bool fileExists(const QString&) override { return false; }
    QString findOnPath(const QString&) override { return {}; }
    bool start(const QString&) override { return false; }
};

// Resident set size in bytes, from /proc.
inline long long rssBytes()
{
    std::ifstream f("/proc/self/statm");
    long long pages = 0, resident = 0;
    f >> pages >> resident;
    return resident * 4096;
}

} // namespace benchapp
