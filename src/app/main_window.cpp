#include "main_window.h"

#include "about_dialog.h"
#include "desktop_shell.h"
#include "folder_tree.h"
#include "icons.h"
#include "main_layout.h"
#include "message_boxes.h"
#include "twips.h"

#include <export/export_list.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDir>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QThread>
#include <QTimer>

namespace quillon {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

search::CalendarDate calendarDate(const QDate& d)
{
    return {d.year(), d.month(), d.day()};
}

// The search folder shown at start: the platform's usual place for documents.
QString defaultSearchFolder()
{
#ifdef _WIN32
    return QStringLiteral("C:\\Program Files\\Adobe");
#else
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!docs.isEmpty() && QDir(docs).exists())
        return QDir::toNativeSeparators(docs);
    return QDir::toNativeSeparators(QDir::homePath());
#endif
}

} // namespace

FrmMain::FrmMain(const MainWindowServices& services, QWidget* parent)
    : QMainWindow(parent), m_services(services)
{
    setObjectName(QStringLiteral("FrmMain"));
    setWindowTitle(QStringLiteral("Quillon Page Counter"));
    setWindowIcon(programIcon());
    // Page counting leaves one core to the window so it stays responsive.
    if (m_services.session.jobs <= 0)
        m_services.session.jobs = std::max(1, QThread::idealThreadCount() - 1);
    buildControls();
    buildMenus();
    m_session = std::make_unique<search::SearchSession>(*this, m_criteria, m_services.session);
    connectControls();
    FrmMain_Load();
    resize(toPixelsX(kDesignClientWidth, tppX()),
           toPixelsY(kDesignClientHeight, tppY()) + menuBar()->sizeHint().height());
}

FrmMain::~FrmMain()
{
    // The session's worker posts to this window; stop it while the window is whole.
    m_session.reset();
}

double FrmMain::tppX() const { return twipsPerPixelX(this); }
double FrmMain::tppY() const { return twipsPerPixelY(this); }

void FrmMain::buildControls()
{
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    // The fixed twip layout was drawn for an 8-point dialog font.
    QFont small = client->font();
    small.setPointSizeF(8);
    client->setFont(small);
    setCentralWidget(client);

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
    m_list->setColumnHidden(4, true);
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
    m_lblFileName->setWordWrap(true);
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
    client->installEventFilter(this);
}

void FrmMain::buildMenus()
{
    auto action = [this](QMenu* menu, const char* name, const char* caption) {
        QAction* a = menu->addAction(QString::fromLatin1(caption));
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("File"));
    m_SSearch = action(file, "SSearch", "&Start Search");
    m_SStop = action(file, "SStop", "St&op ");
    m_SStop->setEnabled(false);
    m_Export = action(file, "Export", "&Export Page Count");
    file->addSeparator()->setObjectName(QStringLiteral("sep2"));
    m_Exit = action(file, "Exit", "E&xit");

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("Edit"));
    m_Delete1 = action(edit, "Delete1", "&Delete Files");
    m_SelectAll = action(edit, "SelectAll", "Select &All");

    m_sys = menuBar()->addMenu(QStringLiteral("&View"));
    m_sys->setObjectName(QStringLiteral("Sys"));
    m_Cont = action(m_sys, "Cont", "Conta&ining Folder");
    m_mnuOPen = action(m_sys, "mnuOPen", "&Open");
    m_ResizeCols = action(m_sys, "ResizeCols", "&Resize Columns");
    m_Grid = action(m_sys, "Grid", "&Grid");
    m_sep3 = m_sys->addSeparator();
    m_sep3->setObjectName(QStringLiteral("sep3"));
    m_Delete2 = action(m_sys, "Delete2", "&Delete Files");
    m_clsResult = action(m_sys, "clsResult", "&Clear Results Screen");
    for (QAction* a : {m_sep3, m_Delete2, m_clsResult})
        a->setVisible(false);

    QMenu* support = menuBar()->addMenu(QStringLiteral("&Help"));
    support->setObjectName(QStringLiteral("Support"));
    m_IntSuppage = action(support, "IntSuppage", "&Veltrade Product Site");
    m_mnHelp = action(support, "mnHelp", "&Help");
    support->addSeparator()->setObjectName(QStringLiteral("sep4"));
    QAction* about = action(support, "about", "&About Quillon Counter");
    connect(about, &QAction::triggered, this, &FrmMain::about_Click);
}

