// The window at its smallest.  Every caption and every value the program
// writes can be read: with the longest values a large search gives
// (seven-digit totals, sizes of 10,000,000 KB), the text of each label,
// button, group title, list header and number cell fits the room its widget
// gives it, and no other control covers it; the same for the export dialog.
// And the splitter can be grabbed across its whole width.
#include "fixtures.h"
#include "window_fixture.h"
#include "main_window.h"
#include "result_model.h"
#include "twips.h"

#include <export/dlg_choose_export.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QStyleOptionGroupBox>
#include <QTableView>
#include <QtTest>

using namespace quillon;

namespace {

// The text a caption shows: "&" marks the access key and is not drawn.
QString shownText(QString t)
{
    t.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    t.remove(QLatin1Char('&'));
    t.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return t;
}

// One piece of text as drawn: the room its widget gives it and the
// rectangle it takes, both in the window's coordinates.
struct Drawn {
    QWidget* widget;
    QString text;
    QRect room;
    QRect ink;
};

QRect toTop(QWidget* w, const QRect& r) { return QRect(w->mapTo(w->window(), r.topLeft()), r.size()); }

QList<Drawn> aligned(QWidget* w, const QString& text, const QFont& font, const QRect& room, Qt::Alignment a)
{
    const QFontMetricsF fm(font);
    const QSize need(qCeil(fm.horizontalAdvance(text)), qCeil(fm.height()));
    const QRect ink = QStyle::alignedRect(w->layoutDirection(), a, need, room);
    if (ink.width() > room.width() || !text.contains(QStringLiteral("  ")))
        return {{w, text, toTop(w, room), toTop(w, ink)}};
    // Words set apart by a run of blanks (controls may sit in the gap):
    // each word must show.
    QList<Drawn> words;
    static const QRegularExpression word(QStringLiteral("\\S+( \\S+)*"));
    for (auto it = word.globalMatch(text); it.hasNext();) {
        const auto m = it.next();
        const int x = qFloor(fm.horizontalAdvance(text.left(m.capturedStart())));
        const QRect piece(ink.left() + x, ink.top(), qCeil(fm.horizontalAdvance(m.captured())), ink.height());
        words.append({w, m.captured(), toTop(w, room), toTop(w, piece)});
    }
    return words;
}

// The texts of a label or button and where its style draws them.
QList<Drawn> drawnText(QWidget* w)
{
    QStyle* style = w->style();
    if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->text().isEmpty())
            return {};
        return aligned(w, label->textFormat() == Qt::RichText ? label->text() : shownText(label->text()),
                       label->font(), label->contentsRect(), label->alignment());
    }
    if (auto* b = qobject_cast<QAbstractButton*>(w)) {
        if (b->text().isEmpty())
            return {};
        QStyleOptionButton opt;
        opt.initFrom(b);
        opt.text = b->text();
        opt.rect = b->rect();
        QStyle::SubElement room = QStyle::SE_PushButtonContents;
        Qt::Alignment a = Qt::AlignCenter;
        if (qobject_cast<QCheckBox*>(b)) {
            room = QStyle::SE_CheckBoxContents;
            a = Qt::AlignLeft | Qt::AlignVCenter;
        } else if (qobject_cast<QRadioButton*>(b)) {
            room = QStyle::SE_RadioButtonContents;
            a = Qt::AlignLeft | Qt::AlignVCenter;
        } else {
            const int m = style->pixelMetric(QStyle::PM_ButtonMargin, &opt, b) / 2;
            return aligned(w, shownText(b->text()), b->font(),
                           style->subElementRect(room, &opt, b).adjusted(m, 0, -m, 0), a);
        }
        return aligned(w, shownText(b->text()), b->font(), style->subElementRect(room, &opt, b), a);
    }
    if (auto* g = qobject_cast<QGroupBox*>(w)) {
        if (g->title().isEmpty())
            return {};
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = g->title();
        opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        opt.textAlignment = g->alignment();
        opt.rect = g->rect();
        const QRect label = style->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, g);
        // The label's room ends at the box's edge.
        return aligned(w, shownText(g->title()), g->font(), label.intersected(g->rect()),
                       Qt::AlignLeft | Qt::AlignVCenter);
    }
    return {};
}

