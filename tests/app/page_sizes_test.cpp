// Page sizes through the window: View > Page Sizes shows the two size
// columns and the A4 line and has the search read sizes (a plain search
// reads none), the columns sort by their numbers, the choice is remembered,
// rows listed without sizes are counted again, the totals by size and by
// folder show in dialogs that copy, and the export offers the new fields.
#include "window_fixture.h"
#include "totals_dialog.h"

#include <export/dlg_choose_export.h>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using namespace quillon;
using namespace testing_app;

namespace {

// A4, A6 and A0 in points.
const QByteArray kA4 = "0 0 595.28 841.89";
const QByteArray kA6 = "0 0 297.64 419.53";
const QByteArray kA0 = "0 0 2383.94 3370.39";

// A tree: client A/case 1/big.pdf (one A0 page: 16 A4 equivalents, 1 m²),
// client A/letters.pdf (20 A6 pages: 20 A4 equivalents, 0.31 m²),
// client B/memo.pdf (3 A4 pages), client B/scan.tif (2 pages, no resolution).
struct Tree {
    QTemporaryDir dir;
    QString root;
    Tree()
    {
        root = dir.path();
        QDir(root).mkpath(QStringLiteral("client A/case 1"));
        QDir(root).mkpath(QStringLiteral("client B"));
        writePdf(root + QStringLiteral("/client A/case 1/big.pdf"), 1, 0, kA0);
        writePdf(root + QStringLiteral("/client A/letters.pdf"), 20, 0, kA6);
        writePdf(root + QStringLiteral("/client B/memo.pdf"), 3, 0, kA4);
        writeTiff(root + QStringLiteral("/client B/scan.tif"), 2);
    }
};

QAction* action(const QWidget& w, const char* name) { return control<QAction>(w, name); }

int rowNamed(const ResultListModel& m, const QString& name)
{
    for (int r = 0; r < m.rowCount(); ++r)
        if (m.name(r) == name)
            return r;
    return -1;
}

QStringList namesInOrder(const ResultListModel& m)
{
    QStringList names;
    for (int r = 0; r < m.rowCount(); ++r)
        names << m.name(r);
    return names;
}

QString cell(const QTableWidget& t, int row, int column)
{
    const QTableWidgetItem* item = t.item(row, column);
    return item ? item->text() : QString();
}

// The rows of a totals table as "name=files/pages/A4 equivalents".
QStringList totalsRows(const QTableWidget& t)
{
    QStringList out;
    for (int r = 0; r < t.rowCount(); ++r)
        out << cell(t, r, 0) + QLatin1Char('=') + cell(t, r, 1) + QLatin1Char('/') + cell(t, r, 2) + QLatin1Char('/')
                + cell(t, r, 3);
    return out;
}

// The window shown, View > Page Sizes turned on, and the tree searched.
bool searchWithSizes(FrmMain& w, const QString& root)
{
    w.show();
    action(w, "PageSizes")->trigger();
    return searchThroughButtons(w, root, true, true);
}

} // namespace

class PageSizesTest : public QObject {
    Q_OBJECT

private slots:
    void aPlainSearchReadsNoSizesAndShowsNoSizeColumns()
    {
        Tree tree;
        FakeServices fake;
        FrmMain w(fake.services());
        w.show();
        QVERIFY(searchThroughButtons(w, tree.root, true, true));
        QCOMPARE(w.model()->rowCount(), 4);
        for (int r = 0; r < 4; ++r)
            QVERIFY(!w.model()->sizes(r));
        QVERIFY(w.list()->isColumnHidden(ResultListModel::PageSizesColumn));
        QVERIFY(w.list()->isColumnHidden(ResultListModel::A4Column));
        QVERIFY(!control<QLabel>(w, "lblTotalA4")->isVisible());
        QVERIFY(!action(w, "TotalsBySize")->isEnabled());
    }

