// The main window driven as a user drives it: start-up state, a search over
// a temporary tree, sorting, selection, the context menu, the file actions
// and their mended faults, the folder chooser, help, layout and about box.
#include "about_dialog.h"
#include "browse_dialog.h"
#include "fixtures.h"
#include "window_fixture.h"
#include "folder_tree.h"
#include "main_layout.h"
#include "main_window.h"
#include "splash.h"
#include "twips.h"

#include <export/export_table.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QtTest>
#include <unistd.h>

using namespace quillon;

namespace {

struct Harness : testing_app::FakeServices {
    FrmMain w{services()};

    template <class T> T* get(const char* name) const { return testing_app::control<T>(w, name); }
    QAction* action(const char* name) const { return get<QAction>(name); }
    QString label(const char* name) const { return get<QLabel>(name)->text(); }

    // Runs a search through the buttons and waits until its rows are built.
    bool search(const QString& folder, bool tif, bool pdf, bool recursive = true)
    {
        return testing_app::searchThroughButtons(w, folder, tif, pdf, recursive);
    }
    bool waitRebuild(QSignalSpy& done) { return done.count() > 0 || done.wait(30000); }

    QStringList column(int c) const
    {
        QStringList out;
        for (int r = 0; r < w.model()->rowCount(); ++r)
            out << w.model()->cellText(r, c);
        return out;
    }
    int rowNamed(const QString& name) const { return column(0).indexOf(name); }
    void selectRows(const QList<int>& rows)
    {
        QItemSelectionModel* sel = w.list()->selectionModel();
        sel->clear();
        for (int r : rows)
            sel->select(w.model()->index(r, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
        if (!rows.isEmpty())
            sel->setCurrentIndex(w.model()->index(rows.first(), 0), QItemSelectionModel::NoUpdate);
    }
    QPoint rowPoint(int row) const
    {
        return w.list()->visualRect(w.model()->index(row, 0)).center();
    }
};

// a.pdf 3 pages (small), c.pdf 2 pages (900 KB), sub/b.pdf 1 page (1024 KB),
// bad.pdf not a PDF, notes.txt ignored.
void makeTree(const QString& root)
{
    QDir(root).mkpath(QStringLiteral("sub"));
    testing_app::writePdf(root + "/a.pdf", 3);
    testing_app::writePdf(root + "/c.pdf", 2, 900 * 1024);
    testing_app::writePdf(root + "/sub/b.pdf", 1, 1024 * 1024);
    testing_app::writeBytes(root + "/bad.pdf", QByteArray(5000, 'z'));
    testing_app::writeBytes(root + "/notes.txt", "hello");
}

// A shown window over a fresh makeTree folder; search() runs a PDF search
// of it through the buttons.
struct SearchedTree {
    QTemporaryDir tmp;
    Harness h;
    SearchedTree()
    {
        makeTree(tmp.path());
        h.w.show();
    }
    bool search() { return h.search(tmp.path(), false, true); }
};

// A double-click as the window system delivers it: press, release, then
// the double-click event and its release.
void doubleClick(QWidget* w, QPoint p)
{
    const QPointF global = w->mapToGlobal(QPointF(p));
    for (QEvent::Type t : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease, QEvent::MouseButtonDblClick,
                           QEvent::MouseButtonRelease}) {
        const Qt::MouseButtons held = t == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent e(t, QPointF(p), global, Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(w, &e);
    }
}

// Whether the list's sort arrow tells the truth: hidden, or over rows in the
// order it shows (by bytes for Size, by the count for Page Count).
bool arrowTellsTheTruth(const Harness& h, QString* why)
{
    const QHeaderView* header = h.w.list()->horizontalHeader();
    if (!header->isSortIndicatorShown())
        return true;
    const ResultListModel* m = h.w.model();
    const int section = header->sortIndicatorSection();
    const bool down = header->sortIndicatorOrder() == Qt::DescendingOrder;
    for (int r = 1; r < m->rowCount(); ++r) {
        int cmp = 0;
        switch (section) {
        case 0: cmp = m->name(r - 1).compare(m->name(r), Qt::CaseInsensitive); break;
        case 1: cmp = m->path(r - 1).compare(m->path(r), Qt::CaseInsensitive); break;
        case 2: cmp = m->bytes(r - 1) < m->bytes(r) ? -1 : m->bytes(r - 1) > m->bytes(r); break;
        case 3: {
            auto rank = [m](int row) { return m->pages(row) < 1 ? INT_MAX : m->pages(row); };
            cmp = rank(r - 1) < rank(r) ? -1 : rank(r - 1) > rank(r);
            break;
        }
        default: break;
        }
        if (down ? cmp < 0 : cmp > 0) {
            *why = QStringLiteral("arrow over column %1 (%2), but rows %3 and %4 are out of that order")
                       .arg(section).arg(down ? "descending" : "ascending").arg(r - 1).arg(r);
            return false;
        }
    }
    return true;
}

} // namespace

class MainWindowTest : public QObject {
    Q_OBJECT
private slots:
    void startUpState()
    {
        Harness h;
        h.w.show();
        QCOMPARE(h.w.windowTitle(), QStringLiteral("Quillon Page Counter"));
        const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
        const QString expected = QDir(docs).exists() ? docs : QDir::homePath();
        QCOMPARE(h.get<QLineEdit>("txtSearchPath")->text(), QDir::toNativeSeparators(expected));
        QVERIFY(!h.get<QCheckBox>("chkSearchOption0")->isChecked());
        QVERIFY(!h.get<QCheckBox>("chkSearchOption1")->isChecked());
        QCOMPARE(h.w.model()->rowCount(), 0);
        for (const char* c : {"cmdClear", "cmdControl2", "cmdControl1", "cmdControl0"})
            QVERIFY2(!h.get<QWidget>(c)->isEnabled(), c);
        for (const char* a : {"Delete1", "SelectAll", "Cont", "mnuOPen", "Export", "SStop"})
            QVERIFY2(!h.action(a)->isEnabled(), a);
        QVERIFY(h.action("SSearch")->isEnabled());
        QCOMPARE(h.action("Grid")->text(), h.w.list()->showGrid() ? "Grid (OFF)" : "Grid (ON)");
        for (const char* a : {"sep3", "Delete2", "clsResult"})
            QVERIFY2(!h.action(a)->isVisible(), a);
        QCOMPARE(h.get<QComboBox>("cboDateFields")->currentIndex(), 0);
        QVERIFY(!h.get<QDateEdit>("dtpFrom")->isEnabled());
        QCOMPARE(h.label("lblTotalFiles"), QStringLiteral("Total Files : 0"));
        QCOMPARE(h.label("lblSearchTime"), QStringLiteral(" Total Search Time : 00:00:00"));
        QVERIFY(h.w.list()->isColumnHidden(4));
        QCOMPARE(h.w.model()->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), "Page Count");

