// FrmMain's controls and their layout: building them, placing them by the resize rule, the splitter.
#include "main_window.h"

#include "folder_tree.h"
#include "icons.h"
#include "main_layout.h"
#include "twips.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QStyleOptionGroupBox>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QTableView>

#include <cmath>

namespace quillon {

void FrmMain::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    // The fixed twip layout was drawn for an 8-point dialog font.
    QFont small = client->font();
    small.setPointSizeF(8);
    client->setFont(small);
    // On a screen smaller than the window's smallest layout the window
    // shrinks to the screen and the controls scroll, so none is out of reach.
    auto* scroll = new QScrollArea(this);
    scroll->setObjectName(QStringLiteral("clientScroll"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setWidgetResizable(true);
    scroll->setWidget(client);
    setCentralWidget(scroll);
    m_client = client;

    auto named = [](QWidget* w, const char* name) {
        w->setObjectName(QString::fromLatin1(name));
        return w;
    };

    m_fraPath = new QGroupBox(client);
    named(m_fraPath, "fraPath");
    m_lblSearchPath = new QLabel(QStringLiteral("Search &Path :"), m_fraPath);
    named(m_lblSearchPath, "lblSearchPath");
    m_txtSearchPath = new QLineEdit(m_fraPath);
    named(m_txtSearchPath, "txtSearchPath");
    m_lblSearchPath->setBuddy(m_txtSearchPath);
    m_cmdSelectPath = new QPushButton(QStringLiteral("..."), m_fraPath);
    named(m_cmdSelectPath, "cmdSelectPath");
    m_cmdSelectPath->setToolTip(QStringLiteral("Select Search path..."));
    m_cmdClear = new QPushButton(QStringLiteral("&Clear Result Screen"), m_fraPath);
    named(m_cmdClear, "cmdClear");

    m_FraSelectPath = new QGroupBox(QStringLiteral("Select Search Path"), client);
    named(m_FraSelectPath, "FraSelectPath");
    m_tree = new FolderTree(m_FraSelectPath);
    m_chkRecursive = new QCheckBox(QStringLiteral("&Include SubFolders"), m_FraSelectPath);
    named(m_chkRecursive, "chkRecursive");
    m_chkRecursive->setToolTip(QStringLiteral("Check For search in subfolders also"));

    m_SilderBar = new SplitterBar(client);

    m_fraSearchResult = new QGroupBox(QStringLiteral("Search Result"), client);
    named(m_fraSearchResult, "fraSearchResult");
    m_model = new ResultListModel(this);
    m_model->setIcons(tiffRowIcon(), pdfRowIcon());
    m_list = new QTableView(m_fraSearchResult);
    named(m_list, "lvwSearchResult");
    m_list->setModel(m_model);
    m_list->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_list->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_list->setShowGrid(false);
    m_list->setWordWrap(false);
    m_list->setIconSize(QSize(16, 16));
    m_list->verticalHeader()->hide();
    m_list->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_list->verticalHeader()->setDefaultSectionSize(m_list->fontMetrics().height() + 4);
    m_list->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_list->horizontalHeader()->setHighlightSections(false);
    m_list->horizontalHeader()->setSectionsClickable(true);
    for (int c = 0; c < 4; ++c)
        m_list->setColumnWidth(c, toPixelsX(1440, tppX()));
    {
        // Sizes and page counts are never cut short: in any font their
        // columns hold a 99,999,999 KB size, a seven-digit count, and their
        // headers with the sort arrow beside them.
        const QFontMetrics fm(m_list->font());
        QStyle* style = m_list->style();
        const int pad = 2 * (style->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_list) + 1);
        const int arrow = style->pixelMetric(QStyle::PM_HeaderMarkSize, nullptr, m_list) + pad;
        auto atLeast = [&](int column, const QString& value, const QString& header) {
            const int need = std::max(fm.horizontalAdvance(value) + pad, fm.horizontalAdvance(header) + pad + arrow);
            m_list->setColumnWidth(column, std::max(m_list->columnWidth(column), need));
        };
        atLeast(2, ResultListModel::formatSize(99'999'999), QStringLiteral("Size"));
        atLeast(3, ResultListModel::formatPages(9'999'999), QStringLiteral("Page Count"));
        atLeast(ResultListModel::A4Column, ResultListModel::formatPages(9'999'999), QStringLiteral("A4 Equivalents"));
    }
    m_list->setColumnWidth(ResultListModel::PageSizesColumn,
                           std::max(m_list->columnWidth(ResultListModel::PageSizesColumn), toPixelsX(1800, tppX())));
    m_list->setColumnHidden(ResultListModel::SortColumn, true);
    // The size columns show only while sizes are read (View > Page Sizes).
    m_list->setColumnHidden(ResultListModel::PageSizesColumn, true);
    m_list->setColumnHidden(ResultListModel::A4Column, true);
    m_list->viewport()->installEventFilter(this);

    m_lblTotalFiles = new QLabel(QStringLiteral("Total Files"), m_fraSearchResult);
    named(m_lblTotalFiles, "lblTotalFiles");
    m_lblSearchTime = new QLabel(QStringLiteral("Time"), m_fraSearchResult);
    named(m_lblSearchTime, "lblSearchTime");
    m_lblTotalPages = new QLabel(QStringLiteral("Total Page Count  :- 0"), m_fraSearchResult);
    named(m_lblTotalPages, "lblTotalPages");
    QFont bold = m_lblTotalPages->font();
    bold.setBold(true);
    m_lblTotalPages->setFont(bold);
    m_lblTotalPages->setStyleSheet(QStringLiteral("color: blue"));
    m_lblTotalA4 = new QLabel(QString(), m_fraSearchResult);
    named(m_lblTotalA4, "lblTotalA4");
    m_lblTotalA4->setFont(bold);
    m_lblTotalA4->setStyleSheet(QStringLiteral("color: blue"));
    m_lblTotalA4->hide();

    m_FraSearch = new QGroupBox(QStringLiteral("Search Criteria"), client);
    named(m_FraSearch, "FraSearch");
    m_chkSearchOption[0] = new QCheckBox(QStringLiteral("Tiff"), m_FraSearch);
    named(m_chkSearchOption[0], "chkSearchOption0");
    m_chkSearchOption[1] = new QCheckBox(QStringLiteral("PDF"), m_FraSearch);
    named(m_chkSearchOption[1], "chkSearchOption1");
    m_cboDateFields = new QComboBox(m_FraSearch);
    named(m_cboDateFields, "cboDateFields");
    m_cboDateFields->addItems({QStringLiteral("None"), QStringLiteral("Modified"),
                               QStringLiteral("Created"), QStringLiteral("Accessed")});
    m_lblDateSearch = new QLabel(QStringLiteral("Between") + QString(33, QLatin1Char(' '))
                                     + QStringLiteral("And"),
                                 m_FraSearch);
    named(m_lblDateSearch, "lblDateSearch");
    m_dtpFrom = new QDateEdit(QDate::currentDate(), m_FraSearch);
    named(m_dtpFrom, "dtpFrom");
    m_dtpTo = new QDateEdit(QDate::currentDate(), m_FraSearch);
    named(m_dtpTo, "dtpTo");
    for (QDateEdit* d : {m_dtpFrom, m_dtpTo})
        d->setCalendarPopup(true);
    m_lblFileName = new QLabel(m_FraSearch);
    named(m_lblFileName, "lblFileName");
    const char* captions[3] = {"S&tart ", "St&op ", "&Export"};
    const char* tips[3] = {"Start Search", "Stop Search", "Export Meta Data"};
    for (int i = 0; i < 3; ++i) {
        m_cmdControl[i] = new QPushButton(QString::fromLatin1(captions[i]), m_FraSearch);
        m_cmdControl[i]->setObjectName(QStringLiteral("cmdControl%1").arg(i));
        m_cmdControl[i]->setToolTip(QString::fromLatin1(tips[i]));
    }
    m_chkSelectall = new QCheckBox(QStringLiteral("Select &All"), m_FraSearch);
    named(m_chkSelectall, "chkSelectall");
    m_chkSelectall->setToolTip(QStringLiteral("To Select All Rows in the ListBox"));
    m_ProgressBar1 = new QProgressBar(m_FraSearch);
    named(m_ProgressBar1, "ProgressBar1");
    m_ProgressBar1->setTextVisible(false);
    m_ProgressBar1->setRange(0, 100);
    // The splitter lies over the edge of the result pane, so all of its
    // width can be grabbed.
    m_SilderBar->raise();
    client->installEventFilter(this);
}

void FrmMain::applyMinimumSize()
{
    const double tx = tppX(), ty = tppY();
    // The frame is known only once the window manager has decorated the
    // window; until then it counts as nothing.
    const QSize frame = frameGeometry().size() - geometry().size();
    const int menu = menuBar()->sizeHint().height();
    const QSize client(std::max(toPixelsX(kDesignClientWidth, tx), toPixelsX(kMinOuterWidth, tx) - frame.width()),
                       std::max(toPixelsY(kDesignClientHeight, ty), toPixelsY(kMinOuterHeight, ty) - frame.height() - menu));
    if (m_client->minimumSize() != client)
        m_client->setMinimumSize(client);
    // The window itself never asks for more than the screen it is on offers;
    // below the client's smallest size its controls scroll.
    QSize wanted(client.width(), client.height() + menu);
    if (const QScreen* s = screen())
        wanted = wanted.boundedTo(s->availableGeometry().size() - frame);
    if (minimumSize() != wanted)
        setMinimumSize(wanted);
}

void FrmMain::fitToScreen(bool centre)
{
    m_centred = centre; // done again once the frame is known
    // The screen the window is (mostly) on, else the primary one.
    const QScreen* s = QGuiApplication::screenAt(frameGeometry().center());
    if (!s)
        s = QGuiApplication::primaryScreen();
    if (!s)
        return;
    const QRect avail = s->availableGeometry();
    const QSize frame = frameGeometry().size() - geometry().size();
    applyMinimumSize();
    const QSize size = geometry().size().boundedTo(avail.size() - frame).expandedTo(minimumSize());
    if (size != geometry().size())
        resize(size);
    QPoint at = frameGeometry().topLeft();
    if (centre)
        at = avail.center() - QPoint((size.width() + frame.width()) / 2, (size.height() + frame.height()) / 2);
    // The whole frame, its title bar first, on the screen.
    at.setX(std::clamp(at.x(), avail.left(), std::max(avail.left(), avail.right() + 1 - size.width() - frame.width())));
    at.setY(std::clamp(at.y(), avail.top(), std::max(avail.top(), avail.bottom() + 1 - size.height() - frame.height())));
    move(at);
}

void FrmMain::applyLayout()
{
    QWidget* client = m_client;
    if (!client || client->width() <= 0 || client->height() <= 0)
        return; // minimised or not yet laid out: keep what will show when restored
    const double tx = tppX(), ty = tppY();
    const int W = static_cast<int>(client->width() * tx);
    const int H = static_cast<int>(client->height() * ty);
    const TextRoom room = textRoom();
    m_leftShown = clampLeftPane(m_pane.leftWidth, W, paneLimits(room));
    const MainLayout l = layoutFor(W, H, m_leftShown, room);
    auto put = [tx, ty](QWidget* w, const TwipRect& r) { w->setGeometry(toPixels(r, tx, ty)); };
    put(m_fraPath, l.fraPath);
    put(m_lblSearchPath, l.lblSearchPath);
    put(m_txtSearchPath, l.txtSearchPath);
    put(m_cmdSelectPath, l.cmdSelectPath);
    put(m_cmdClear, l.cmdClear);
    put(m_FraSelectPath, l.FraSelectPath);
    put(m_tree, l.FTV1);
    put(m_chkRecursive, l.chkRecursive);
    put(m_SilderBar, l.SilderBar);
    put(m_fraSearchResult, l.fraSearchResult);
    put(m_list, l.lvwSearchResult);
    put(m_FraSearch, l.FraSearch);
    put(m_chkSearchOption[0], l.chkSearchOption0);
    put(m_chkSearchOption[1], l.chkSearchOption1);
    put(m_lblFileName, l.lblFileName);
    showFileName();
    put(m_chkSelectall, l.chkSelectall);
    put(m_cboDateFields, l.cboDateFields);
    put(m_lblDateSearch, l.lblDateSearch);
    {
        // The blanks of "Between ... And" stretch so that "And" shows
        // between the pickers whatever the font.
        QFont f = m_lblDateSearch->font();
        const qreal spacing = dateWordSpacing(l, room) / tx;
        if (!qFuzzyCompare(1 + f.wordSpacing(), 1 + spacing)) {
            f.setWordSpacing(spacing);
            m_lblDateSearch->setFont(f);
        }
    }
    put(m_dtpFrom, l.dtpFrom);
    put(m_dtpTo, l.dtpTo);
    put(m_cmdControl[0], l.cmdControl0);
    put(m_cmdControl[1], l.cmdControl1);
    put(m_cmdControl[2], l.cmdControl2);
    put(m_ProgressBar1, l.ProgressBar1);
    put(m_lblTotalFiles, l.lblTotalFiles);
    put(m_lblSearchTime, l.lblSearchTime);
    put(m_lblTotalPages, l.lblTotalPages);
    if (!m_lblTotalA4->isHidden())
        put(m_lblTotalA4, l.lblTotalA4);
}

namespace {

// The width a date picker needs to show every date of its range whole: its
// own size hint measures only the first and the last date, while the
// widest is a day such as "28" in the month with the widest name.
int datePickerWidth(const QDateEdit* e)
{
    const QFontMetrics fm(e->font());
    const QString format = e->displayFormat();
    auto width = [&fm](const QString& text) { return fm.horizontalAdvance(text + QLatin1Char(' ')); };
    const int hinted = std::max(width(e->locale().toString(e->minimumDate(), format)),
                                width(e->locale().toString(e->maximumDate(), format)));
    // The year the font draws widest, then every day of it: all the month
    // and weekday names, and every day number.
    int year = e->minimumDate().year();
    for (int y = year; y <= e->maximumDate().year(); ++y)
        if (fm.horizontalAdvance(QString::number(y)) > fm.horizontalAdvance(QString::number(year)))
            year = y;
    int widest = hinted;
    for (QDate d(year, 1, 1); d.isValid() && d.year() == year; d = d.addDays(1))
        widest = std::max(widest, width(e->locale().toString(d, format)));
    // The hint's text room ends where the line edit's inner margins begin;
    // a few pixels more keep the widest date clear of them after the
    // round trip through twips.
    constexpr int kMargins = 4;
    return e->sizeHint().width() + widest - hinted + kMargins;
}

} // namespace

TextRoom FrmMain::textRoom() const
{
    const double tx = tppX(), ty = tppY();
    auto twipsX = [tx](int px) { return static_cast<int>(std::ceil(px * tx)); };
    TextRoom r;
    r.lblSearchPath = twipsX(m_lblSearchPath->sizeHint().width());
    r.cmdClear = twipsX(m_cmdClear->sizeHint().width());
    r.chkRecursive = twipsX(m_chkRecursive->sizeHint().width());
    r.chkSelectall = twipsX(m_chkSelectall->sizeHint().width());
    r.checkBox = static_cast<int>(std::ceil(m_chkSearchOption[1]->sizeHint().height() * ty));
    // The check box keeps its 75-twip indent; the title its frame's margins.
    r.leftPane = std::max(r.chkRecursive + 75 + 30, twipsX(m_FraSelectPath->minimumSizeHint().width()));
    r.lblTotalFiles = twipsX(m_lblTotalFiles->sizeHint().width());
    r.lblSearchTime = twipsX(m_lblSearchTime->sizeHint().width());
    r.lblTotalPages = twipsX(m_lblTotalPages->sizeHint().width());
    r.lblTotalA4 = m_lblTotalA4->isHidden() ? 0 : twipsX(m_lblTotalA4->sizeHint().width());
    r.statusLine = static_cast<int>(std::ceil(m_lblTotalPages->sizeHint().height() * ty));
    QFont plain = m_lblDateSearch->font();
    plain.setWordSpacing(0);
    const QFontMetricsF fm(plain);
    r.dateBetween = static_cast<int>(std::ceil(fm.horizontalAdvance(QStringLiteral("Between")) * tx));
    const QString text = m_lblDateSearch->text();
    r.dateAndAt = static_cast<int>(fm.horizontalAdvance(text.left(text.lastIndexOf(QLatin1Char(' ')) + 1)) * tx);
    r.dateAnd = static_cast<int>(std::ceil(fm.horizontalAdvance(QStringLiteral("And")) * tx));
    // Measured once per font and locale: the layout runs at every label change.
    const QString key = m_dtpFrom->font().key() + m_dtpFrom->locale().name() + m_dtpFrom->displayFormat()
                        + QString::number(m_dtpFrom->sizeHint().width());
    if (key != m_datePickerKey) {
        m_datePickerKey = key;
        m_datePickerWidth = datePickerWidth(m_dtpFrom);
    }
    r.datePicker = twipsX(m_datePickerWidth);
    r.cboDateFields = twipsX(m_cboDateFields->sizeHint().width());
    {
        QStyleOptionGroupBox opt;
        opt.initFrom(m_FraSearch);
        opt.text = m_FraSearch->title();
        opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        opt.rect = QRect(0, 0, 1000, 1000);
        const QRect contents = m_FraSearch->style()->subControlRect(QStyle::CC_GroupBox, &opt,
                                                                    QStyle::SC_GroupBoxContents, m_FraSearch);
        r.frameContentTop = static_cast<int>(std::ceil(contents.top() * ty));
    }
    return r;
}

void FrmMain::showFileName()
{
    // A folder path longer than the label is shortened in its middle; the
    // whole path stays in the tool-tip.
    const QString full = m_lblFileName->toolTip();
    m_lblFileName->setText(m_lblFileName->fontMetrics().elidedText(full, Qt::ElideMiddle,
                                                                   m_lblFileName->contentsRect().width()));
}

void FrmMain::splitterDragged(int dxPixels)
{
    const int W = static_cast<int>(m_client->width() * tppX());
    m_pane.leftWidth = clampLeftPane(m_leftShown + static_cast<int>(dxPixels * tppX()), W, paneLimits(textRoom()));
    m_pane.savedWidth = 0;
    applyLayout();
}

void FrmMain::splitterDoubleClicked()
{
    const int W = static_cast<int>(m_client->width() * tppX());
    m_pane = toggleWiden({m_leftShown, m_pane.savedWidth}, W, paneLimits(textRoom()));
    applyLayout();
}

void FrmMain::PlaceTotalPagesLabel()
{
    // Right-aligned on the status line, or on a line of its own below it
    // when the file count and time leave no room: the resize rule knows.
    applyLayout();
}

} // namespace quillon
