// Delete Files puts files in the desktop's trash where their folder has one,
// so a mistaken delete can be undone, and deletes them for good where it has
// none; the question says which.  The Delete key in the list does the same.
#include "result_model.h"
#include "trash.h"
#include "window_fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>

using namespace quillon;

namespace {

// A trash for the folders named; a move takes the file away (as the real one
// does) unless the file is to be refused.
class FakeTrash final : public Trash {
public:
    bool holds(const QByteArray& folder) override { return folders.contains(QString::fromUtf8(folder)); }
    bool moveToTrash(const QByteArray& path, QString* error) override
    {
        const QString p = QString::fromUtf8(path);
        if (refuse.contains(p)) {
            *error = QStringLiteral("the trash is full");
            return false;
        }
        moved << p;
        return QFile::remove(p);
    }
    QStringList folders, refuse, moved;
};

struct Window : testing_app::FakeServices {
    QTemporaryDir tree;
    FrmMain w;

    // one/a.pdf, one/b.pdf and two/c.pdf, searched.
    explicit Window(Trash* trash) : w(services({}, nullptr, trash))
    {
        for (const char* f : {"one/a.pdf", "one/b.pdf", "two/c.pdf"}) {
            QDir(tree.path()).mkpath(QFileInfo(tree.filePath(QString::fromLatin1(f))).path());
            testing_app::writePdf(tree.filePath(QString::fromLatin1(f)), 2);
        }
        w.show();
        if (!testing_app::searchThroughButtons(w, tree.path(), false, true))
            qFatal("search did not end");
        boxes.texts.clear();
    }
    QString folder(const char* name) const { return tree.filePath(QString::fromLatin1(name)) + QLatin1Char('/'); }
    void select(const QStringList& names)
    {
        QItemSelectionModel* sel = w.list()->selectionModel();
        sel->clear();
        for (int r = 0; r < w.model()->rowCount(); ++r)
            if (names.contains(w.model()->name(r))) {
                sel->select(w.model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
                sel->setCurrentIndex(w.model()->index(r, 0), QItemSelectionModel::NoUpdate);
            }
    }
    bool deleteAnswering(std::deque<MsgAnswer> answers)
    {
        boxes.answers = std::move(answers);
        QSignalSpy done(&w, &FrmMain::searchFinished);
        testing_app::control<QAction>(w, "Delete1")->trigger();
        return done.count() > 0 || done.wait(30000);
    }
};

const QString kAsk = QStringLiteral("Are you sure to delete all the selected files.\n\n");

} // namespace

class DeleteFilesTest : public QObject {
    Q_OBJECT
private slots:
    // The question says where the files go: all to the trash, some, or none.
    void theQuestionSaysWhereTheFilesGo()
    {
        FakeTrash trash;
        Window win(&trash);
        trash.folders = QStringList{win.folder("one")};

        win.select({QStringLiteral("a.pdf"), QStringLiteral("c.pdf")});
        QVERIFY(win.deleteAnswering({MsgAnswer::Yes}));
        QCOMPARE(win.boxes.texts.first(),
                 kAsk + QStringLiteral("1 of them are moved to the trash, from where they can be restored; 1, where "
                                       "there is no trash, are deleted for good."));
        QCOMPARE(trash.moved, QStringList{win.tree.filePath(QStringLiteral("one/a.pdf"))});
        QVERIFY(!QFile::exists(win.tree.filePath(QStringLiteral("two/c.pdf"))));
        QCOMPARE(win.w.model()->rowCount(), 1);

        win.boxes.texts.clear();
        win.select({QStringLiteral("b.pdf")});
        win.boxes.answers = {MsgAnswer::No};
        win.w.DeleteSelectedFiles(false);
        QCOMPARE(win.boxes.texts, QStringList{kAsk + QStringLiteral("They are moved to the trash, from where they can be restored.")});
        QVERIFY(QFile::exists(win.tree.filePath(QStringLiteral("one/b.pdf"))));
    }

    void withoutATrashTheyAreDeletedForGood()
    {
        Window win(nullptr);
        win.select({QStringLiteral("a.pdf")});
        QVERIFY(win.deleteAnswering({MsgAnswer::Yes}));
        QCOMPARE(win.boxes.texts.first(), kAsk + QStringLiteral("There is no trash where they are: they are deleted for good."));
        QVERIFY(!QFile::exists(win.tree.filePath(QStringLiteral("one/a.pdf"))));
    }

