// What the window says about a search is what happened: the file count and
// the page totals after a Stop, the search time, and a search folder that is
// not there.  Counts come from a stand-in counter whose files say how long
// they take, so every long count lands where the test wants it.
#include "fixtures.h"
#include "window_fixture.h"
#include "main_window.h"
#include "result_model.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

using namespace quillon;

namespace {

// A ".tif" the stand-in counter counts as `pages` after `delayMs`.
void writeSlowTif(const QString& path, int pages, int delayMs)
{
    testing_app::writeBytes(path, QStringLiteral("pages %1 delay %2\n").arg(pages).arg(delayMs).toLatin1());
}

struct Window : testing_app::FakeServices {
    QTemporaryDir tree;
    // One count at a time, so a Stop meets the row phase where the test says.
    FrmMain w{services({SLOW_COUNTER_DIR, 1})};

    Window()
    {
        w.show();
        text<QLineEdit>("txtSearchPath")->setText(tree.path());
        get<QCheckBox>("chkSearchOption0")->setChecked(true);
    }
    template <class T> T* get(const char* name) const { return testing_app::control<T>(w, name); }
    template <class T> T* text(const char* name) const { return get<T>(name); }
    QString label(const char* name) const { return get<QLabel>(name)->text(); }
    QPushButton* button(int i) const { return get<QPushButton>(qPrintable(QStringLiteral("cmdControl%1").arg(i))); }
    bool searchToTheEnd(QSignalSpy& done) { return done.count() > 0 || done.wait(30000); }
    // The seconds of " Total Search Time : HH:MM:SS".
    int searchSeconds() const
    {
        const auto m = QRegularExpression(QStringLiteral("(\\d\\d):(\\d\\d):(\\d\\d)$")).match(label("lblSearchTime"));
        return m.hasMatch() ? m.captured(1).toInt() * 3600 + m.captured(2).toInt() * 60 + m.captured(3).toInt() : -1;
    }
};

} // namespace

class SearchStatusTest : public QObject {
    Q_OBJECT
private slots:
    // Stop while rows are counted: the file count is the rows in the list,
    // the totals are their sums, and a later delete's rebuild brings back
    // none of the files the Stop left out.
    void stopDuringTheRowsLeavesTheCountAndTotalsOfTheRowsShown()
    {
        Window win;
        for (int i = 0; i < 6; ++i)
            writeSlowTif(win.tree.filePath(QStringLiteral("t%1.tif").arg(i)), 2, 300);
        connect(win.w.model(), &QAbstractItemModel::rowsInserted, &win.w, [&] {
            if (win.w.model()->rowCount() >= 2 && win.button(1)->isEnabled())
                win.button(1)->click();
        });
        QSignalSpy done(&win.w, &FrmMain::searchFinished);
        win.button(0)->click();
        QVERIFY(win.searchToTheEnd(done));

        const int rows = win.w.model()->rowCount();
        QVERIFY2(rows >= 2 && rows < 6, qPrintable(QString::number(rows)));
        QCOMPARE(win.label("lblTotalFiles"), QStringLiteral("Total Files : %1").arg(rows));
        QCOMPARE(win.label("lblTotalPages"), QStringLiteral("Total Pages TIFs = %1").arg(2 * rows));
        QCOMPARE(win.w.session().FoundFiles().size(), std::size_t(rows));

        win.w.list()->selectRow(0);
        win.boxes.answers = {MsgAnswer::Yes};
        done.clear();
        win.w.DeleteSelectedFiles(false);
        QVERIFY(win.searchToTheEnd(done));
        QCOMPARE(win.w.model()->rowCount(), rows - 1);
        QCOMPARE(win.label("lblTotalFiles"), QStringLiteral("Total Files : %1").arg(rows - 1));
        QCOMPARE(win.label("lblTotalPages"), QStringLiteral("Total Pages TIFs = %1").arg(2 * (rows - 1)));

        // Deleting every row leaves no pages behind in the totals either.
        win.w.list()->selectRow(0);
        win.w.list()->selectAll();
        win.boxes.answers = {MsgAnswer::Yes};
        done.clear();
        win.w.DeleteSelectedFiles(false);
        QVERIFY(win.searchToTheEnd(done));
        QCOMPARE(win.w.model()->rowCount(), 0);
        QCOMPARE(win.label("lblTotalFiles"), QStringLiteral("Total Files : 0"));
        QCOMPARE(win.label("lblTotalPages"), QStringLiteral("Total Pages TIFs = 0"));
    }

