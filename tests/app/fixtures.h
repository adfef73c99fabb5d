#pragma once
// Test helpers: files the counters can read, and message boxes and a desktop
// that record what they are asked instead of showing or launching anything.
#include "desktop_shell.h"
#include "message_boxes.h"
#include "sys_info.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>

namespace testing_app {

// A classic PDF of `pages` pages with a correct cross-reference table;
// `padTo` pads the file with a comment to about that many bytes; every page
// has `mediaBox` (US Letter unless said).
inline void writePdf(const QString& path, int pages, qint64 padTo = 0, const QByteArray& mediaBox = "0 0 612 792")
{
    QByteArray out = "%PDF-1.4\n";
    if (padTo > 0) {
        const qint64 fill = padTo - 600 - 60 * pages;
        for (qint64 left = fill; left > 0; left -= 1000)
            out += "%" + QByteArray(std::min<qint64>(left, 1000) - 2, 'x') + "\n";
    }
    QList<qint64> offsets;
    auto obj = [&](int n, const QByteArray& body) {
        offsets.append(out.size());
        out += QByteArray::number(n) + " 0 obj\n" + body + "\nendobj\n";
    };
    obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    QByteArray kids;
    for (int i = 0; i < pages; ++i)
        kids += QByteArray::number(3 + i) + " 0 R ";
    obj(2, "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>");
    for (int i = 0; i < pages; ++i)
        obj(3 + i, "<< /Type /Page /Parent 2 0 R /MediaBox [" + mediaBox + "] >>");
    const qint64 xref = out.size();
    const int count = 3 + pages;
    out += "xref\n0 " + QByteArray::number(count) + "\n0000000000 65535 f \n";
    for (qint64 off : offsets)
        out += QByteArray::number(off).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(count) + " /Root 1 0 R >>\nstartxref\n"
        + QByteArray::number(xref) + "\n%%EOF\n";
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(out);
}

// A little-endian TIFF of `pages` 1x1 grey pages.
inline void writeTiff(const QString& path, int pages)
{
    QByteArray out("II*\0\0\0\0\0", 8);
    auto u16 = [&](quint16 v) { out.append(char(v & 0xff)).append(char(v >> 8)); };
    auto u32 = [&](quint32 v) { for (int i = 0; i < 4; ++i) out.append(char((v >> (8 * i)) & 0xff)); };
    auto patch32 = [&](int at, quint32 v) { for (int i = 0; i < 4; ++i) out[at + i] = char((v >> (8 * i)) & 0xff); };
    int nextPointer = 4;
    for (int p = 0; p < pages; ++p) {
        const quint32 pixel = out.size();
        out.append(char(0x80)).append(char(0));
        patch32(nextPointer, out.size());
        u16(9);
        auto entry = [&](quint16 tag, quint16 type, quint32 value) {
            u16(tag); u16(type); u32(1);
            if (type == 3) { u16(static_cast<quint16>(value)); u16(0); } else u32(value);
        };
        entry(256, 3, 1); entry(257, 3, 1); entry(258, 3, 8); entry(259, 3, 1); entry(262, 3, 1);
        entry(273, 4, pixel); entry(277, 3, 1); entry(278, 3, 1); entry(279, 4, 1);
        nextPointer = out.size();
        u32(0);
    }
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(out);
}

inline void writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    f.write(bytes);
}

// Message boxes answered from a queue (Yes/No questions take the next
// answer, OK boxes need none); every text shown is kept.
class FakeBoxes final : public quillon::MessageBoxes {
public:
    quillon::MsgAnswer show(QWidget*, const QString& text, quillon::MsgButtons buttons,
                            quillon::MessageIcon icon) override
    {
        texts << text;
        icons.push_back(icon);
        if (onShow)
            onShow(text);
        if (buttons != quillon::MsgButtons::Ok) {
            if (answers.empty())
                return quillon::MsgAnswer::No;
            const quillon::MsgAnswer a = answers.front();
            answers.pop_front();
            return a;
        }
        return quillon::MsgAnswer::Ok;
    }
    QStringList texts;
    std::vector<quillon::MessageIcon> icons;
    std::deque<quillon::MsgAnswer> answers;
    // Runs while the box is up (the modal wait), with its text.
    std::function<void(const QString&)> onShow;
};

class FakeShell final : public quillon::DesktopShell {
public:
    void open(const QString& p, Failed failed) override
    {
        opened << p;
        if (!failWith.isEmpty() && failed)
            failed(failWith);
    }
    QStringList opened;
    QString failWith; // the desktop's reason, when it cannot open anything
};

class FakeRegistry final : public quillon::Registry {
public:
    std::optional<quillon::RegistryValue> read(std::uint32_t, const QString& key, const QString& value) override
    {
        reads << key + QLatin1Char('|') + value;
        const auto it = values.find(key + QLatin1Char('|') + value);
        if (it == values.end())
            return std::nullopt;
        return it->second;
    }
    std::map<QString, quillon::RegistryValue> values;
    QStringList reads;
};

class FakeStarter final : public quillon::ProgramStarter {
public:
    bool fileExists(const QString& p) override { return existing.contains(p); }
    QString findOnPath(const QString& name) override { return onPath.contains(name) ? "/usr/bin/" + name : QString(); }
    bool start(const QString& program) override { started << program; return canStart; }
    QStringList existing, onPath, started;
    bool canStart = true;
};

} // namespace testing_app
