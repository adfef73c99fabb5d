// FrmMain's menus, and what each control, menu command and the splitter are wired to.
#include "main_window.h"

#include "about_dialog.h"
#include "desktop_shell.h"
#include "folder_tree.h"
#include "install_paths.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateEdit>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>

namespace quillon {

namespace {

search::CalendarDate calendarDate(const QDate& d)
{
    return {d.year(), d.month(), d.day()};
}

} // namespace

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
    m_sys->addSeparator()->setObjectName(QStringLiteral("sepSizes"));
    m_PageSizes = action(m_sys, "PageSizes", "Page &Sizes");
    m_PageSizes->setCheckable(true);
    m_TotalsBySize = action(m_sys, "TotalsBySize", "Totals by Si&ze...");
    m_TotalsByFolder = action(m_sys, "TotalsByFolder", "Totals by &Folder...");
    m_TotalsBySize->setEnabled(false);
    m_TotalsByFolder->setEnabled(false);
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
        connect(m_cmdControl[i], &QPushButton::clicked, this, [this, i] { searchCommand(i); });
    connect(m_SSearch, &QAction::triggered, this, [this] { searchCommand(0); });
    connect(m_SStop, &QAction::triggered, this, [this] { searchCommand(1); });
    connect(m_Export, &QAction::triggered, this, [this] { searchCommand(2); });
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
    connect(m_PageSizes, &QAction::toggled, this, [this](bool on) {
        PageSizes_Click(on);
        HideListMenuExtras();
    });
    connect(m_TotalsBySize, &QAction::triggered, this, &FrmMain::TotalsBySize_Click);
    connect(m_TotalsByFolder, &QAction::triggered, this, &FrmMain::TotalsByFolder_Click);
    connect(m_mnuOPen, &QAction::triggered, this, [this] {
        OpenCurrentFile();
        HideListMenuExtras();
    });
    connect(m_Cont, &QAction::triggered, this, [this] {
        OpenContainingFolder();
        HideListMenuExtras();
    });
    connect(m_Delete1, &QAction::triggered, this, [this] { DeleteSelectedFiles(false); });
    // The Delete key in the list does what Delete Files does (the menu item
    // itself carries no shortcut).
    auto* deleteKey = new QShortcut(QKeySequence::Delete, m_list, nullptr, nullptr, Qt::WidgetShortcut);
    connect(deleteKey, &QShortcut::activated, this, [this] {
        if (m_Delete1->isEnabled())
            DeleteSelectedFiles(false);
    });
    // Enter (either key) on a row opens it, as a double click does.
    for (const QKeySequence& key : {QKeySequence(Qt::Key_Return), QKeySequence(Qt::Key_Enter)}) {
        auto* openKey = new QShortcut(key, m_list, nullptr, nullptr, Qt::WidgetShortcut);
        connect(openKey, &QShortcut::activated, this, [this] { OpenCurrentFile(); });
    }
    connect(m_Delete2, &QAction::triggered, this, [this] { DeleteSelectedFiles(true); });
    connect(m_IntSuppage, &QAction::triggered, this, [this] {
        const QString site = QString::fromLatin1(kProductSiteAddress);
        openInDesktop(site, QStringLiteral("The web page"), site);
    });
    connect(m_mnHelp, &QAction::triggered, this, [this] {
        const QString page = helpPagePath(QCoreApplication::applicationDirPath());
        openInDesktop(page, QStringLiteral("The help page"), QDir::toNativeSeparators(page));
    });

    connect(m_SilderBar, &SplitterBar::dragged, this, &FrmMain::splitterDragged);
    connect(m_SilderBar, &SplitterBar::doubleClicked, this, &FrmMain::splitterDoubleClicked);
}

void FrmMain::about_Click()
{
    if (!m_about)
        m_about = new DlgAbout(*m_services.registry, *m_services.starter, *m_services.boxes, this);
    m_about->show();
    m_about->raise();
    m_about->activateWindow();
}

} // namespace quillon