void FrmMain::connectControls()
{
    // Criteria: the holder follows the controls, the walker reads it live.
    connect(m_txtSearchPath, &QLineEdit::textChanged, this, [this](const QString& text) {
        m_criteria.SetFolder(text.toStdString());
        m_tree->setSelectedFolder(text);
    });
    connect(m_tree, &FolderTree::folderSelected, m_txtSearchPath, &QLineEdit::setText);
    connect(m_chkRecursive, &QCheckBox::toggled, this,
            [this](bool on) { m_criteria.SetIncludeSubfolders(on); });
    for (int i = 0; i < 2; ++i) {
        connect(m_chkSearchOption[i], &QCheckBox::toggled, this, [this, i](bool on) {
            if (i == 0)
                m_criteria.SetTif(on);
            else
                m_criteria.SetPdf(on);
            m_session->SearchOptionClick(i);
        });
    }
    connect(m_cboDateFields, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_criteria.SetDateField(std::max(0, index));
        m_session->DateFieldClick();
    });
    connect(m_dtpFrom, &QDateEdit::dateChanged, this,
            [this](const QDate& d) { m_criteria.SetFrom(calendarDate(d)); });
    connect(m_dtpTo, &QDateEdit::dateChanged, this,
            [this](const QDate& d) { m_criteria.SetTo(calendarDate(d)); });
    m_criteria.SetFrom(calendarDate(m_dtpFrom->date()));
    m_criteria.SetTo(calendarDate(m_dtpTo->date()));

    for (int i = 0; i < 3; ++i)
        connect(m_cmdControl[i], &QPushButton::clicked, this, [this, i] { m_session->SearchCommand(i); });
    connect(m_SSearch, &QAction::triggered, this, [this] { m_session->SearchCommand(0); });
    connect(m_SStop, &QAction::triggered, this, [this] { m_session->SearchCommand(1); });
    connect(m_Export, &QAction::triggered, this, [this] { m_session->SearchCommand(2); });
    connect(m_Exit, &QAction::triggered, this, &QWidget::close);

    connect(m_cmdSelectPath, &QPushButton::clicked, this, &FrmMain::cmdSelectPath_Click);
    connect(m_cmdClear, &QPushButton::clicked, this, &FrmMain::cmdClear_Click);
    connect(m_list->horizontalHeader(), &QHeaderView::sectionClicked, this,
            [this](int logical) { lvwSearchResult_ColumnClick(logical + 1); });
    connect(m_list, &QTableView::doubleClicked, this, [this] { OpenCurrentFile(); });
    connect(m_chkSelectall, &QCheckBox::toggled, this, &FrmMain::chkSelectall_Click);
    connect(m_SelectAll, &QAction::triggered, this, [this] { m_chkSelectall->setChecked(true); });
    connect(m_Grid, &QAction::triggered, this, &FrmMain::Grid_Click);
    connect(m_ResizeCols, &QAction::triggered, this, &FrmMain::ResizeCols_Click);
    connect(m_clsResult, &QAction::triggered, this, &FrmMain::clsResult_Click);
    connect(m_mnuOPen, &QAction::triggered, this, [this] {
        OpenCurrentFile();
        HideListMenuExtras();
    });
    connect(m_Cont, &QAction::triggered, this, [this] {
        OpenContainingFolder();
        HideListMenuExtras();
    });
    connect(m_Delete1, &QAction::triggered, this, [this] { DeleteSelectedFiles(false); });
    connect(m_Delete2, &QAction::triggered, this, [this] { DeleteSelectedFiles(true); });
    connect(m_IntSuppage, &QAction::triggered, this,
            [this] { m_services.shell->open(QString::fromLatin1(kProductSiteAddress)); });
    connect(m_mnHelp, &QAction::triggered, this, [this] {
        m_services.shell->open(QDir(QCoreApplication::applicationDirPath())
                                   .filePath(QStringLiteral("help.htm")));
    });

    connect(m_SilderBar, &SplitterBar::dragged, this, &FrmMain::splitterDragged);
    connect(m_SilderBar, &SplitterBar::doubleClicked, this, &FrmMain::splitterDoubleClicked);
}

void FrmMain::FrmMain_Load()
{
    m_session->EnableResultActions(0);
    m_session->ResetSearchDisplay();
    m_chkSearchOption[0]->setChecked(false);
    m_chkSearchOption[1]->setChecked(false);
    m_chkSelectall->setChecked(false);
    m_txtSearchPath->setText(defaultSearchFolder());
    ClearRows();
    m_cmdClear->setEnabled(false);
    m_Grid->setText(m_list->showGrid() ? QStringLiteral("Grid (OFF)") : QStringLiteral("Grid (ON)"));
    // No search runs: Stop is off, and Start is offered once a kind is chosen.
    m_cmdControl[1]->setEnabled(false);
    m_cmdControl[0]->setEnabled(m_chkSearchOption[0]->isChecked() || m_chkSearchOption[1]->isChecked());
    m_loaded = true;
}