        // A kind makes Start available and the totals label names it.
        h.get<QCheckBox>("chkSearchOption1")->setChecked(true);
        QVERIFY(h.get<QWidget>("cmdControl0")->isEnabled());
        QCOMPARE(h.label("lblTotalPages"), QStringLiteral("Total Pages PDFs = 000000"));
    }

    void splashShowsForOneTimerTick()
    {
        FrmSplash splash;
        QCOMPARE(splash.timer()->interval(), 1000);
        QVERIFY(splash.timer()->isActive());
        QCOMPARE(splash.findChild<QLabel*>("Label1")->text(), QStringLiteral("QUILLON COUNTER " QUILLON_VERSION));
        QElapsedTimer t;
        t.start();
        QCOMPARE(splash.exec(), int(QDialog::Accepted));
        QVERIFY(t.elapsed() >= 900);
    }

    void pathBoxAndTreeFollowEachOther()
    {
        QTemporaryDir tmp;
        QDir(tmp.path()).mkpath("one/two");
        Harness h;
        h.w.show();
        const QString two = QDir::toNativeSeparators(tmp.path() + "/one/two");
        h.get<QLineEdit>("txtSearchPath")->setText(two);
        QCOMPARE(h.w.folderTree()->selectedFolder(), two);
        // A half-typed path leaves the tree where it was and is not rewritten.
        h.get<QLineEdit>("txtSearchPath")->setText(two + "/nope");
        QCOMPARE(h.get<QLineEdit>("txtSearchPath")->text(), two + "/nope");
        // Choosing a folder in the tree writes it into the path box.
        auto* model = h.w.folderTree()->model();
        const QModelIndex one = h.w.folderTree()->currentIndex().parent();
        h.w.folderTree()->selectionModel()->setCurrentIndex(one, QItemSelectionModel::ClearAndSelect);
        QCOMPARE(h.get<QLineEdit>("txtSearchPath")->text(), QDir::toNativeSeparators(tmp.path() + "/one"));
        Q_UNUSED(model);
        // A blank ends the name of another folder; it is not cut off.
        QDir(tmp.path()).mkpath("one ");
        const QString blank = QDir::toNativeSeparators(tmp.path() + "/one ");
        h.get<QLineEdit>("txtSearchPath")->setText(blank);
        QCOMPARE(h.w.folderTree()->selectedFolder(), blank);
    }

