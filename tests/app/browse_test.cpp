// The folder chooser: prompts and tree geometry, properties, placement when
// shown, OK / Cancel / close box, and What's This on its controls.
#include "browse_dialog.h"
#include "folder_tree.h"

#include <QCloseEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace quillon;

class BrowseTest : public QObject {
    Q_OBJECT
private slots:
    void promptGeometry()
    {
        FrmBrowseDlg dlg;
        QCOMPARE(dlg.windowTitle(), QStringLiteral("Browse For Folder"));
        QVERIFY(!dlg.showPrompt2());
        QCOMPARE(dlg.tree()->geometry(), QRect(10, 43, 298, 208));
        dlg.setShowPrompt2(true);
        QVERIFY(dlg.showPrompt2());
        QCOMPARE(dlg.tree()->geometry(), QRect(10, 67, 298, 184));
        dlg.setShowPrompt2(false);
        QCOMPARE(dlg.tree()->geometry(), QRect(10, 43, 298, 208));
        QCOMPARE(dlg.prompt1Label()->geometry(), QRect(11, 11, 240, 33));
        QCOMPARE(dlg.prompt2Label()->geometry(), QRect(11, 44, 240, 20));
        QCOMPARE(dlg.okButton()->geometry(), QRect(150, 270, 75, 23));
        QCOMPARE(dlg.cancelButton()->geometry(), QRect(231, 270, 75, 23));
    }

    void propertiesReadBack()
    {
        QTemporaryDir tmp;
        FrmBrowseDlg dlg;
        dlg.setPrompt1(QStringLiteral("one"));
        dlg.setPrompt2(QStringLiteral("two"));
        QCOMPARE(dlg.prompt2(), QStringLiteral("two"));
        QCOMPARE(dlg.prompt1(), QStringLiteral("one"));
        dlg.setRootFolder(FrmBrowseDlg::folderString(0));
        dlg.setPreSelectedFolder(tmp.path());
        QCOMPARE(dlg.preSelectedFolder(), QDir::toNativeSeparators(tmp.path()));
    }

    void okReturnsTheSelectedFolder()
    {
        QTemporaryDir tmp;
        FrmBrowseDlg dlg;
        dlg.setPreSelectedFolder(tmp.path());
        QStringList seen;
        connect(&dlg, &FrmBrowseDlg::SelectionChanged, this, [&](const QString& f) { seen << f; });
        QTimer::singleShot(0, &dlg, [&] { dlg.okButton()->click(); });
        QVERIFY(dlg.Browse());
        QCOMPARE(dlg.selectedFolder().value_or(QString()), QDir::toNativeSeparators(tmp.path()));
        // Raised once before the dialog appears.
        QCOMPARE(seen, QStringList{QDir::toNativeSeparators(tmp.path())});

        // OK with no folder selected in the tree chooses nothing.
        FrmBrowseDlg none;
        none.setPreSelectedFolder(tmp.path() + QStringLiteral("/absent"));
        QTimer::singleShot(0, &none, [&] { none.okButton()->click(); });
        QVERIFY(!none.Browse());
        QVERIFY(!none.selectedFolder());
    }

    void cancelEscapeAndCloseBoxReturnFalse()
    {
        QTemporaryDir tmp;
        FrmBrowseDlg dlg;
        dlg.setPreSelectedFolder(tmp.path());
        QTimer::singleShot(0, &dlg, [&] { dlg.cancelButton()->click(); });
        QVERIFY(!dlg.Browse());
        QVERIFY(!dlg.selectedFolder());

        QTimer::singleShot(0, &dlg, [&] { QTest::keyClick(&dlg, Qt::Key_Escape); });
        QVERIFY(!dlg.Browse());

        // The close box hides the dialog but keeps it usable.
        QTimer::singleShot(0, &dlg, [&] { dlg.close(); });
        QVERIFY(!dlg.Browse());
        QVERIFY(!dlg.selectedFolder());
        QTimer::singleShot(0, &dlg, [&] { dlg.okButton()->click(); });
        QVERIFY(dlg.Browse());
    }

    void placedBesideTheOwner()
    {
        QWidget owner;
        owner.setGeometry(200, 150, 400, 300);
        owner.show();
        QVERIFY(QTest::qWaitForWindowExposed(&owner));
        FrmBrowseDlg dlg;
        dlg.setOwner(&owner);
        QPoint where;
        QTimer::singleShot(0, &dlg, [&] {
            where = dlg.pos();
            dlg.reject();
        });
        dlg.Browse();
        QCOMPARE(where, owner.frameGeometry().topLeft() + QPoint(73, 76));
    }

    void whatsThisNamesTheControlsHelp()
    {
        FrmBrowseDlg dlg;
        dlg.show();
        QAction* whatsThis = dlg.contextMenu()->actions().value(0);
        QVERIFY(whatsThis);
        QCOMPARE(whatsThis->text(), QStringLiteral("&What's This?"));
        QTimer::singleShot(0, &dlg, [&] {
            whatsThis->trigger();
            dlg.contextMenu()->close();
        });
        dlg.openContextMenuFor(dlg.okButton(), dlg.okButton()->mapToGlobal(QPoint(2, 2)));
        QCOMPARE(dlg.lastHelpShown(), kHelpOk);

        // Shift+F10 opens the menu for the control with the focus.
        dlg.cancelButton()->setFocus();
        QTimer::singleShot(0, &dlg, [&] {
            whatsThis->trigger();
            dlg.contextMenu()->close();
        });
        QTest::keyClick(dlg.cancelButton(), Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(dlg.lastHelpShown(), kHelpCancel);
        QVERIFY(!whatsThisText(kHelpTree).isEmpty());
    }
};

QTEST_MAIN(BrowseTest)
#include "browse_test.moc"