    void pageSizesShowsTheColumnsAndTheA4Line()
    {
        Tree tree;
        FakeServices fake;
        FrmMain w(fake.services());
        w.show();
        action(w, "PageSizes")->trigger();
        QVERIFY(action(w, "PageSizes")->isChecked());
        QVERIFY(searchThroughButtons(w, tree.root, true, true));
        const ResultListModel& m = *w.model();
        QVERIFY(!w.list()->isColumnHidden(ResultListModel::PageSizesColumn));
        QVERIFY(!w.list()->isColumnHidden(ResultListModel::A4Column));
        QCOMPARE(m.headerData(ResultListModel::PageSizesColumn, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("Page Sizes"));
        QCOMPARE(m.headerData(ResultListModel::A4Column, Qt::Horizontal, Qt::DisplayRole).toString(),
                 QStringLiteral("A4 Equivalents"));
        const int big = rowNamed(m, QStringLiteral("big.pdf"));
        const int letters = rowNamed(m, QStringLiteral("letters.pdf"));
        const int memo = rowNamed(m, QStringLiteral("memo.pdf"));
        const int scan = rowNamed(m, QStringLiteral("scan.tif"));
        QCOMPARE(m.cellText(big, ResultListModel::PageSizesColumn), QStringLiteral("A0:1"));
        QCOMPARE(m.cellText(big, ResultListModel::A4Column), QStringLiteral("16"));
        QCOMPARE(m.cellText(letters, ResultListModel::PageSizesColumn), QStringLiteral("A6:20"));
        QCOMPARE(m.cellText(letters, ResultListModel::A4Column), QStringLiteral("20"));
        QCOMPARE(m.cellText(memo, ResultListModel::PageSizesColumn), QStringLiteral("A4:3"));
        QCOMPARE(m.cellText(memo, ResultListModel::A4Column), QStringLiteral("3"));
        // A TIFF without a resolution has no size on paper: each page is
        // one A4 equivalent, and the line says how many such pages there are.
        QCOMPARE(m.cellText(scan, ResultListModel::A4Column), QStringLiteral("2"));
        auto* line = control<QLabel>(w, "lblTotalA4");
        QVERIFY(line->isVisible());
        QCOMPARE(line->text(), QStringLiteral("A4 Equivalents = 41  (2 pages of unknown size)"));
        // The line is on the window, below the page totals, whole.
        auto* totals = control<QLabel>(w, "lblTotalPages");
        QVERIFY(line->geometry().top() >= totals->geometry().bottom());
        QVERIFY(line->width() >= line->sizeHint().width());
        QVERIFY(line->parentWidget()->rect().contains(line->geometry()));
        QVERIFY(!line->geometry().intersects(w.list()->geometry()));

        // Turned off: the columns and the line go, the next search reads no sizes.
        action(w, "PageSizes")->trigger();
        QVERIFY(w.list()->isColumnHidden(ResultListModel::A4Column));
        QVERIFY(!line->isVisible());
        QVERIFY(searchThroughButtons(w, tree.root, true, true));
        QVERIFY(!w.model()->sizes(0));
    }

    void theSizeColumnsSortByTheirNumbers()
    {
        Tree tree;
        FakeServices fake;
        FrmMain w(fake.services());
        QVERIFY(searchWithSizes(w, tree.root));
        // A4 Equivalents: 2, 3, 16, 20.
        w.lvwSearchResult_ColumnClick(ResultListModel::A4Column + 1);
        QCOMPARE(namesInOrder(*w.model()), (QStringList{QStringLiteral("scan.tif"), QStringLiteral("memo.pdf"),
                                                        QStringLiteral("big.pdf"), QStringLiteral("letters.pdf")}));
        QCOMPARE(w.list()->horizontalHeader()->sortIndicatorSection(), ResultListModel::A4Column);
        w.lvwSearchResult_ColumnClick(ResultListModel::A4Column + 1);
        QCOMPARE(namesInOrder(*w.model()).first(), QStringLiteral("letters.pdf"));
        // Page Sizes by the pages' area: none, 0.19 m², 0.31 m², 1 m² -
        // not the order of the text, nor of the A4 equivalents.
        w.lvwSearchResult_ColumnClick(ResultListModel::PageSizesColumn + 1);
        if (w.sortDescending())
            w.lvwSearchResult_ColumnClick(ResultListModel::PageSizesColumn + 1);
        QCOMPARE(namesInOrder(*w.model()), (QStringList{QStringLiteral("scan.tif"), QStringLiteral("memo.pdf"),
                                                        QStringLiteral("letters.pdf"), QStringLiteral("big.pdf")}));
    }

    void theChoiceIsRememberedAndListedRowsAreCountedAgain()
    {
        Tree tree;
        QTemporaryDir settingsDir;
        QSettings settings(settingsDir.filePath(QStringLiteral("q.ini")), QSettings::IniFormat);
        {
            FakeServices fake;
            FrmMain w(fake.services({}, &settings));
            w.show();
            QVERIFY(searchThroughButtons(w, tree.root, true, true));
            QVERIFY(!w.model()->sizes(0));
            // Turned on over a list without sizes: the rows are counted again.
            QSignalSpy rebuilt(&w, &FrmMain::searchFinished);
            action(w, "PageSizes")->trigger();
            QVERIFY(rebuilt.count() > 0 || rebuilt.wait(30000));
            QCOMPARE(w.model()->rowCount(), 4);
            QCOMPARE(w.model()->cellText(rowNamed(*w.model(), QStringLiteral("memo.pdf")), ResultListModel::A4Column),
                     QStringLiteral("3"));
            QVERIFY(control<QLabel>(w, "lblTotalA4")->text().startsWith(QStringLiteral("A4 Equivalents = 41")));
        }
        FakeServices fake;
        FrmMain again(fake.services({}, &settings));
        again.show();
        QVERIFY(action(again, "PageSizes")->isChecked());
        QVERIFY(!again.list()->isColumnHidden(ResultListModel::PageSizesColumn));
        QVERIFY(searchThroughButtons(again, tree.root, true, true));
        QVERIFY(again.model()->sizes(0));
    }

    void totalsBySizeShowAndCopy()
    {
        Tree tree;
        FakeServices fake;
        FrmMain w(fake.services());
        QVERIFY(searchWithSizes(w, tree.root));
        action(w, "TotalsBySize")->trigger();
        auto* dlg = qobject_cast<TotalsDialog*>(w.totalsDialog());
        QVERIFY(dlg);
        QVERIFY(dlg->isVisible());
        QTableWidget& t = *dlg->table();
        QCOMPARE(t.columnCount(), 5);
        QCOMPARE(t.horizontalHeaderItem(3)->text(), QStringLiteral("A4 Equivalents"));
        QStringList sizes = totalsRows(t);
        sizes.sort();
        QCOMPARE(sizes, (QStringList{QStringLiteral("A0=1/1/16"), QStringLiteral("A4=1/3/3"),
                                     QStringLiteral("A6=1/20/20"), QStringLiteral("Total=4/26/41"),
                                     QStringLiteral("unknown size=1/2/2")}));
        QCOMPARE(cell(t, t.rowCount() - 1, 0), QStringLiteral("Total"));
        // Every column shows its widest text.
        for (int c = 0; c < t.columnCount(); ++c)
            QVERIFY(t.columnWidth(c) >= t.fontMetrics().horizontalAdvance(t.horizontalHeaderItem(c)->text()));

        QApplication::clipboard()->clear();
        control<QPushButton>(*dlg, "copy")->click();
        const QStringList lines = QApplication::clipboard()->text().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), t.rowCount() + 1);
        QCOMPARE(lines.first(), QStringLiteral("Size\tFiles\tPages\tA4 Equivalents\tArea (m²)"));
        QCOMPARE(lines.last(), QStringLiteral("Total\t4\t26\t41\t") + cell(t, t.rowCount() - 1, 4));
        const double area = cell(t, t.rowCount() - 1, 4).toDouble();
        QVERIFY2(area > 1.49 && area < 1.51, qPrintable(cell(t, t.rowCount() - 1, 4)));
    }

    void totalsByFolderFollowTheDepthChosen()
    {
        Tree tree;
        FakeServices fake;
        FrmMain w(fake.services());
        QVERIFY(searchWithSizes(w, tree.root));
        action(w, "TotalsByFolder")->trigger();
        auto* dlg = qobject_cast<TotalsDialog*>(w.totalsDialog());
        QVERIFY(dlg);
        QCOMPARE(dlg->depth(), 1);
        auto lines = [dlg] { return totalsRows(*dlg->table()); };
        const QString a = tree.root + QStringLiteral("/client A");
        const QString b = tree.root + QStringLiteral("/client B");
        QCOMPARE(lines(), (QStringList{a + QStringLiteral("=2/21/36"), b + QStringLiteral("=2/5/5"),
                                       QStringLiteral("Total=4/26/41")}));
        control<QSpinBox>(*dlg, "depth")->setValue(2);
        QCOMPARE(lines(), (QStringList{a + QStringLiteral("=1/20/20"), a + QStringLiteral("/case 1=1/1/16"),
                                       b + QStringLiteral("=2/5/5"), QStringLiteral("Total=4/26/41")}));
        QApplication::clipboard()->clear();
        control<QPushButton>(*dlg, "copy")->click();
        QVERIFY(QApplication::clipboard()->text().contains(a + QStringLiteral("/case 1\t1\t1\t16\t")));
        // The workbook's folder sheet takes the depth last chosen.
        const auto sheets = w.ExtraSheets();
        QCOMPARE(sheets.size(), std::size_t{2});
        QCOMPARE(sheets[0].name, std::string("Totals by size"));
        QCOMPARE(sheets[1].name, std::string("Totals by folder"));
        QCOMPARE(sheets[1].table.Rows(), std::size_t{5}); // header, three folders, Total
    }

    void theExportOffersTheSizeFieldsOnlyWhenShown()
    {
        Tree tree;
        FakeServices fake;
        FrmMain w(fake.services());
        w.show();
        QVERIFY(searchThroughButtons(w, tree.root, true, true));
        auto offered = [&w] {
            QStringList fields;
            QTimer::singleShot(0, [&fields] {
                auto* dlg = qobject_cast<exporting::DlgChooseExport*>(QApplication::activeModalWidget());
                if (!dlg)
                    return;
                for (int i = 0; i < dlg->lstFields->count(); ++i)
                    fields << dlg->lstFields->item(i)->text();
                dlg->cmdCancel->click();
            });
            w.RunExport();
            return fields;
        };
        QCOMPARE(offered(), (QStringList{QStringLiteral("Name"), QStringLiteral("Path"), QStringLiteral("Size"),
                                         QStringLiteral("Page Count")}));
        QVERIFY(w.ExtraSheets().empty());
        QSignalSpy rebuilt(&w, &FrmMain::searchFinished);
        action(w, "PageSizes")->trigger();
        QVERIFY(rebuilt.count() > 0 || rebuilt.wait(30000));
        QCOMPARE(offered(), (QStringList{QStringLiteral("Name"), QStringLiteral("Path"), QStringLiteral("Size"),
                                         QStringLiteral("Page Count"), QStringLiteral("Page Sizes"),
                                         QStringLiteral("A4 Equivalents")}));
        // The cells the table gets: the row's sizes and its A4 equivalents.
        const int memo = rowNamed(*w.model(), QStringLiteral("memo.pdf")) + 1;
        QCOMPARE(w.SubItem(memo, 4).value_or("none"), std::string("A4:3"));
        QCOMPARE(w.SubItem(memo, 5).value_or("none"), std::string("3"));
        QCOMPARE(w.ColumnHeader(6), std::string("A4 Equivalents"));
    }
};

QTEST_MAIN(PageSizesTest)
#include "page_sizes_test.moc"
