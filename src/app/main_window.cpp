// FrmMain's life: construction, the start-up state, showing, and the events it watches.
#include "main_window.h"

#include "icons.h"
#include "main_layout.h"
#include "twips.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QLineEdit>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPushButton>
#include <QStandardPaths>
#include <QTableView>
#include <QThread>
#include <QTimer>

namespace quillon {

namespace {

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
    setAcceptDrops(true);
    m_txtSearchPath->installEventFilter(this); // a folder dropped on it replaces the text
    restoreSettings();
}

FrmMain::~FrmMain()
{
    // The session's worker posts to this window; stop it while the window is whole.
    m_session.reset();
}

double FrmMain::tppX() const { return twipsPerPixelX(this); }
double FrmMain::tppY() const { return twipsPerPixelY(this); }

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
    if (!m_shownOnce) {
        // The frame is known only now that the window is up: fit it, frame
        // and all, to the screen once more.
        m_shownOnce = true;
        QTimer::singleShot(0, this, [this] { fitToScreen(m_centred); });
    }
}

void FrmMain::moveEvent(QMoveEvent* e)
{
    QMainWindow::moveEvent(e);
    fitOnceFramed();
}

void FrmMain::resizeEvent(QResizeEvent* e)
{
    QMainWindow::resizeEvent(e);
    fitOnceFramed();
}

void FrmMain::fitOnceFramed()
{
    // A window manager frames the window some time after it is shown; once
    // the frame is known, fit (or centre) the window, frame and all, once more.
    if (m_fittedFramed || !isVisible() || frameGeometry().size() == geometry().size())
        return;
    m_fittedFramed = true;
    QTimer::singleShot(0, this, [this] { fitToScreen(m_centred); });
}

bool FrmMain::eventFilter(QObject* watched, QEvent* e)
{
    if (!m_list)
        return QMainWindow::eventFilter(watched, e);
    if (watched == m_txtSearchPath && handleDrop(e))
        return true;
    if (watched == m_client && e->type() == QEvent::Resize) {
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

} // namespace quillon
