// When the desktop cannot open a file, a folder, the help page or the
// product page, the user is told what and why (before, the only trace was a
// line on standard error).  The platform opener is exercised with stand-in
// xdg-open scripts that fail as the real one does.
#include "desktop_shell.h"
#include "install_paths.h"
#include "result_model.h"
#include "window_fixture.h"

#include <QAction>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace quillon;

namespace {

// Puts an xdg-open that runs `body` first on the PATH while it lives.
class StandInOpener {
public:
    explicit StandInOpener(const QByteArray& body) : m_path(qgetenv("PATH"))
    {
        const QString script = m_dir.filePath(QStringLiteral("xdg-open"));
        testing_app::writeBytes(script, "#!/bin/sh\n" + body + "\n");
        QFile::setPermissions(script, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        qputenv("PATH", m_dir.path().toLocal8Bit() + ':' + m_path);
    }
    ~StandInOpener() { qputenv("PATH", m_path); }
    QString file(const QString& name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    QByteArray m_path;
};

// With the platform's opener, or with the fake one that records and fails
// on request.
MainWindowServices withOpener(MainWindowServices s, DesktopShell* opener)
{
    if (opener)
        s.shell = opener;
    return s;
}

struct Window : testing_app::FakeServices {
    QTemporaryDir dir;
    QtDesktopShell desktop;
    FrmMain w;

    explicit Window(bool platformOpener = false) : w(withOpener(services(), platformOpener ? &desktop : nullptr))
    {
        testing_app::writePdf(dir.filePath(QStringLiteral("a.pdf")), 1);
        search::ResultRow r;
        r.name = "a.pdf";
        r.key = r.path = dir.filePath(QStringLiteral("a.pdf")).toStdString();
        r.pages = 1;
        r.hasPageCount = true;
        r.icon = 2;
        std::vector<search::ResultRow> rows{r};
        w.AppendRows(std::move(rows));
        w.session().EnableResultActions(1);
        w.list()->selectRow(0);
    }
    QAction* action(const char* name) { return testing_app::control<QAction>(w, name); }
};

} // namespace

class LaunchFailuresTest : public QObject {
    Q_OBJECT
private slots:
    // Each command names what could not be opened and gives the desktop's
    // reason; a desktop that opens it says nothing.
    void eachOpenCommandSaysWhatFailedAndWhy()
    {
        Window win;
        const QString reason = QStringLiteral("No program that opens it was found.");
        const QString file = QDir::toNativeSeparators(win.dir.filePath(QStringLiteral("a.pdf")));
        const QString folder = QDir::toNativeSeparators(win.dir.path()) + QDir::separator();
        const QString help = QDir::toNativeSeparators(helpPagePath(QCoreApplication::applicationDirPath()));

        win.action("mnuOPen")->trigger();
        win.action("Cont")->trigger();
        win.action("mnHelp")->trigger();
        win.action("IntSuppage")->trigger();
        QCOMPARE(win.shell.opened.size(), 4);
        QVERIFY(win.boxes.texts.isEmpty());

        win.shell.failWith = reason;
        win.action("mnuOPen")->trigger();
        win.action("Cont")->trigger();
        win.action("mnHelp")->trigger();
        win.action("IntSuppage")->trigger();
        const QStringList expected{
            QStringLiteral("The file could not be opened:\n%1\n\n%2").arg(file, reason),
            QStringLiteral("The folder could not be opened:\n%1\n\n%2").arg(folder, reason),
            QStringLiteral("The help page could not be opened:\n%1\n\n%2").arg(help, reason),
            QStringLiteral("The web page could not be opened:\n%1\n\n%2").arg(QString::fromLatin1(kProductSiteAddress), reason),
        };
        QCOMPARE(win.boxes.texts, expected);
        for (MessageIcon icon : win.boxes.icons)
            QCOMPARE(icon, MessageIcon::Warning);
    }

    // The real opener: xdg-open's exit status and last word become the
    // reason; a launch that works says nothing.
    void xdgOpenFailuresBecomeReasons()
    {
        {
            StandInOpener opener("echo \"xdg-open: no method available for opening '$1'\" >&2; exit 3");
            QtDesktopShell shell;
            QString reason;
            shell.open(QStringLiteral("/srv/scan.tif"), [&](const QString& r) { reason = r; });
            QTRY_VERIFY(!reason.isEmpty());
            QCOMPARE(reason, QStringLiteral("No program that opens it was found.\n"
                                            "no method available for opening '/srv/scan.tif'"));
        }
        {
            StandInOpener opener("exit 4");
            QtDesktopShell shell;
            QString reason;
            shell.open(QStringLiteral("https://example.org/"), [&](const QString& r) { reason = r; });
            QTRY_COMPARE(reason, QStringLiteral("The program that opens it could not open it."));
        }
        {
            StandInOpener opener("printf '%s' \"$1\" > \"$(dirname \"$0\")/asked\"");
            QtDesktopShell shell;
            bool failed = false;
            shell.open(QStringLiteral("/srv/a b.pdf"), [&](const QString&) { failed = true; });
            QTRY_VERIFY(QFile::exists(opener.file(QStringLiteral("asked"))));
            QTest::qWait(200);
            QVERIFY(!failed);
            QFile asked(opener.file(QStringLiteral("asked")));
            QVERIFY(asked.open(QIODevice::ReadOnly));
            QCOMPARE(asked.readAll(), QByteArray("/srv/a b.pdf"));
        }
        {
            // An opener still running (it waits for the program it started)
            // when the shell goes is no failure and no hang.
            StandInOpener opener("sleep 30");
            auto shell = std::make_unique<QtDesktopShell>();
            bool failed = false;
            shell->open(QStringLiteral("/srv/a.pdf"), [&](const QString&) { failed = true; });
            QTest::qWait(200);
            QElapsedTimer t;
            t.start();
            shell.reset();
            QVERIFY(t.elapsed() < 5000);
            QVERIFY(!failed);
        }
    }

    // End to end: the window with the real opener tells the user.
    void theWindowTellsWhatTheDesktopSaid()
    {
        StandInOpener opener("echo \"xdg-open: no method available for opening '$1'\" >&2; exit 3");
        Window real(true);
        real.action("mnuOPen")->trigger();
        QTRY_COMPARE(real.boxes.texts.size(), 1);
        QVERIFY2(real.boxes.texts[0].startsWith(QStringLiteral("The file could not be opened:\n")),
                 qPrintable(real.boxes.texts[0]));
        QVERIFY(real.boxes.texts[0].endsWith(QStringLiteral("No program that opens it was found.\n"
                                                            "no method available for opening '%1'")
                                                 .arg(real.dir.filePath(QStringLiteral("a.pdf")))));
    }
};

QTEST_MAIN(LaunchFailuresTest)
#include "launch_failures_test.moc"
