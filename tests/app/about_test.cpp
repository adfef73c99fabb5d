// The about box: registry value rules, the system-information launcher and
// its fallback message, and the box's life.
#include "about_dialog.h"
#include "fixtures.h"
#include "splash.h"
#include "sys_info.h"

#include <QLabel>
#include <QPushButton>
#include <QtTest>

using namespace quillon;
using testing_app::FakeBoxes;
using testing_app::FakeRegistry;
using testing_app::FakeStarter;

namespace {
const QString kMsinfoKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO|PATH");
const QString kLocationKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location|MSINFO");
} // namespace

class AboutTest : public QObject {
    Q_OBJECT
private slots:
    // One version everywhere: the about box and the splash say the
    // project's version, which --version prints too.
    void theVersionIsTheProjectVersion()
    {
        FakeRegistry reg;
        FakeStarter starter;
        FakeBoxes boxes;
        DlgAbout about(reg, starter, boxes);
        const QString expected = QStringLiteral("QUILLON COUNTER " PROJECT_VERSION_TEXT);
        QCOMPARE(about.findChild<QLabel*>(QStringLiteral("Label1"))->text(), expected);
        FrmSplash splash;
        QCOMPARE(splash.findChild<QLabel*>(QStringLiteral("Label1"))->text(), expected);
    }

    void getKeyValueTrimsOneTrailingNul()
    {
        FakeRegistry reg;
        reg.values[QStringLiteral("K|withNul")] = {kRegSz, QByteArray("C:\\tools\0", 9)};
        reg.values[QStringLiteral("K|noNul")] = {kRegSz, QByteArray("C:\\tools")};
        reg.values[QStringLiteral("K|empty")] = {kRegSz, QByteArray()};
        reg.values[QStringLiteral("K|number")] = {kRegDword, QByteArray("\x10\x01\0\0", 4)};
        reg.values[QStringLiteral("K|huge")] = {kRegSz, QByteArray(2000, 'a')};
        QString v = QStringLiteral("old");
        QVERIFY(GetKeyValue(reg, kHKeyLocalMachine, "K", "withNul", v));
        QCOMPARE(v, QStringLiteral("C:\\tools"));
        QVERIFY(GetKeyValue(reg, kHKeyLocalMachine, "K", "noNul", v));
        QCOMPARE(v, QStringLiteral("C:\\tools"));
        QVERIFY(GetKeyValue(reg, kHKeyLocalMachine, "K", "empty", v));
        QCOMPARE(v, QString());
        QVERIFY(GetKeyValue(reg, kHKeyLocalMachine, "K", "number", v));
        QCOMPARE(v, QStringLiteral("272"));
        v = QStringLiteral("old");
        QVERIFY(!GetKeyValue(reg, kHKeyLocalMachine, "K", "huge", v));
        QCOMPARE(v, QString());
        v = QStringLiteral("old");
        QVERIFY(!GetKeyValue(reg, kHKeyLocalMachine, "K", "missing", v));
        QCOMPARE(v, QString());
    }

    void firstValueStartsItsProgram()
    {
        FakeRegistry reg;
        reg.values[kMsinfoKey] = {kRegSz, QByteArray("C:\\msinfo\\msinfo32.exe\0", 23)};
        FakeStarter starter;
        FakeBoxes boxes;
        QCOMPARE(StartSysInfo(reg, starter, boxes, nullptr), QStringLiteral("C:\\msinfo\\msinfo32.exe"));
        QCOMPARE(starter.started, QStringList{"C:\\msinfo\\msinfo32.exe"});
        QVERIFY(boxes.texts.isEmpty());
    }

    void secondValueNeedsTheProgramFile()
    {
        FakeRegistry reg;
        reg.values[kLocationKey] = {kRegSz, QByteArray("C:\\shared")};
        FakeStarter starter;
        FakeBoxes boxes;
        QCOMPARE(StartSysInfo(reg, starter, boxes, nullptr), QString());
        QCOMPARE(boxes.texts, QStringList{"System Information Is Unavailable At This Time"});
        QVERIFY(starter.started.isEmpty());

        starter.existing << QStringLiteral("C:\\shared\\MSINFO32.EXE");
        QCOMPARE(StartSysInfo(reg, starter, boxes, nullptr), QStringLiteral("C:\\shared\\MSINFO32.EXE"));
    }

    void withoutRegistryLooksOnPath()
    {
        FakeRegistry reg;
        FakeStarter starter;
        FakeBoxes boxes;
        starter.onPath << QStringLiteral("gnome-system-monitor") << QStringLiteral("xfce4-taskmanager");
        QCOMPARE(StartSysInfo(reg, starter, boxes, nullptr), QStringLiteral("/usr/bin/gnome-system-monitor"));
        QVERIFY(boxes.texts.isEmpty());
    }

    void nothingToStartShowsTheMessage()
    {
        FakeRegistry reg;
        FakeStarter starter;
        FakeBoxes boxes;
        QCOMPARE(StartSysInfo(reg, starter, boxes, nullptr), QString());
        QCOMPARE(boxes.texts, QStringList{"System Information Is Unavailable At This Time"});

        // A program that is found but will not start ends the same way.
        starter.onPath << QStringLiteral("hardinfo");
        starter.canStart = false;
        boxes.texts.clear();
        StartSysInfo(reg, starter, boxes, nullptr);
        QCOMPARE(boxes.texts, QStringList{"System Information Is Unavailable At This Time"});
    }

    void realRegistryFindsNothingHere()
    {
#ifndef _WIN32
        SystemRegistry reg;
        QString v = QStringLiteral("x");
        QVERIFY(!GetKeyValue(reg, kHKeyLocalMachine, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", v));
        QCOMPARE(v, QString());
#endif
    }

    void boxIsModelessAndItsButtonsWork()
    {
        FakeRegistry reg;
        FakeStarter starter;
        FakeBoxes boxes;
        DlgAbout box(reg, starter, boxes);
        QCOMPARE(box.windowTitle(), QStringLiteral("About"));
        QVERIFY(!box.isModal());
        QCOMPARE(box.okButton()->text(), QStringLiteral("&OK"));
        QCOMPARE(box.sysInfoButton()->text(), QStringLiteral("System Info..."));
        box.show();
        QVERIFY(box.isVisible());
        box.sysInfoButton()->click();
        QCOMPARE(boxes.texts, QStringList{"System Information Is Unavailable At This Time"});
        box.okButton()->click();
        QVERIFY(!box.isVisible());
    }
};

QTEST_MAIN(AboutTest)
#include "about_test.moc"
