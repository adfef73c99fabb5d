// FrmMain as a desktop program: the settings it remembers between runs (the export's too), and folders dropped on it.
#include "main_window.h"

#include "command_line.h"
#include "plain_file_icons.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QScreen>
#include <QSettings>
#include <QTableView>
#include <QUrl>

namespace quillon {

namespace {

// Settings keys. Every value read is checked; one that makes no sense is
// ignored and the designed default stays.
constexpr const char* kFolder = "search/folder";
constexpr const char* kTif = "search/tif";
constexpr const char* kPdf = "search/pdf";
constexpr const char* kSubfolders = "search/subfolders";
constexpr const char* kDateField = "search/dateField";
constexpr const char* kDateFrom = "search/dateFrom";
constexpr const char* kDateTo = "search/dateTo";
constexpr const char* kGeometry = "window/geometry";
constexpr const char* kLeftPane = "window/leftPaneTwips";
constexpr const char* kColumnWidths = "list/columnWidths";
constexpr const char* kExportFolder = "export/folder";
constexpr const char* kExportToWorkbook = "export/toWorkbook";
constexpr const char* kExportXlsx = "export/xlsx";
constexpr const char* kExportCleared = "export/clearedFields";
constexpr const char* kPageSizes = "view/pageSizes";
constexpr const char* kFolderDepth = "view/folderDepth";

constexpr int kRememberedColumns = 4; // Name, Path, Size, Page Count
constexpr int kMaxColumnWidth = 10000; // pixels
constexpr int kMaxPaneTwips = 1000000;

std::optional<bool> readBool(const QSettings& s, const char* key)
{
    const QVariant v = s.value(QLatin1String(key));
    if (v.typeId() == QMetaType::Bool)
        return v.toBool();
    const QString t = v.toString();
    if (t == QLatin1String("true"))
        return true;
    if (t == QLatin1String("false"))
        return false;
    return std::nullopt;
}

std::optional<int> readInt(const QSettings& s, const char* key, int low, int high)
{
    bool ok = false;
    const int n = s.value(QLatin1String(key)).toString().toInt(&ok);
    if (!ok || n < low || n > high)
        return std::nullopt;
    return n;
}

bool onSomeScreen(const QRect& r)
{
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(r))
            return true;
    return false;
}

} // namespace

void FrmMain::setSearchPath(const QString& path)
{
    m_txtSearchPath->setText(path);
}

void FrmMain::searchCommand(int index)
{
    if (index == 0) {
        saveSearchSettings();
        if (!m_session->Running())
            m_searchRoot = m_txtSearchPath->text().toStdString();
    }
    m_session->SearchCommand(index);
}

void FrmMain::restoreSettings()
{
    if (!m_services.settings) {
        fitToScreen(true);
        return;
    }
    const QSettings& s = *m_services.settings;

    const QString folder = s.value(QLatin1String(kFolder)).toString();
    if (!folder.isEmpty() && QDir(folder).exists())
        m_txtSearchPath->setText(folder);
    if (const auto on = readBool(s, kTif))
        m_chkSearchOption[0]->setChecked(*on);
    if (const auto on = readBool(s, kPdf))
        m_chkSearchOption[1]->setChecked(*on);
    if (const auto on = readBool(s, kSubfolders))
        m_chkRecursive->setChecked(*on);
    // A date field comes back only with its two dates: without them the
    // window would be today's, and the next search would keep only the
    // files of today without a word.
    if (const auto field = readInt(s, kDateField, 1, m_cboDateFields->count() - 1)) {
        const QDate from = QDate::fromString(s.value(QLatin1String(kDateFrom)).toString(), Qt::ISODate);
        const QDate to = QDate::fromString(s.value(QLatin1String(kDateTo)).toString(), Qt::ISODate);
        if (from.isValid() && to.isValid() && from >= m_dtpFrom->minimumDate() && to >= m_dtpTo->minimumDate()
            && from <= m_dtpFrom->maximumDate() && to <= m_dtpTo->maximumDate()) {
            m_dtpFrom->setDate(from);
            m_dtpTo->setDate(to);
            m_cboDateFields->setCurrentIndex(*field);
        }
    }

    // A size saved on a larger screen is fitted to this one; a window with
    // no geometry that makes sense is centred, its title bar on the screen.
    const QRect designed = geometry();
    const QByteArray geometryState = s.value(QLatin1String(kGeometry)).toByteArray();
    const bool restored = !geometryState.isEmpty() && restoreGeometry(geometryState) && onSomeScreen(geometry());
    if (!restored)
        setGeometry(designed);
    fitToScreen(!restored);
    if (const auto twips = readInt(s, kLeftPane, 1, kMaxPaneTwips))
        m_pane.leftWidth = *twips; // the layout clamps it to the window
    // The export: an unknown field name in the list is simply never met.
    if (const auto on = readBool(s, kExportToWorkbook))
        m_exportChoices.toWorkbook = *on;
    if (const auto on = readBool(s, kExportXlsx))
        m_exportChoices.xlsx = *on;
    const QString exportFolder = s.value(QLatin1String(kExportFolder)).toString();
    if (isOrdinaryFolder(exportFolder))
        m_exportChoices.folder = exportFolder.toStdString();
    for (const QString& field : s.value(QLatin1String(kExportCleared)).toStringList())
        m_exportChoices.clearedFields.push_back(field.toStdString());

    if (const auto on = readBool(s, kPageSizes); on && *on)
        PageSizes_Click(true);
    if (const auto depth = readInt(s, kFolderDepth, 1, 64))
        m_folderDepth = *depth;

    const QStringList widths = s.value(QLatin1String(kColumnWidths)).toString().split(QLatin1Char(','));
    if (widths.size() == kRememberedColumns) {
        for (int c = 0; c < kRememberedColumns; ++c) {
            bool ok = false;
            const int w = widths[c].trimmed().toInt(&ok);
            if (ok && w > 0 && w <= kMaxColumnWidth)
                m_list->setColumnWidth(c, w);
        }
    }
}