// A failure message when `d` does not fit its room or another shown control
// lies over its ink.
QString fault(const Drawn& d, const QList<QWidget*>& all)
{
    const QString name = d.widget->objectName();
    if (!d.room.contains(d.ink))
        return QStringLiteral("%1: \"%2\" needs %3x%4, has %5x%6")
            .arg(name, d.text)
            .arg(d.ink.width())
            .arg(d.ink.height())
            .arg(d.room.width())
            .arg(d.room.height());
    // Clipped by a container that ends before the text does.
    for (QWidget* p = d.widget->parentWidget(); p && !p->isWindow(); p = p->parentWidget())
        if (!toTop(p, p->rect()).contains(d.ink))
            return QStringLiteral("%1: \"%2\" reaches outside %3").arg(name, d.text, p->objectName());
    for (QWidget* other : all) {
        if (other == d.widget || !other->isVisible() || other->isAncestorOf(d.widget)
            || d.widget->isAncestorOf(other))
            continue;
        if (!toTop(other, other->rect()).intersects(d.ink))
            continue;
        // Only what lies above the text hides it: a later sibling (or a
        // child of one) of a widget on the text's way up.
        for (QWidget* w = d.widget; w && !w->isWindow(); w = w->parentWidget()) {
            QWidget* top = other;
            while (top && top->parentWidget() != w->parentWidget())
                top = top->parentWidget();
            if (!top)
                continue;
            const QObjectList& kids = w->parentWidget()->children();
            if (kids.indexOf(top) > kids.indexOf(w))
                return QStringLiteral("%1: \"%2\" is covered by %3").arg(name, d.text, other->objectName());
            break;
        }
    }
    return {};
}

// A check box or option button whose box is cut by its own edges.
QString cutIndicator(QWidget* w)
{
    const bool check = qobject_cast<QCheckBox*>(w), radio = qobject_cast<QRadioButton*>(w);
    if (!check && !radio)
        return {};
    QStyleOptionButton opt;
    opt.initFrom(w);
    opt.rect = w->rect();
    const QRect box = w->style()->subElementRect(check ? QStyle::SE_CheckBoxIndicator : QStyle::SE_RadioButtonIndicator,
                                                 &opt, w);
    const int need = w->style()->pixelMetric(check ? QStyle::PM_IndicatorHeight : QStyle::PM_ExclusiveIndicatorHeight,
                                             &opt, w);
    if (box.height() < need || !w->rect().contains(box))
        return QStringLiteral("%1: its box needs %2 pixels of height, has %3").arg(w->objectName()).arg(need).arg(w->height());
    return {};
}

// The widest text a date editor shows over every day, month and weekday
// name of its locale, in the year its font draws widest.
QString widestDate(const QDateEdit* e)
{
    const QFontMetrics fm(e->font());
    const QString format = e->displayFormat();
    int widestYear = e->minimumDate().year();
    for (int y = e->minimumDate().year(); y <= e->maximumDate().year(); ++y)
        if (fm.horizontalAdvance(QString::number(y)) > fm.horizontalAdvance(QString::number(widestYear)))
            widestYear = y;
    QString widest;
    for (QDate d(widestYear, 1, 1); d.year() == widestYear; d = d.addDays(1)) {
        const QString t = e->locale().toString(d, format);
        if (fm.horizontalAdvance(t) > fm.horizontalAdvance(widest))
            widest = t;
    }
    return widest;
}

// A date editor whose widest date does not fit its text field, or is
// covered by another control.
QStringList cutDates(QWidget* window, const QList<QWidget*>& all)
{
    QStringList out;
    for (QDateEdit* e : window->findChildren<QDateEdit*>()) {
        if (!e->isVisible())
            continue;
        QLineEdit* edit = e->findChild<QLineEdit*>();
        // A line edit draws its text two pixels in from each side and
        // keeps one for the cursor.
        const QRect room = edit->contentsRect().adjusted(2, 0, -3, 0);
        for (Drawn d : aligned(edit, widestDate(e), e->font(), room, Qt::AlignLeft | Qt::AlignVCenter))
            if (const QString f = fault(d, all); !f.isEmpty())
                out << e->objectName() + QStringLiteral(" (") + f + QLatin1Char(')');
    }
    return out;
}