    // The time runs on through a long count (not only while walking), ends
    // on the whole search, and leaves out the time the completion message
    // waited for the user.
    void searchTimeRunsUntilTheLastRowIsCounted()
    {
        Window win;
        writeSlowTif(win.tree.filePath(QStringLiteral("long.tif")), 5, 2500);
        win.boxes.onShow = [](const QString& text) {
            if (text == QStringLiteral("Search Completed Successfully."))
                QThread::msleep(2000); // the user reads the message
        };
        QString timeWhenTheRowCame;
        connect(win.w.model(), &QAbstractItemModel::rowsInserted, &win.w,
                [&] { timeWhenTheRowCame = win.label("lblSearchTime"); });
        QSignalSpy done(&win.w, &FrmMain::searchFinished);
        win.button(0)->click();
        QVERIFY(win.searchToTheEnd(done));

        QVERIFY2(!timeWhenTheRowCame.endsWith(QStringLiteral("00:00:00")), qPrintable(timeWhenTheRowCame));
        const int seconds = win.searchSeconds();
        QVERIFY2(seconds >= 2 && seconds <= 3, qPrintable(win.label("lblSearchTime")));
        QVERIFY(win.label("lblSearchTime").startsWith(QStringLiteral(" Total Search Time : ")));
        // Idle: the label stands still.
        QTest::qWait(1100);
        QCOMPARE(win.searchSeconds(), seconds);
    }

    // Empty text, a missing folder and a file are said so, naming them; no
    // search runs and the rows of the last search stay.
    void aSearchFolderThatIsNotThereIsSaidSo()
    {
        Window win;
        writeSlowTif(win.tree.filePath(QStringLiteral("a.tif")), 4, 0);
        QSignalSpy done(&win.w, &FrmMain::searchFinished);
        win.button(0)->click();
        QVERIFY(win.searchToTheEnd(done));
        QCOMPARE(win.w.model()->rowCount(), 1);

        const QString missing = win.tree.filePath(QStringLiteral("no such folder"));
        const QString file = win.tree.filePath(QStringLiteral("a.tif"));
        const struct {
            QString folder;
            QString said;
        } cases[] = {
            {QString(), QStringLiteral("No search folder is given. Type or choose the folder to search.")},
            {missing, QStringLiteral("The search folder does not exist:\n\"%1\"").arg(missing)},
            {file, QStringLiteral("The search path is not a folder:\n\"%1\"").arg(file)},
        };
        for (const auto& c : cases) {
            win.text<QLineEdit>("txtSearchPath")->setText(c.folder);
            win.boxes.texts.clear();
            done.clear();
            win.button(0)->click();
            QCOMPARE(win.boxes.texts, QStringList{c.said});
            QCOMPARE(win.boxes.icons.back(), MessageIcon::Warning);
            QVERIFY(!win.w.session().Running());
            QVERIFY(win.button(0)->isEnabled());
            QVERIFY(!win.button(1)->isEnabled());
            QCOMPARE(win.w.model()->rowCount(), 1);
            QCOMPARE(win.label("lblTotalPages"), QStringLiteral("Total Pages TIFs = 4"));
            QCoreApplication::processEvents();
            QCOMPARE(done.count(), 0);
        }
    }
};

QTEST_MAIN(SearchStatusTest)
#include "search_status_test.moc"