    // Promised the trash, a file the trash refuses is deleted for good only
    // after a second Yes; after No it keeps its file and its row.
    void aFileTheTrashRefusesTakesASecondYes()
    {
        FakeTrash trash;
        Window win(&trash);
        trash.folders = QStringList{win.folder("one")};
        const QString a = win.tree.filePath(QStringLiteral("one/a.pdf"));
        trash.refuse << a;
        win.select({QStringLiteral("a.pdf"), QStringLiteral("b.pdf")});
        QVERIFY(win.deleteAnswering({MsgAnswer::Yes, MsgAnswer::No}));
        QCOMPARE(win.boxes.texts[1], QStringLiteral("These files could not be moved to the trash:\n%1 (the trash is full)\n\n"
                                                    "Delete them for good?")
                                         .arg(a));
        QVERIFY(QFile::exists(a));
        QCOMPARE(win.w.model()->rowCount(), 2); // a.pdf and c.pdf

        win.select({QStringLiteral("a.pdf")});
        QVERIFY(win.deleteAnswering({MsgAnswer::Yes, MsgAnswer::Yes}));
        QVERIFY(!QFile::exists(a));
        QCOMPARE(win.w.model()->rowCount(), 1);
    }

    // The desktop's own trash: the file lands in the home trash with the
    // record that lets a file manager put it back, also for a new account
    // whose data folder does not exist yet.
    void theDesktopTrashKeepsWhatWasDeleted()
    {
        QTemporaryDir home;
        const QByteArray oldHome = qgetenv("HOME"), oldData = qgetenv("XDG_DATA_HOME");
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.filePath(QStringLiteral(".local/share"))));
        DesktopTrash trash;
        {
            Window win(&trash);
            if (!trash.holds(QFile::encodeName(win.folder("one"))))
                QSKIP("the temporary folder is on another file system than the test's home");
            win.select({QStringLiteral("a.pdf")});
            QVERIFY(win.deleteAnswering({MsgAnswer::Yes}));
            QCOMPARE(win.boxes.texts.first(), kAsk + QStringLiteral("They are moved to the trash, from where they can be restored."));
            QVERIFY(!QFile::exists(win.tree.filePath(QStringLiteral("one/a.pdf"))));
            QVERIFY(QFile::exists(home.filePath(QStringLiteral(".local/share/Trash/files/a.pdf"))));
            QFile info(home.filePath(QStringLiteral(".local/share/Trash/info/a.pdf.trashinfo")));
            QVERIFY(info.open(QIODevice::ReadOnly));
            QVERIFY(info.readAll().contains("Path=" + QUrl::toPercentEncoding(win.tree.filePath(QStringLiteral("one/a.pdf")), "/")));
            QCOMPARE(win.w.model()->rowCount(), 2);
            QVERIFY(!QFileInfo::exists(QStringLiteral("files/a.pdf")));
        }
        qputenv("HOME", oldHome);
        oldData.isEmpty() ? qunsetenv("XDG_DATA_HOME") : qputenv("XDG_DATA_HOME", oldData);
    }

    // The Delete key in the list asks the same question and does the same.
    void theDeleteKeyInTheList()
    {
        FakeTrash trash;
        Window win(&trash);
        trash.folders = QStringList{win.folder("one"), win.folder("two")};
        win.select({QStringLiteral("c.pdf")});
        win.w.list()->setFocus();
        win.boxes.answers = {MsgAnswer::No};
        QTest::keyClick(win.w.list(), Qt::Key_Delete);
        QCOMPARE(win.boxes.texts, QStringList{kAsk + QStringLiteral("They are moved to the trash, from where they can be restored.")});
        QCOMPARE(win.w.model()->rowCount(), 3);

        win.boxes.answers = {MsgAnswer::Yes};
        QSignalSpy done(&win.w, &FrmMain::searchFinished);
        QTest::keyClick(win.w.list(), Qt::Key_Delete);
        QVERIFY(done.count() > 0 || done.wait(30000));
        QCOMPARE(trash.moved, QStringList{win.tree.filePath(QStringLiteral("two/c.pdf"))});
        QCOMPARE(win.w.model()->rowCount(), 2);
    }
};

QTEST_MAIN(DeleteFilesTest)
#include "delete_files_test.moc"