void FrmMain::saveSearchSettings()
{
    if (!m_services.settings)
        return;
    QSettings& s = *m_services.settings;
    s.setValue(QLatin1String(kFolder), m_txtSearchPath->text());
    s.setValue(QLatin1String(kTif), m_chkSearchOption[0]->isChecked());
    s.setValue(QLatin1String(kPdf), m_chkSearchOption[1]->isChecked());
    s.setValue(QLatin1String(kSubfolders), m_chkRecursive->isChecked());
    s.setValue(QLatin1String(kDateField), m_cboDateFields->currentIndex());
    s.setValue(QLatin1String(kDateFrom), m_dtpFrom->date().toString(Qt::ISODate));
    s.setValue(QLatin1String(kDateTo), m_dtpTo->date().toString(Qt::ISODate));
    s.sync();
}

void FrmMain::saveWindowSettings()
{
    if (!m_services.settings)
        return;
    QSettings& s = *m_services.settings;
    s.setValue(QLatin1String(kGeometry), saveGeometry());
    s.setValue(QLatin1String(kLeftPane), m_pane.leftWidth);
    QStringList widths;
    for (int c = 0; c < kRememberedColumns; ++c)
        widths << QString::number(m_list->columnWidth(c));
    s.setValue(QLatin1String(kColumnWidths), widths.join(QLatin1Char(',')));
    s.sync();
}

void FrmMain::saveExportSettings()
{
    if (!m_services.settings)
        return;
    QSettings& s = *m_services.settings;
    s.setValue(QLatin1String(kExportFolder), QString::fromStdString(m_exportChoices.folder));
    s.setValue(QLatin1String(kExportToWorkbook), m_exportChoices.toWorkbook);
    s.setValue(QLatin1String(kExportXlsx), m_exportChoices.xlsx);
    QStringList cleared;
    for (const std::string& field : m_exportChoices.clearedFields)
        cleared << QString::fromStdString(field);
    s.setValue(QLatin1String(kExportCleared), cleared);
    s.sync();
}

void FrmMain::saveViewSettings()
{
    if (!m_services.settings)
        return;
    QSettings& s = *m_services.settings;
    s.setValue(QLatin1String(kPageSizes), pageSizesShown());
    s.setValue(QLatin1String(kFolderDepth), m_folderDepth);
    s.sync();
}

void FrmMain::closeEvent(QCloseEvent* e)
{
    saveWindowSettings();
    QMainWindow::closeEvent(e);
}

QString FrmMain::droppedSearchFolder(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls())
        return QString();
    for (const QUrl& url : mime->urls()) {
        if (url.isLocalFile())
            return searchFolderFor(url.toLocalFile(), QDir::rootPath());
    }
    return QString();
}

bool FrmMain::handleDrop(QEvent* e)
{
    switch (e->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* d = static_cast<QDragMoveEvent*>(e);
        if (droppedSearchFolder(d->mimeData()).isEmpty())
            return false;
        d->acceptProposedAction();
        return true;
    }
    case QEvent::Drop: {
        auto* d = static_cast<QDropEvent*>(e);
        const QString folder = droppedSearchFolder(d->mimeData());
        if (folder.isEmpty())
            return false;
        setSearchPath(folder);
        d->acceptProposedAction();
        return true;
    }
    default:
        return false;
    }
}

void FrmMain::dragEnterEvent(QDragEnterEvent* e)
{
    if (!handleDrop(e))
        QMainWindow::dragEnterEvent(e);
}

void FrmMain::dragMoveEvent(QDragMoveEvent* e)
{
    if (!handleDrop(e))
        QMainWindow::dragMoveEvent(e);
}

void FrmMain::dropEvent(QDropEvent* e)
{
    if (!handleDrop(e))
        QMainWindow::dropEvent(e);
}

} // namespace quillon