// A control that lies over the line its group box draws round it.
QStringList onFrameLines(QWidget* window)
{
    QStringList out;
    for (QGroupBox* g : window->findChildren<QGroupBox*>()) {
        if (!g->isVisible() || g->title().isEmpty())
            continue;
        QStyleOptionGroupBox opt;
        opt.initFrom(g);
        opt.text = g->title();
        opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        opt.rect = g->rect();
        // The style draws its frame lines just outside the contents.
        const QRect contents = g->style()->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxContents, g);
        const QRect inside = contents.adjusted(-2, -2, 2, 2);
        for (QObject* o : g->children()) {
            auto* w = qobject_cast<QWidget*>(o);
            if (w && w->isVisible() && !w->isWindow() && !inside.contains(w->geometry()))
                out << QStringLiteral("%1 lies over the frame line of %2 (%3,%4 %5x%6 outside %7,%8 %9x%10)")
                           .arg(w->objectName(), g->objectName())
                           .arg(w->x()).arg(w->y()).arg(w->width()).arg(w->height())
                           .arg(inside.x()).arg(inside.y()).arg(inside.width()).arg(inside.height());
        }
    }
    return out;
}

// A window whose title a title bar of its width cannot show whole: the
// title bar's buttons and icon take about this much beside the text.
constexpr int kTitleBarButtons = 120;
QStringList cutTitles(QWidget* window)
{
    QFont titleFont = QApplication::font();
    titleFont.setBold(true); // most window managers draw titles bold
    const int need = QFontMetrics(titleFont).horizontalAdvance(window->windowTitle()) + kTitleBarButtons;
    if (window->isWindow() && window->width() < need)
        return {QStringLiteral("the title \"%1\" needs a window %2 wide, has %3")
                    .arg(window->windowTitle()).arg(need).arg(window->width())};
    return {};
}

QStringList faults(QWidget* window)
{
    QList<QWidget*> all = window->findChildren<QWidget*>();
    all.removeIf([](QWidget* w) { return !w->isVisible(); });
    QStringList out = cutDates(window, all);
    out << onFrameLines(window) << cutTitles(window);
    for (QWidget* w : all)
        if (const QString f = cutIndicator(w); !f.isEmpty())
            out << f;
    for (QWidget* w : all)
        for (const Drawn& d : drawnText(w))
            if (const QString f = fault(d, all); !f.isEmpty())
                out << f;
    return out;
}

// Cells whose text an item view would elide, in rows shown, for `columns`.
QStringList elidedCells(QAbstractItemView* view, const QList<int>& columns)
{
    QStringList out;
    QAbstractItemModel* m = view->model();
    for (int r = 0; r < m->rowCount(); ++r)
        for (int c : columns) {
            const QModelIndex i = m->index(r, c);
            QStyleOptionViewItem opt;
            opt.initFrom(view->viewport());
            opt.rect = view->visualRect(i);
            opt.font = view->font();
            opt.decorationSize = view->iconSize();
            opt.features = QStyleOptionViewItem::HasDisplay;
            opt.text = m->data(i, Qt::DisplayRole).toString();
            opt.icon = m->data(i, Qt::DecorationRole).value<QIcon>();
            if (!opt.icon.isNull())
                opt.features |= QStyleOptionViewItem::HasDecoration;
            if (m->flags(i) & Qt::ItemIsUserCheckable)
                opt.features |= QStyleOptionViewItem::HasCheckIndicator;
            const QRect room = view->style()->subElementRect(QStyle::SE_ItemViewItemText, &opt, view);
            // The style draws the text inside a small margin of that room.
            const int margin = view->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, view) + 1;
            const int need = QFontMetrics(opt.font).horizontalAdvance(opt.text);
            const int has = room.width() - 2 * margin;
            if (need > has || opt.rect.left() < 0 || opt.rect.right() >= view->viewport()->width())
                out << QStringLiteral("row %1 column %2: \"%3\" needs %4, has %5")
                           .arg(r)
                           .arg(c)
                           .arg(opt.text)
                           .arg(need)
                           .arg(has);
        }
    return out;
}

QStringList clippedHeaders(QHeaderView* h)
{
    QStringList out;
    for (int s = 0; s < h->count(); ++s) {
        if (h->isSectionHidden(s))
            continue;
        const QString text = h->model()->headerData(s, h->orientation()).toString();
        QStyleOptionHeader opt;
        opt.initFrom(h);
        opt.rect = QRect(h->sectionViewportPosition(s), 0, h->sectionSize(s), h->height());
        opt.section = s;
        opt.text = text;
        const QRect room = h->style()->subElementRect(QStyle::SE_HeaderLabel, &opt, h);
        if (QFontMetrics(h->font()).horizontalAdvance(text) > room.width())
            out << QStringLiteral("header \"%1\" needs %2, has %3")
                       .arg(text)
                       .arg(QFontMetrics(h->font()).horizontalAdvance(text))
                       .arg(room.width());
    }
    return out;
}