void FrmMain::showEvent(QShowEvent* e)
{
    applyMinimumSize();
    QMainWindow::showEvent(e);
    applyLayout();
}

void FrmMain::applyMinimumSize()
{
    const double tx = tppX(), ty = tppY();
    // The frame is known only once the window manager has decorated the
    // window; until then it counts as nothing.
    const QSize frame = frameGeometry().size() - geometry().size();
    const int menu = menuBar()->sizeHint().height();
    const QSize wanted(std::max(toPixelsX(kDesignClientWidth, tx), toPixelsX(kMinOuterWidth, tx) - frame.width()),
                       std::max(toPixelsY(kDesignClientHeight, ty) + menu,
                                toPixelsY(kMinOuterHeight, ty) - frame.height()));
    if (minimumSize() != wanted)
        setMinimumSize(wanted);
}

// ---- layout

void FrmMain::applyLayout()
{
    QWidget* client = centralWidget();
    if (!client || client->width() <= 0 || client->height() <= 0)
        return; // minimised or not yet laid out: keep what will show when restored
    const double tx = tppX(), ty = tppY();
    const int W = static_cast<int>(client->width() * tx);
    const int H = static_cast<int>(client->height() * ty);
    m_pane.leftWidth = clampLeftPane(m_pane.leftWidth, W);
    const MainLayout l = layoutFor(W, H, m_pane.leftWidth);
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
    {
        // Its right edge meets the progress bar's; a caption wider than the
        // design width grows to the left.
        QRect g = toPixels(l.chkSelectall, tx, ty);
        const int need = m_chkSelectall->sizeHint().width();
        if (need > g.width())
            g.setLeft(g.right() + 1 - need);
        m_chkSelectall->setGeometry(g);
    }
    put(m_cboDateFields, l.cboDateFields);
    put(m_lblDateSearch, l.lblDateSearch);
    put(m_dtpFrom, l.dtpFrom);
    put(m_dtpTo, l.dtpTo);
    put(m_cmdControl[0], l.cmdControl0);
    put(m_cmdControl[1], l.cmdControl1);
    put(m_cmdControl[2], l.cmdControl2);
    put(m_ProgressBar1, l.ProgressBar1);
    // The status labels size themselves to their text; the rule sets their places.
    for (auto [label, r] : {std::pair{m_lblTotalFiles, l.lblTotalFiles},
                            std::pair{m_lblSearchTime, l.lblSearchTime}}) {
        QRect g = toPixels(r, tx, ty);
        g.setWidth(std::max(g.width(), label->sizeHint().width()));
        label->setGeometry(g);
    }
    m_lblTotalPages->setGeometry(toPixels(l.lblTotalPages, tx, ty));
    PlaceTotalPagesLabel();
}

void FrmMain::splitterDragged(int dxPixels)
{
    const int W = static_cast<int>(centralWidget()->width() * tppX());
    m_pane.leftWidth = clampLeftPane(m_pane.leftWidth + static_cast<int>(dxPixels * tppX()), W);
    m_pane.savedWidth = 0;
    applyLayout();
}

void FrmMain::splitterDoubleClicked()
{
    const int W = static_cast<int>(centralWidget()->width() * tppX());
    m_pane = toggleWiden(m_pane, W);
    applyLayout();
}

bool FrmMain::eventFilter(QObject* watched, QEvent* e)
{
    if (!m_list)
        return QMainWindow::eventFilter(watched, e);
    if (watched == centralWidget() && e->type() == QEvent::Resize) {
        applyMinimumSize();
        applyLayout();
    } else if (watched == m_list->viewport() && e->type() == QEvent::MouseButtonPress) {
        auto* me = static_cast<QMouseEvent*>(e);
        lvwSearchResult_MouseDown(me->button(), me->globalPosition().toPoint());
        if (me->button() == Qt::RightButton)
            return true;
    }
    return QMainWindow::eventFilter(watched, e);
}

// ---- SearchView

void FrmMain::Post(std::function<void()> task)
{
    QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
}

QWidget* FrmMain::widgetFor(search::Control c) const
{
    using search::Control;
    switch (c) {
    case Control::cmdStart: return m_cmdControl[0];
    case Control::cmdStop: return m_cmdControl[1];
    case Control::cmdExport: return m_cmdControl[2];
    case Control::chkSelectall: return m_chkSelectall;
    case Control::cmdClear: return m_cmdClear;
    case Control::dtpFrom: return m_dtpFrom;
    case Control::dtpTo: return m_dtpTo;
    default: return nullptr;
    }
}

