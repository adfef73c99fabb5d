// Quillon's start-up: the splash for one timer tick, then the main window.
//
// One hook exists for scripts/screenshot.sh: with QUILLON_SCREENSHOT=<png>
// and QUILLON_SCREENSHOT_FOLDER=<folder> set, the program skips the splash,
// searches that folder for both kinds (subfolders included), answers its own
// message boxes, saves a picture of the window to <png> and exits.
#include "icons.h"
#include "desktop_shell.h"
#include "main_window.h"
#include "message_boxes.h"
#include "splash.h"
#include "sys_info.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

namespace {

// Message boxes that answer themselves, for the unattended screenshot run.
class AnsweringBoxes final : public quillon::MessageBoxes {
public:
    quillon::MsgAnswer show(QWidget*, const QString&, quillon::MsgButtons b, quillon::MsgIcon) override
    {
        return b == quillon::MsgButtons::YesNo ? quillon::MsgAnswer::No : quillon::MsgAnswer::Ok;
    }
};

int screenshotRun(QApplication& app, const QString& png, const QString& folder)
{
    AnsweringBoxes boxes;
    quillon::QtDesktopShell shell;
    quillon::SystemRegistry registry;
    quillon::SystemProgramStarter starter;
    quillon::FrmMain w({&boxes, &shell, &registry, &starter, {}});
    w.resize(900, 520);
    w.show();
    w.findChild<QLineEdit*>(QStringLiteral("txtSearchPath"))->setText(folder);
    w.findChild<QCheckBox*>(QStringLiteral("chkSearchOption0"))->setChecked(true);
    w.findChild<QCheckBox*>(QStringLiteral("chkSearchOption1"))->setChecked(true);
    w.findChild<QCheckBox*>(QStringLiteral("chkRecursive"))->setChecked(true);
    int rc = 1;
    QObject::connect(&w, &quillon::FrmMain::searchFinished, &app, [&] {
        w.AutoSizeColumns();
        QTimer::singleShot(300, &app, [&] {
            rc = w.grab().save(png) ? 0 : 1;
            app.quit();
        });
    });
    QTimer::singleShot(200, &w, [&] { w.findChild<QPushButton*>(QStringLiteral("cmdControl0"))->click(); });
    QTimer::singleShot(60000, &app, [&] { app.quit(); });
    app.exec();
    return rc;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setWindowIcon(quillon::programIcon());

    const QString png = qEnvironmentVariable("QUILLON_SCREENSHOT");
    if (!png.isEmpty())
        return screenshotRun(app, png, qEnvironmentVariable("QUILLON_SCREENSHOT_FOLDER"));

    {
        quillon::FrmSplash frmSplash;
        if (QScreen* s = QGuiApplication::primaryScreen())
            frmSplash.move(s->availableGeometry().center() - frmSplash.rect().center());
        frmSplash.exec();
    }

    quillon::QtMessageBoxes boxes;
    quillon::QtDesktopShell shell;
    quillon::SystemRegistry registry;
    quillon::SystemProgramStarter starter;
    quillon::FrmMain frmMain({&boxes, &shell, &registry, &starter, {}});
    frmMain.show();
    return app.exec();
}