struct Window : testing_app::FakeServices {
    FrmMain w{services()};

    template <class T> T* get(const char* name) const { return testing_app::control<T>(w, name); }
    // The smallest window, with both kinds chosen and the longest values;
    // with `sizes`, the page sizes shown and read as well.
    void smallestWithLongValues(bool sizes = false)
    {
        if (sizes)
            get<QAction>("PageSizes")->trigger();
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        w.resize(1, 1);
        QTRY_COMPARE(w.size(), w.minimumSize());
        get<QCheckBox>("chkSearchOption0")->setChecked(true);
        get<QCheckBox>("chkSearchOption1")->setChecked(true);
        std::vector<search::ResultRow> rows(3);
        const std::int64_t kb[] = {10'000'000, 132, 9'999'999};
        const std::int32_t pages[] = {9'999'999, 1, 0};
        for (int i = 0; i < 3; ++i) {
            rows[i].name = "scan " + std::to_string(i) + ".tif";
            rows[i].key = rows[i].path = "/archive/" + rows[i].name;
            rows[i].sizeBytes = static_cast<std::uint64_t>(kb[i]) * 1024;
            rows[i].pages = pages[i];
            rows[i].hasPageCount = true;
            rows[i].icon = 1;
            if (sizes && pages[i] > 0) {
                // A4 pages, and a page whose size could not be read.
                rows[i].pageSizes = {{595.28, 841.89, component::PageSizeState::Known, pages[i] - 1},
                                     {0, 0, component::PageSizeState::Unknown, 1}};
            }
        }
        w.AppendRows(std::move(rows));
        w.SetCaption(search::Caption::lblTotalFiles, "Total Files : 9999999");
        w.SetCaption(search::Caption::lblSearchTime, " Total Search Time : 23:59:59");
        w.SetCaption(search::Caption::lblTotalPages, "Total Pages TIFs = 9999999 PDFs = 9999999");
        w.SetCaption(search::Caption::lblFileName, longFolder().toStdString());
        QCoreApplication::processEvents();
    }
    static QString longFolder()
    {
        return QStringLiteral("/srv/archive/Scans Department/Customer Correspondence/2025/Invoices and "
                              "Delivery Notes/Quarter 4/December/Week 51/Batch 0042/");
    }
    // Drags the splitter by dx pixels.
    void drag(int dx)
    {
        QWidget* bar = get<QWidget>("SilderBar");
        QTest::mousePress(bar, Qt::LeftButton, {}, QPoint(1, 10));
        QMouseEvent move(QEvent::MouseMove, QPointF(1 + dx, 10), bar->mapToGlobal(QPointF(1 + dx, 10)),
                         Qt::NoButton, Qt::LeftButton, {});
        QCoreApplication::sendEvent(bar, &move);
        QTest::mouseRelease(bar, Qt::LeftButton, {}, QPoint(1 + dx, 10));
    }
};

} // namespace

class SmallestWindowTest : public QObject {
    Q_OBJECT
private slots:
    void mainWindowAtTheSmallestSize()
    {
        Window win;
        win.smallestWithLongValues();
        QStringList found = faults(&win.w);
        found << elidedCells(win.w.list(), {2, 3}) << clippedHeaders(win.w.list()->horizontalHeader());
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
        // A folder path longer than its label is shortened in the middle; the
        // tool-tip holds all of it.
        auto* folder = win.get<QLabel>("lblFileName");
        QCOMPARE(folder->toolTip(), Window::longFolder());
        QVERIFY(folder->text().endsWith(QStringLiteral("Batch 0042/")));
    }

