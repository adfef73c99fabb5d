// Quillon's start-up: the command line, the splash for one timer tick, then
// the main window with the settings of the last run.
//
// One hook exists for scripts/screenshot.sh and the install checks: with
// QUILLON_SCREENSHOT=<png> and QUILLON_SCREENSHOT_FOLDER=<folder> set, the
// program skips the splash, roots the folder tree at the folder's parent,
// searches that folder for both kinds (subfolders included), answers its own
// message boxes, saves a picture of the window to <png>, prints the file count
// and page totals, and exits. It neither reads nor writes settings.  With
// QUILLON_SCREENSHOT_SIZE=min the window is at its smallest size; with
// QUILLON_SCREENSHOT_PAGE_SIZES=1 the page sizes are shown, and the totals
// by size and by folder are saved beside the picture (<png>-by-size.png, ...).
#include "command_line.h"
#include "desktop_shell.h"
#include "folder_tree.h"
#include "icons.h"
#include "main_window.h"
#include "message_boxes.h"
#include "splash.h"
#include "sys_info.h"
#include "trash.h"

#include <export/interrupt_cleanup.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSettings>
#include <QTimer>

#include <cstdio>

#ifndef QUILLON_VERSION
#define QUILLON_VERSION "0"
#endif

namespace {

// Message boxes that answer themselves, for the unattended screenshot run.
class AnsweringBoxes final : public quillon::MessageBoxes {
public:
    quillon::MsgAnswer show(QWidget*, const QString&, quillon::MsgButtons b, quillon::MessageIcon) override
    {
        return b == quillon::MsgButtons::Ok ? quillon::MsgAnswer::Ok : quillon::MsgAnswer::No;
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
    w.folderTree()->setRootFolder(QDir(folder + QStringLiteral("/..")).absolutePath());
    w.show();
    if (qEnvironmentVariable("QUILLON_SCREENSHOT_SIZE") == QLatin1String("min"))
        w.resize(1, 1); // the window keeps its smallest size
    const bool sizes = qEnvironmentVariable("QUILLON_SCREENSHOT_PAGE_SIZES") == QLatin1String("1");
    if (sizes)
        w.PageSizes_Click(true);
    w.findChild<QLineEdit*>(QStringLiteral("txtSearchPath"))->setText(folder);
    w.findChild<QCheckBox*>(QStringLiteral("chkSearchOption0"))->setChecked(true);
    w.findChild<QCheckBox*>(QStringLiteral("chkSearchOption1"))->setChecked(true);
    w.findChild<QCheckBox*>(QStringLiteral("chkRecursive"))->setChecked(true);
    int rc = 1;
    QObject::connect(&w, &quillon::FrmMain::searchFinished, &app, [&] {
        w.AutoSizeColumns();
        QTimer::singleShot(300, &app, [&] {
            rc = w.grab().save(png) ? 0 : 1;
            if (sizes) {
                const QString stem = png.endsWith(QLatin1String(".png")) ? png.chopped(4) : png;
                w.TotalsBySize_Click();
                if (!w.totalsDialog() || !w.totalsDialog()->grab().save(stem + QStringLiteral("-by-size.png")))
                    rc = 1;
                w.TotalsByFolder_Click();
                if (!w.totalsDialog() || !w.totalsDialog()->grab().save(stem + QStringLiteral("-by-folder.png")))
                    rc = 1;
            }
            for (const char* label : {"lblTotalFiles", "lblTotalPages", "lblTotalA4"})
                std::printf("%s\n", qPrintable(w.findChild<QLabel*>(QString::fromLatin1(label))->text()));
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
    // --help and --version answer without a display.
    {
        QStringList raw;
        for (int i = 1; i < argc; ++i)
            raw << QString::fromLocal8Bit(argv[i]);
        const quillon::CommandLine early = quillon::parseCommandLine(raw);
        if (early.help) {
            std::fputs(qPrintable(quillon::commandLineHelp()), stdout);
            return 0;
        }
        if (early.version) {
            std::printf("Quillon %s\n", QUILLON_VERSION);
            return 0;
        }
    }

    QApplication app(argc, argv);
    // The program ended (session end, kill, Ctrl+C) in the middle of an
    // export leaves no temporary file beside the target.
    exporting::RemoveTemporaryFilesOnSignals();
    // Settings live in the platform's usual place, under these names
    // (~/.config/Quillon/Quillon.conf on Linux).
    QApplication::setOrganizationName(QStringLiteral("Quillon"));
    QApplication::setApplicationName(QStringLiteral("Quillon"));
    QApplication::setApplicationVersion(QStringLiteral(QUILLON_VERSION));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.example.quillon"));
    QApplication::setWindowIcon(quillon::programIcon());

    const quillon::CommandLine args = quillon::parseCommandLine(app.arguments().mid(1));
    if (!args.error.isEmpty()) {
        std::fprintf(stderr, "Quillon: %s\nTry 'Quillon --help'.\n", qPrintable(args.error));
        return 2;
    }

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
    QSettings settings;
    quillon::DesktopTrash trash;
    quillon::FrmMain frmMain({&boxes, &shell, &registry, &starter, {}, &settings, &trash});
    if (args.path)
        frmMain.setSearchPath(quillon::searchFolderFor(*args.path, QDir::currentPath()));
    frmMain.show();
    return app.exec();
}