    void searchFromTheButtons()
    {
        SearchedTree t;
        QVERIFY(t.search());
        Harness& h = t.h;
        const QTemporaryDir& tmp = t.tmp;
        QVERIFY(h.boxes.texts.contains("Search Completed Successfully."));
        QCOMPARE(h.w.model()->rowCount(), 4);
        const QStringList names = h.column(0);
        QCOMPARE(QSet<QString>(names.begin(), names.end()),
                 (QSet<QString>{"a.pdf", "c.pdf", "b.pdf", "bad.pdf"}));
        QCOMPARE(h.w.model()->cellText(h.rowNamed("a.pdf"), 3), QStringLiteral("3"));
        QCOMPARE(h.w.model()->cellText(h.rowNamed("bad.pdf"), 3), QStringLiteral("Error"));
        QCOMPARE(h.w.model()->cellText(h.rowNamed("c.pdf"), 2), QStringLiteral("    900 KB"));
        QCOMPARE(h.w.model()->cellText(h.rowNamed("b.pdf"), 1),
                 QDir::toNativeSeparators(tmp.path() + "/sub/b.pdf"));
        QCOMPARE(h.label("lblTotalPages"), QStringLiteral("Total Pages PDFs = 6"));
        // Idle with rows: Start and the row commands on, Stop off.
        QVERIFY(h.get<QWidget>("cmdControl0")->isEnabled());
        QVERIFY(!h.get<QWidget>("cmdControl1")->isEnabled());
        for (const char* a : {"Delete1", "SelectAll", "Cont", "mnuOPen", "Export"})
            QVERIFY2(h.action(a)->isEnabled(), a);
        QVERIFY(h.get<QWidget>("cmdClear")->isEnabled());
        QCOMPARE(h.get<QProgressBar>("ProgressBar1")->value(), 0);

        // The export reads the rows as shown, in list order.
        h.w.lvwSearchResult_ColumnClick(4);
        const exporting::ExportTable table = exporting::BuildFullExportTable(h.w);
        QCOMPARE(table.Columns(), 4u);
        QCOMPARE(table.Rows(), 5u);
        QCOMPARE(QString::fromUtf8(table.Cell(3, 0).data(), table.Cell(3, 0).size()), QStringLiteral("Page Count"));
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c) {
                const auto cell = table.Cell(c, r + 1);
                QCOMPARE(QString::fromUtf8(cell.data(), cell.size()), h.w.model()->cellText(r, c));
            }
        h.selectRows({1});
        QVERIFY(h.w.RowSelected(2) && !h.w.RowSelected(1));

        // Both kinds: TIFF rows get their own icon and total.
        testing_app::writeTiff(tmp.path() + "/sub/scan.tif", 12);
        QVERIFY(h.search(tmp.path(), true, true));
        QCOMPARE(h.w.model()->rowCount(), 5);
        const int scan = h.rowNamed("scan.tif");
        QCOMPARE(h.w.model()->cellText(scan, 3), QStringLiteral("12"));
        QCOMPARE(h.w.model()->kind(scan), RowKind::Tiff);
        QVERIFY(!h.w.model()->data(h.w.model()->index(scan, 0), Qt::DecorationRole).value<QIcon>().isNull());
        QCOMPARE(h.label("lblTotalPages"), QStringLiteral("Total Pages TIFs = 12 PDFs = 6"));
        QFile::remove(tmp.path() + "/sub/scan.tif");

        // Without subfolders b.pdf is not found.
        QVERIFY(h.search(tmp.path(), false, true, false));
        QCOMPARE(h.w.model()->rowCount(), 3);
    }