    // With page sizes shown: the two size columns, their headers and the A4
    // line (below the page totals, with its pages of unknown size) fit too.
    void mainWindowWithPageSizes()
    {
        Window win;
        win.smallestWithLongValues(true);
        auto* a4 = win.get<QLabel>("lblTotalA4");
        QVERIFY(a4->isVisible());
        QVERIFY2(a4->text().startsWith(QStringLiteral("A4 Equivalents = 10000000")), qPrintable(a4->text()));
        QVERIFY(a4->text().contains(QStringLiteral("2 pages of unknown size")));
        QStringList found = faults(&win.w);
        found << clippedHeaders(win.w.list()->horizontalHeader());
        // The list scrolls sideways to its last columns at this size.
        win.w.list()->scrollTo(win.w.model()->index(0, ResultListModel::A4Column));
        QCoreApplication::processEvents();
        found << elidedCells(win.w.list(), {3, ResultListModel::A4Column});
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
        for (int dx : {2000, -4000}) {
            win.drag(dx);
            found = faults(&win.w);
            QVERIFY2(found.isEmpty(), qPrintable(QStringLiteral("dx %1:\n").arg(dx) + found.join(QLatin1Char('\n'))));
        }
    }

    // The totals dialogs show every title, header and cell whole.
    void totalsDialogs()
    {
        Window win;
        win.smallestWithLongValues(true);
        for (const char* command : {"TotalsBySize", "TotalsByFolder"}) {
            win.get<QAction>(command)->trigger();
            QWidget* dlg = win.w.totalsDialog();
            QVERIFY(dlg);
            QVERIFY(QTest::qWaitForWindowExposed(dlg));
            auto* table = dlg->findChild<QTableView*>();
            QVERIFY(table);
            QList<int> columns;
            for (int c = 0; c < table->model()->columnCount(); ++c)
                columns << c;
            QStringList found = faults(dlg);
            found << elidedCells(table, columns) << clippedHeaders(table->horizontalHeader());
            QVERIFY2(found.isEmpty(), qPrintable(QString::fromLatin1(command) + QStringLiteral(":\n") +
                                                 found.join(QLatin1Char('\n'))));
            dlg->close();
        }
    }

    // With the splitter as far as it goes either way, both panes keep their
    // texts readable (the result pane's status labels take further lines).
    void mainWindowWithTheSplitterMoved()
    {
        Window win;
        win.smallestWithLongValues();
        for (int dx : {2000, -4000}) {
            const int before = win.w.leftPaneWidth();
            win.drag(dx);
            QVERIFY(dx > 0 ? win.w.leftPaneWidth() > before : win.w.leftPaneWidth() < before);
            const QStringList found = faults(&win.w);
            QVERIFY2(found.isEmpty(), qPrintable(QStringLiteral("dx %1:\n").arg(dx) + found.join(QLatin1Char('\n'))));
        }
        // The widened result pane of a double-click too.
        QTest::mouseDClick(win.get<QWidget>("SilderBar"), Qt::LeftButton);
        const QStringList found = faults(&win.w);
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
    }

    // The splitter is at least its designed 60 twips wide, shows the split
    // cursor, and nothing lies over any part of it.
    void splitterCanBeGrabbedAcrossItsWidth()
    {
        Window win;
        win.smallestWithLongValues();
        QWidget* bar = win.get<QWidget>("SilderBar");
        QWidget* client = win.w.client();
        QVERIFY(bar->width() >= toPixelsX(60, twipsPerPixelX(&win.w)));
        QCOMPARE(bar->cursor().shape(), Qt::SplitHCursor);
        for (int x = 0; x < bar->width(); ++x)
            for (int y : {1, bar->height() / 2, bar->height() - 2}) {
                QWidget* hit = client->childAt(bar->mapTo(client, QPoint(x, y)));
                QVERIFY2(hit == bar, qPrintable(QStringLiteral("(%1, %2) hits %3")
                                                    .arg(x)
                                                    .arg(y)
                                                    .arg(hit ? hit->objectName() : QStringLiteral("nothing"))));
            }
    }

    void exportDialog()
    {
        QWidget owner;
        exporting::DlgChooseExport dlg(&owner);
        for (const char* field : {"Name", "Path", "Size", "Page Count", "Page Sizes", "A4 Equivalents"}) {
            auto* item = new QListWidgetItem(QString::fromLatin1(field), dlg.lstFields);
            item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
            item->setCheckState(Qt::Checked);
        }
        dlg.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QStringList found = faults(&dlg);
        found << elidedCells(dlg.lstFields, {0});
        QVERIFY2(found.isEmpty(), qPrintable(found.join(QLatin1Char('\n'))));
    }
};

QTEST_MAIN(SmallestWindowTest)
#include "smallest_window_test.moc"
