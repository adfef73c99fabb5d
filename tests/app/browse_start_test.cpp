// The folder chooser behind "..." opens at the folder in the path box, in
// view however deep it lies; a path being typed, or one naming a file, opens
// it at the nearest folder on the way.
#include "browse_dialog.h"
#include "folder_tree.h"
#include "window_fixture.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace quillon;

class BrowseStartTest : public QObject {
    Q_OBJECT
private slots:
    void opensAtThePathBoxFolder_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("opensAt");
        QTest::newRow("a deep folder") << "a/b/c/d/e/f/g/h/i/j" << "a/b/c/d/e/f/g/h/i/j";
        QTest::newRow("a file") << "a/b/c/d/e/f/g/h/i/j/scan.pdf" << "a/b/c/d/e/f/g/h/i/j";
        QTest::newRow("half typed") << "a/b/c/d/e/f/g/h/i/jx/more" << "a/b/c/d/e/f/g/h/i";
    }

    void opensAtThePathBoxFolder()
    {
        QFETCH(QString, typed);
        QFETCH(QString, opensAt);
        QTemporaryDir tmp;
        QDir(tmp.path()).mkpath(QStringLiteral("a/b/c/d/e/f/g/h/i/j"));
        testing_app::writePdf(tmp.filePath(QStringLiteral("a/b/c/d/e/f/g/h/i/j/scan.pdf")), 1);
        testing_app::FakeServices fakes;
        FrmMain w(fakes.services());
        w.show();
        testing_app::control<QLineEdit>(w, "txtSearchPath")->setText(QDir::toNativeSeparators(tmp.filePath(typed)));
        QString current;
        bool inView = false;
        QTimer::singleShot(0, &w, [&] {
            auto* dlg = w.findChild<FrmBrowseDlg*>();
            auto* tree = dlg->findChild<FolderTree*>();
            // Its folders load while it is shown: give them a moment.
            QTest::qWait(300);
            current = tree->selectedFolder();
            const QRect r = tree->visualRect(tree->currentIndex());
            inView = r.isValid() && tree->viewport()->rect().contains(r.center());
            dlg->cancelButton()->click();
        });
        testing_app::control<QPushButton>(w, "cmdSelectPath")->click();
        QCOMPARE(current, QDir::toNativeSeparators(tmp.filePath(opensAt)));
        QVERIFY(inView);
    }
};

QTEST_MAIN(BrowseStartTest)
#include "browse_start_test.moc"