    void sortingBySizeAndPageCount()
    {
        SearchedTree t;
        QVERIFY(t.search());
        Harness& h = t.h;
        QTableView* list = h.w.list();
        // The current row and the selection follow their rows through a sort.
        h.selectRows({h.rowNamed("c.pdf")});

        // A real click on the Size header: the first click sorts ascending.
        QHeaderView* header = list->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(2) + 5, header->height() / 2));
        QStringList sizes = h.column(2);
        QCOMPARE(h.column(0).indexOf("c.pdf") + 1, h.column(0).indexOf("b.pdf")); // 900 KB before 1024 KB
        QCOMPARE(sizes.last(), QStringLiteral("   1024 KB"));
        QCOMPARE(list->selectionModel()->currentIndex().row(), h.rowNamed("c.pdf"));
        QVERIFY(list->selectionModel()->isRowSelected(h.rowNamed("c.pdf"), {}));
        QCOMPARE(list->selectionModel()->selectedRows().size(), 1);

        h.w.lvwSearchResult_ColumnClick(3);
        QCOMPARE(h.column(2).first(), QStringLiteral("   1024 KB"));

        // Page Count: "Error" after every number ascending, first descending.
        h.w.lvwSearchResult_ColumnClick(4);
        QCOMPARE(h.column(3), (QStringList{"1", "2", "3", "Error"}));
        h.w.lvwSearchResult_ColumnClick(4);
        QCOMPARE(h.column(3), (QStringList{"Error", "3", "2", "1"}));

        // One direction for the whole list: Name then Path sort opposite ways.
        h.w.lvwSearchResult_ColumnClick(1);
        const bool nameDescending = h.w.sortDescending();
        const QStringList names = h.column(0);
        h.w.lvwSearchResult_ColumnClick(2);
        QCOMPARE(h.w.sortDescending(), !nameDescending);
        QStringList sorted = names;
        std::sort(sorted.begin(), sorted.end(), [](const QString& a, const QString& b) {
            return a.compare(b, Qt::CaseInsensitive) < 0;
        });
        if (nameDescending)
            std::reverse(sorted.begin(), sorted.end());
        QCOMPARE(names, sorted);
        QVERIFY(h.column(4).join(QString()).isEmpty());
    }

    // The arrow over the list never lies: the user's sort is put back on
    // the rows of a new search and of a delete's rebuild.
    void theSortArrowAlwaysTellsTheTruth()
    {
        SearchedTree t;
        QVERIFY(t.search());
        Harness& h = t.h;
        QString why;
        h.w.lvwSearchResult_ColumnClick(3); // Size, ascending
        QVERIFY2(arrowTellsTheTruth(h, &why), qPrintable(why));
        h.w.lvwSearchResult_ColumnClick(3); // descending
        QCOMPARE(h.column(0).first(), QStringLiteral("b.pdf"));

        QVERIFY(t.search());
        QVERIFY(h.w.list()->horizontalHeader()->isSortIndicatorShown());
        QVERIFY2(arrowTellsTheTruth(h, &why), qPrintable(why));
        QCOMPARE(h.column(0).first(), QStringLiteral("b.pdf"));

        // Delete Files rebuilds the list from the found files.
        h.w.lvwSearchResult_ColumnClick(1); // Name, ascending again
        const QStringList before = h.column(0);
        h.selectRows({h.rowNamed("a.pdf")});
        h.boxes.answers = {MsgAnswer::Yes, MsgAnswer::Yes};
        QSignalSpy done(&h.w, &FrmMain::searchFinished);
        h.w.DeleteSelectedFiles(false);
        QVERIFY(h.waitRebuild(done));
        QCOMPARE(h.w.model()->rowCount(), 3);
        QVERIFY2(arrowTellsTheTruth(h, &why), qPrintable(why));
        QStringList expected = before;
        expected.removeAll(QStringLiteral("a.pdf"));
        QCOMPARE(h.column(0), expected);
    }

    // Size sorts by bytes: files of the same kilobytes come in their true
    // order, and the cell text stays as designed.
    void sizeSortsByBytes()
    {
        Harness h;
        h.w.show();
        std::vector<search::ResultRow> rows;
        for (const auto& [name, bytes] : std::vector<std::pair<std::string, std::uint64_t>>{
                 {"x.pdf", 2300}, {"y.pdf", 2050}, {"z.pdf", 1900}, {"w.pdf", 2200}}) {
            search::ResultRow r;
            r.name = name;
            r.key = r.path = "/srv/" + name;
            r.sizeBytes = bytes;
            r.pages = 1;
            r.hasPageCount = true;
            r.icon = 2;
            rows.push_back(std::move(r));
        }
        h.w.AppendRows(std::move(rows));
        h.w.lvwSearchResult_ColumnClick(3);
        QCOMPARE(h.column(0), (QStringList{"z.pdf", "y.pdf", "w.pdf", "x.pdf"}));
        QCOMPARE(h.column(2), QStringList(4, QStringLiteral("      2 KB")));
        h.w.lvwSearchResult_ColumnClick(3);
        QCOMPARE(h.column(0), (QStringList{"x.pdf", "w.pdf", "y.pdf", "z.pdf"}));
    }

    // Enter (the main key or the keypad's) on a row opens it, as a double
    // click does.
    void enterOpensTheCurrentRow()
    {
        SearchedTree t;
        QVERIFY(t.search());
        Harness& h = t.h;
        QVERIFY(QTest::qWaitForWindowExposed(&h.w));
        h.w.activateWindow();
        h.w.list()->setFocus();
        h.selectRows({h.rowNamed("b.pdf")});
        QTest::keyClick(h.w.list(), Qt::Key_Return);
        QCOMPARE(h.shell.opened, QStringList{QDir::toNativeSeparators(t.tmp.path() + "/sub/b.pdf")});
        h.selectRows({h.rowNamed("a.pdf")});
        QTest::keyClick(h.w.list(), Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(h.shell.opened.size(), 2);
        QCOMPARE(h.shell.opened.last(), QDir::toNativeSeparators(t.tmp.path() + "/a.pdf"));
    }

    void selectAllAndTheLeftClickThatClearsIt()
    {
        SearchedTree t;
        QVERIFY(t.search());
        Harness& h = t.h;
        QVERIFY(QTest::qWaitForWindowExposed(&h.w));
        h.action("SelectAll")->trigger();
        QVERIFY(h.get<QCheckBox>("chkSelectall")->isChecked());
        QCOMPARE(h.w.list()->selectionModel()->selectedRows().size(), 4);
        // Again while checked: nothing changes.
        h.w.list()->selectionModel()->select(h.w.model()->index(0, 0),
                                             QItemSelectionModel::Deselect | QItemSelectionModel::Rows);
        h.action("SelectAll")->trigger();
        QCOMPARE(h.w.list()->selectionModel()->selectedRows().size(), 3);

        h.get<QCheckBox>("chkSelectall")->setChecked(true);
        QTest::mousePress(h.w.list()->viewport(), Qt::LeftButton, {}, h.rowPoint(2));
        QVERIFY(!h.get<QCheckBox>("chkSelectall")->isChecked());
        const QModelIndexList rows = h.w.list()->selectionModel()->selectedRows();
        QCOMPARE(rows.size(), 1);
        QCOMPARE(rows.first().row(), 2);
    }

    void contextMenuAndItsExtras()
    {
        QTemporaryDir tmp;
        makeTree(tmp.path());
        Harness h;
        h.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.w));

        // An empty list shows no menu.
        bool popped = false;
        QTimer::singleShot(0, &h.w, [&] {
            if (QWidget* p = QApplication::activePopupWidget()) {
                popped = true;
                p->close();
            }
        });
        QTest::mousePress(h.w.list()->viewport(), Qt::RightButton, {}, QPoint(10, 10));
        QCoreApplication::processEvents();
        QVERIFY(!popped);

        QVERIFY(h.search(tmp.path(), false, true));
        QStringList shown;
        QTimer::singleShot(0, &h.w, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                for (QAction* a : menu->actions())
                    if (a->isVisible())
                        shown << (a->isSeparator() ? QStringLiteral("-") : a->text());
                menu->close();
            }
        });
        QTest::mousePress(h.w.list()->viewport(), Qt::RightButton, {}, h.rowPoint(0));
        QCOMPARE(shown, (QStringList{"Conta&ining Folder", "&Open", "&Resize Columns", "Grid (ON)", "-",
                                     "Page &Sizes", "Totals by Si&ze...", "Totals by &Folder...", "-",
                                     "&Delete Files", "&Clear Results Screen"}));
        QVERIFY(h.action("Delete2")->isVisible());

        // A View command hides the extras again.
        const int nameWidth = h.w.list()->columnWidth(0);
        h.action("ResizeCols")->trigger();
        QVERIFY(!h.action("Delete2")->isVisible());
        QVERIFY(!h.action("clsResult")->isVisible());
        QCOMPARE(h.w.list()->columnWidth(0), nameWidth);
        const QString longest = QDir::toNativeSeparators(tmp.path() + "/sub/b.pdf");
        QVERIFY(h.w.list()->columnWidth(1) >= h.w.list()->fontMetrics().horizontalAdvance(longest));
        QVERIFY(h.w.list()->isColumnHidden(ResultListModel::SortColumn));

        h.action("Grid")->trigger();
        QVERIFY(h.w.list()->showGrid());
        QCOMPARE(h.action("Grid")->text(), QStringLiteral("Grid (OFF)"));
        h.action("Grid")->trigger();
        QCOMPARE(h.action("Grid")->text(), QStringLiteral("Grid (ON)"));

        // While a search runs (Stop enabled) a right click shows nothing.
        h.w.SetEnabled(search::Control::cmdStop, true);
        popped = false;
        QTimer::singleShot(0, &h.w, [&] {
            if (QWidget* p = QApplication::activePopupWidget()) {
                popped = true;
                p->close();
            }
        });
        QTest::mousePress(h.w.list()->viewport(), Qt::RightButton, {}, h.rowPoint(0));
        QCoreApplication::processEvents();
        QVERIFY(!popped);
        h.w.SetEnabled(search::Control::cmdStop, false);

        // "Clear Results Screen" from the menu empties the list and resets.
        h.w.lvwSearchResult_MouseDown(Qt::NoButton, {}); // no effect
        h.action("clsResult")->trigger();
        QCOMPARE(h.w.model()->rowCount(), 0);
        QVERIFY(!h.action("Delete1")->isEnabled());
        QVERIFY(!h.get<QWidget>("cmdClear")->isEnabled());
        QCOMPARE(h.label("lblTotalFiles"), QStringLiteral("Total Files : 0"));
    }

    void clearButton()
    {
        SearchedTree t;
        QVERIFY(t.search());
        Harness& h = t.h;
        h.get<QPushButton>("cmdClear")->click();
        QCOMPARE(h.w.model()->rowCount(), 0);
        QVERIFY(!h.action("mnuOPen")->isEnabled());
        QVERIFY(!h.get<QWidget>("cmdControl2")->isEnabled());
        QCOMPARE(h.label("lblTotalPages"), QStringLiteral("Total Pages PDFs = 000000"));
        QCOMPARE(h.w.session().FoundFiles().size(), 4u);
    }

    void deleteRebuildsRowsAndTotals()
    {
        SearchedTree t;
        QVERIFY(t.search());
        Harness& h = t.h;
        const QTemporaryDir& tmp = t.tmp;

        // No: nothing happens.
        h.selectRows({h.rowNamed("a.pdf")});
        h.boxes.answers = {MsgAnswer::No};
        h.action("Delete1")->trigger();
        QVERIFY(QFile::exists(tmp.path() + "/a.pdf"));
        QCOMPARE(h.w.model()->rowCount(), 4);
        // Without a trash the question says the files go for good.
        QCOMPARE(h.boxes.texts.last(), QStringLiteral("Are you sure to delete all the selected files.\n\n"
                                                      "There is no trash where they are: they are deleted for good."));

        // Two of four, one of them read-only.
        QFile(tmp.path() + "/c.pdf").setPermissions(QFileDevice::ReadOwner);
        h.selectRows({h.rowNamed("a.pdf"), h.rowNamed("c.pdf")});
        h.boxes.answers = {MsgAnswer::Yes};
        QSignalSpy done(&h.w, &FrmMain::searchFinished);
        h.action("Delete1")->trigger();
        QVERIFY(h.waitRebuild(done));
        QVERIFY(!QFile::exists(tmp.path() + "/a.pdf"));
        QVERIFY(!QFile::exists(tmp.path() + "/c.pdf"));
        QCOMPARE(h.w.model()->rowCount(), 2);
        QCOMPARE(h.label("lblTotalPages"), QStringLiteral("Total Pages PDFs = 1"));
        QCOMPARE(h.label("lblTotalFiles"), QStringLiteral("Total Files : 2"));
        QCOMPARE(h.w.session().FoundFiles().size(), 2u);

        // Again: totals of what is left, not a growing sum.
        h.selectRows({h.rowNamed("bad.pdf")});
        h.boxes.answers = {MsgAnswer::Yes};
        done.clear();
        h.action("Delete1")->trigger();
        QVERIFY(h.waitRebuild(done));
        QCOMPARE(h.column(0), QStringList{"b.pdf"});
        QCOMPARE(h.label("lblTotalPages"), QStringLiteral("Total Pages PDFs = 1"));

        // No current row: the message, nothing deleted.
        h.w.list()->selectionModel()->clear();
        h.boxes.answers = {MsgAnswer::Yes};
        h.action("Delete1")->trigger();
        QCOMPARE(h.boxes.texts.last(), QStringLiteral("No selected items found."));
        QVERIFY(QFile::exists(tmp.path() + "/sub/b.pdf"));
        QCOMPARE(h.w.model()->rowCount(), 1);

        // The last row: the list empties and the row commands go off.
        h.selectRows({0});
        h.boxes.answers = {MsgAnswer::Yes};
        done.clear();
        h.action("Delete1")->trigger();
        QVERIFY(h.waitRebuild(done));
        QCOMPARE(h.w.model()->rowCount(), 0);
        QVERIFY(!h.action("Delete1")->isEnabled());
        QVERIFY(!h.action("Cont")->isEnabled());
    }

    void deleteNeverTouchesAFolderAndReportsWhatStays()
    {
        SearchedTree t;
        QVERIFY(t.search());
        Harness& h = t.h;
        const QTemporaryDir& tmp = t.tmp;
        // a.pdf has become a folder with a file inside since the search.
        QVERIFY(QFile::remove(tmp.path() + "/a.pdf"));
        QVERIFY(QDir(tmp.path()).mkpath("a.pdf"));
        testing_app::writeBytes(tmp.path() + "/a.pdf/keep.txt", "keep");
        h.selectRows({h.rowNamed("a.pdf"), h.rowNamed("c.pdf")});
        h.boxes.answers = {MsgAnswer::Yes};
        QSignalSpy done(&h.w, &FrmMain::searchFinished);
        h.action("Delete2")->trigger();
        QVERIFY(h.waitRebuild(done));
        QVERIFY(QFile::exists(tmp.path() + "/a.pdf/keep.txt"));
        QVERIFY(!QFile::exists(tmp.path() + "/c.pdf"));
        const QString aPath = QDir::toNativeSeparators(tmp.path() + "/a.pdf");
        QVERIFY(h.boxes.texts.last().contains(aPath));
        QVERIFY(h.boxes.texts.last().startsWith("These files could not be deleted"));
        QVERIFY(!h.action("Delete2")->isVisible());
    }

    void undeletableFileKeepsItsRow()
    {
        SearchedTree t;
        QVERIFY(t.search());
        Harness& h = t.h;
        const QTemporaryDir& tmp = t.tmp;
        // A file the system refuses to delete: immutable for root, in a
        // read-only folder for anyone else.
        const QString b = tmp.path() + "/sub/b.pdf";
        const bool root = geteuid() == 0;
        if (root) {
            if (QProcess::execute("chattr", {"+i", b}) != 0)
                QSKIP("chattr is not available here");
        } else {
            QFile(tmp.path() + "/sub").setPermissions(QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        }
        h.selectRows({h.rowNamed("b.pdf"), h.rowNamed("a.pdf")});
        h.boxes.answers = {MsgAnswer::Yes};
        QSignalSpy done(&h.w, &FrmMain::searchFinished);
        h.action("Delete1")->trigger();
        QVERIFY(h.waitRebuild(done));
        if (root)
            QProcess::execute("chattr", {"-i", b});
        else
            QFile(tmp.path() + "/sub").setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                      | QFileDevice::ExeOwner);
        QVERIFY(QFile::exists(b));
        QVERIFY(!QFile::exists(tmp.path() + "/a.pdf"));
        QVERIFY(h.rowNamed("b.pdf") >= 0);
        QCOMPARE(h.w.model()->rowCount(), 3);
        QVERIFY(h.boxes.texts.last().contains(QDir::toNativeSeparators(b)));
        const auto& found = h.w.session().FoundFiles();
        QVERIFY(std::find(found.begin(), found.end(), QDir::toNativeSeparators(b).toStdString()) != found.end());
        QCOMPARE(h.label("lblTotalPages"), QStringLiteral("Total Pages PDFs = 3"));
    }

    void openAndContainingFolder()
    {
        SearchedTree t;
        QVERIFY(t.search());
        Harness& h = t.h;
        const QTemporaryDir& tmp = t.tmp;
        QVERIFY(QTest::qWaitForWindowExposed(&h.w));

        // Nothing current: open does nothing, the folder command says so.
        h.w.list()->selectionModel()->clear();
        h.action("mnuOPen")->trigger();
        QVERIFY(h.shell.opened.isEmpty());
        const int before = h.boxes.texts.size();
        h.action("Cont")->trigger();
        QVERIFY(h.shell.opened.isEmpty());
        QCOMPARE(h.boxes.texts.size(), before + 1);

        const int b = h.rowNamed("b.pdf");
        h.selectRows({b});
        h.action("mnuOPen")->trigger();
        QCOMPARE(h.shell.opened.last(), QDir::toNativeSeparators(tmp.path() + "/sub/b.pdf"));
        h.action("Cont")->trigger();
        QCOMPARE(h.shell.opened.last(), QDir::toNativeSeparators(tmp.path() + "/sub") + QDir::separator());
        doubleClick(h.w.list()->viewport(), h.rowPoint(b));
        QCOMPARE(h.shell.opened.last(), QDir::toNativeSeparators(tmp.path() + "/sub/b.pdf"));

        // A file gone since the search: told, nothing opened.
        QFile::remove(tmp.path() + "/sub/b.pdf");
        const int opened = h.shell.opened.size();
        h.action("Cont")->trigger();
        QCOMPARE(h.shell.opened.size(), opened);
        QVERIFY(h.boxes.texts.last().contains("no longer exists"));

        // One trailing separator, also for a file at the top of the file system.
        const QString sep = QDir::separator();
        QCOMPARE(containingFolderPath(QDir::rootPath() + "a.tif"), QDir::toNativeSeparators(QDir::rootPath()));
        QVERIFY(!containingFolderPath(QDir::rootPath() + "a.tif").endsWith(sep + sep));
        QCOMPARE(containingFolderPath(tmp.path() + "/sub/b.pdf"),
                 QDir::toNativeSeparators(tmp.path() + "/sub") + sep);
    }

    void folderChooserKeepsThePathWhenCancelled()
    {
        QTemporaryDir tmp;
        QDir(tmp.path()).mkpath("pick");
        Harness h;
        h.w.show();
        QLineEdit* path = h.get<QLineEdit>("txtSearchPath");
        path->setText(QStringLiteral("  typed by hand"));
        QString preselected;
        QTimer::singleShot(0, &h.w, [&] {
            auto* dlg = h.w.findChild<FrmBrowseDlg*>();
            QVERIFY(dlg);
            QCOMPARE(dlg->prompt1(), QStringLiteral("Select Folder"));
            QVERIFY(dlg->showPrompt2());
            dlg->cancelButton()->click();
        });
        h.get<QPushButton>("cmdSelectPath")->click();
        QCOMPARE(path->text(), QStringLiteral("  typed by hand"));

        // Blank path box: the chooser starts at the tree's root; OK takes the choice.
        path->setText(QStringLiteral("   "));
        const QString pick = QDir::toNativeSeparators(tmp.path() + "/pick");
        QTimer::singleShot(0, &h.w, [&] {
            auto* dlg = h.w.findChild<FrmBrowseDlg*>();
            preselected = dlg->preSelectedFolder();
            dlg->setPreSelectedFolder(pick);
            dlg->okButton()->click();
        });
        h.get<QPushButton>("cmdSelectPath")->click();
        QCOMPARE(preselected, h.w.folderTree()->rootFolder());
        QCOMPARE(path->text(), pick);
        QCOMPARE(h.w.folderTree()->selectedFolder(), pick);
    }

    void helpCommands()
    {
        Harness h;
        h.action("mnHelp")->trigger();
        QCOMPARE(h.shell.opened.last(), QDir(QCoreApplication::applicationDirPath()).filePath("help.htm"));
        h.action("IntSuppage")->trigger();
        QCOMPARE(h.shell.opened.last(), QString::fromLatin1(kProductSiteAddress));
    }

    void layoutFollowsTheWindowAndTheSplitter()
    {
        Harness h;
        h.w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&h.w));
        const double tx = twipsPerPixelX(&h.w), ty = twipsPerPixelY(&h.w);
        h.w.resize(1000, 600);
        QTRY_COMPARE(h.w.client()->width(), 1000);
        QWidget* client = h.w.client();
        const MainLayout l = layoutFor(int(client->width() * tx), int(client->height() * ty),
                                       h.w.leftPaneWidth(), h.w.textRoom());
        QCOMPARE(h.get<QWidget>("cmdClear")->geometry(), toPixels(l.cmdClear, tx, ty));
        QCOMPARE(h.get<QWidget>("FraSearch")->geometry(), toPixels(l.FraSearch, tx, ty));
        QCOMPARE(h.w.list()->geometry(), toPixels(l.lvwSearchResult, tx, ty));

        // The window does not go below its minimum: the outer size (frame
        // included) nor the client area below their smallest sizes.
        h.w.resize(100, 100);
        QTRY_VERIFY(h.w.frameGeometry().width() >= toPixelsX(kMinOuterWidth, tx));
        QVERIFY(h.w.frameGeometry().height() >= toPixelsY(kMinOuterHeight, ty));
        QVERIFY(h.w.width() >= toPixelsX(kDesignClientWidth, tx));
        QVERIFY(client->height() >= toPixelsY(kDesignClientHeight, ty) - 1);

        // Double-click widens the result pane, a second one restores it.
        h.w.resize(1000, 600);
        auto* bar = h.get<QWidget>("SilderBar");
        QVERIFY(!bar->toolTip().isEmpty());
        const int listWidth = h.w.list()->width();
        QTest::mouseDClick(bar, Qt::LeftButton);
        QVERIFY(h.w.list()->width() > listWidth);
        QTest::mouseDClick(bar, Qt::LeftButton);
        QCOMPARE(h.w.list()->width(), listWidth);
        // Dragging moves the boundary.
        const int left = h.w.leftPaneWidth();
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(2, 10));
        QMouseEvent move(QEvent::MouseMove, QPointF(42, 10), bar->mapToGlobal(QPointF(42, 10)),
                         Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(bar, &move);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(42, 10));
        QCOMPARE(h.w.leftPaneWidth(), left + int(40 * tx));
    }

    void aboutBoxIsCreatedOnce()
    {
        Harness h;
        h.action("about")->trigger();
        DlgAbout* first = h.w.aboutBox();
        QVERIFY(first && first->isVisible() && !first->isModal());
        first->okButton()->click();
        QVERIFY(!first->isVisible());
        h.action("about")->trigger();
        QCOMPARE(h.w.aboutBox(), first);
        QVERIFY(first->isVisible());
    }
};

QTEST_MAIN(MainWindowTest)
#include "main_window_test.moc"