QAction* FrmMain::actionFor(search::Control c) const
{
    using search::Control;
    switch (c) {
    case Control::SSearch: return m_SSearch;
    case Control::SStop: return m_SStop;
    case Control::mnuOPen: return m_mnuOPen;
    case Control::Cont: return m_Cont;
    case Control::Delete1: return m_Delete1;
    case Control::SelectAll: return m_SelectAll;
    case Control::Export: return m_Export;
    default: return nullptr;
    }
}

void FrmMain::SetEnabled(search::Control control, bool enabled)
{
    if (QWidget* w = widgetFor(control))
        w->setEnabled(enabled);
    else if (QAction* a = actionFor(control))
        a->setEnabled(enabled);
}

void FrmMain::setLabelText(QLabel* label, const QString& text)
{
    label->setText(text);
    if (label != m_lblFileName)
        label->resize(std::max(label->width(), label->sizeHint().width()), label->height());
    if (label == m_lblTotalPages)
        label->resize(label->sizeHint().width(), label->height());
}

void FrmMain::SetCaption(search::Caption label, const std::string& text)
{
    switch (label) {
    case search::Caption::lblFileName: setLabelText(m_lblFileName, qs(text)); break;
    case search::Caption::lblTotalFiles: setLabelText(m_lblTotalFiles, qs(text)); break;
    case search::Caption::lblSearchTime: setLabelText(m_lblSearchTime, qs(text)); break;
    case search::Caption::lblTotalPages: setLabelText(m_lblTotalPages, qs(text)); break;
    }
}

void FrmMain::PlaceTotalPagesLabel()
{
    const double tx = tppX();
    const int frameW = static_cast<int>(m_fraSearchResult->width() * tx);
    const TwipRect frame{0, 0, frameW, 0};
    const TwipRect label{0, 0, static_cast<int>(m_lblTotalPages->width() * tx), 0};
    const TwipRect timeLabel{0, static_cast<int>(m_lblSearchTime->y() * tppY()), 0, 0};
    const TwipRect r = totalPagesPlace(frame, label, timeLabel);
    m_lblTotalPages->move(toPixelsX(r.left, tx), m_lblSearchTime->y());
}

void FrmMain::SelectDateField(int index)
{
    if (m_cboDateFields->currentIndex() == index)
        m_session->DateFieldClick(); // no change, but the pickers still follow
    else
        m_cboDateFields->setCurrentIndex(index);
}

void FrmMain::SetProgressMax(std::int64_t max)
{
    m_ProgressBar1->setMaximum(static_cast<int>(std::clamp<std::int64_t>(max, 0, INT32_MAX)));
}

void FrmMain::SetProgressValue(std::int64_t value)
{
    m_ProgressBar1->setValue(static_cast<int>(std::clamp<std::int64_t>(value, 0, m_ProgressBar1->maximum())));
}

void FrmMain::ClearRows()
{
    m_list->selectionModel()->clear();
    m_model->clear();
}

void FrmMain::AppendRows(std::vector<search::ResultRow>&& rows)
{
    std::vector<ListRow> batch;
    batch.reserve(rows.size());
    for (search::ResultRow& r : rows) {
        ListRow lr;
        lr.name = qs(r.name);
        lr.path = qs(r.path.empty() ? r.key : r.path);
        lr.kb = static_cast<std::int64_t>(search::KilobytesOf(r.sizeBytes));
        lr.pages = r.pages;
        lr.hasPageCell = r.hasPageCount;
        lr.kind = r.icon == 1 ? RowKind::Tiff : r.icon == 2 ? RowKind::Pdf : RowKind::Other;
        batch.push_back(std::move(lr));
    }
    m_model->appendRows(batch);
}

std::size_t FrmMain::RowCount() const
{
    return static_cast<std::size_t>(m_model->rowCount());
}

void FrmMain::ShowMessage(const std::string& text, search::MessageIcon icon)
{
    m_services.boxes->show(this, qs(text), MsgButtons::Ok,
                           icon == search::MessageIcon::Critical ? MsgIcon::Critical : MsgIcon::Information);
}

void FrmMain::RunExport()
{
    exporting::ExportList(*this, *this, this);
}

void FrmMain::SearchFinished()
{
    // After a delete's rebuild an empty list leaves the row commands off.
    if (RowCount() == 0)
        m_session->EnableResultActions(0);
    // After a delete the file count follows the rows that are left.
    if (m_rebuilding) {
        m_rebuilding = false;
        SetCaption(search::Caption::lblTotalFiles, "Total Files : " + std::to_string(RowCount()));
    }
    emit searchFinished();
}

// ---- about box

void FrmMain::about_Click()
{
    if (!m_about)
        m_about = new DlgAbout(*m_services.registry, *m_services.starter, *m_services.boxes, this);
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

} // namespace quillon
