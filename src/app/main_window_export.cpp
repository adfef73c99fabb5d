// The main window as the export's row source and as its window.
#include "main_window.h"

#include "message_boxes.h"
#include "plain_file_icons.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProgressBar>
#include <QTableView>

namespace quillon {

// The list's four columns, and the two size columns while they are shown;
// the last one counted is the hidden sort column, which is never offered.
std::size_t FrmMain::ColumnCount() const { return pageSizesShown() ? ResultListModel::ColumnCount : 5; }

std::string FrmMain::ColumnHeader(std::size_t column) const
{
    if (column < 1 || column >= ColumnCount())
        return {};
    return m_model->headerData(static_cast<int>(column) - 1, Qt::Horizontal, Qt::DisplayRole)
        .toString()
        .toStdString();
}

std::string FrmMain::RowText(std::size_t row) const
{
    if (row < 1 || row > RowCount())
        return {};
    return m_model->nameBytes(static_cast<int>(row) - 1).toStdString();
}

std::optional<std::string> FrmMain::SubItem(std::size_t row, std::size_t cell) const
{
    if (row < 1 || row > RowCount() || cell < 1 || cell + 2 > ColumnCount())
        return std::nullopt;
    const int r = static_cast<int>(row) - 1;
    if (cell == 3 && m_model->pagesText(r).isEmpty())
        return std::nullopt;
    if (cell > 3 && !m_model->sizes(r))
        return std::nullopt;
    if (cell == 1)
        return m_model->pathBytes(r).toStdString(); // the file's own bytes
    return m_model->cellText(r, static_cast<int>(cell)).toStdString();
}

bool FrmMain::RowSelected(std::size_t row) const
{
    if (row < 1 || row > RowCount())
        return false;
    return m_list->selectionModel()->isRowSelected(static_cast<int>(row) - 1, QModelIndex());
}

std::optional<exporting::SaveDialogAnswer> FrmMain::AskSavePath(const exporting::SaveDialogRequest& r)
{
    // It opens where the last export went (remembered between runs, or in
    // this run) while that is an ordinary folder, else in the search folder,
    // else at home.  It asks before replacing a file, as save dialogs here do.
    QString opened = QDir::homePath();
    for (const QString& folder : {QString::fromStdString(r.folder), m_lastExportFolder, m_txtSearchPath->text()}) {
        if (isOrdinaryFolder(folder)) {
            opened = folder;
            break;
        }
    }
    // Qt's own dialog, with icons and types that never read a listed file:
    // a FIFO, a device or a /proc file would block it for good.
    PlainFileIconProvider icons;
    QFileDialog dlg1(this, QString(), opened);
    dlg1.setObjectName(QStringLiteral("dlg1"));
    dlg1.setOption(QFileDialog::DontUseNativeDialog);
    dlg1.setIconProvider(&icons);
    dlg1.setAcceptMode(QFileDialog::AcceptSave);
    dlg1.setWindowTitle(QString::fromStdString(r.title));
    QStringList filters;
    for (const std::string& f : r.filters)
        filters << QString::fromStdString(f);
    dlg1.setNameFilters(filters);
    if (r.filterIndex > 0 && r.filterIndex < filters.size())
        dlg1.selectNameFilter(filters[r.filterIndex]);
    dlg1.selectFile(QString::fromStdString(r.initialName));
    if (dlg1.exec() != QDialog::Accepted || dlg1.selectedFiles().isEmpty())
        return std::nullopt;
    const QString chosen = dlg1.selectedFiles().constFirst();
    exporting::SaveDialogAnswer answer;
    answer.path = chosen.toStdString();
    answer.filterIndex = std::max(0, static_cast<int>(filters.indexOf(dlg1.selectedNameFilter())));
    return answer;
}

void FrmMain::Written(const std::string& path)
{
    m_lastExportFolder = QFileInfo(QString::fromStdString(path)).absolutePath();
}

void FrmMain::SetProgressMax(int maximum)
{
    SetProgressMax(static_cast<std::int64_t>(maximum));
}

void FrmMain::SetProgressValue(int value)
{
    SetProgressValue(static_cast<std::int64_t>(value));
}

void FrmMain::SetBusy(bool busy)
{
    if (busy)
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QGuiApplication::restoreOverrideCursor();
}

exporting::Answer FrmMain::Ask(const std::string& text, bool withCancel)
{
    switch (m_services.boxes->show(this, QString::fromStdString(text),
                                   withCancel ? MsgButtons::YesNoCancel : MsgButtons::YesNo, MessageIcon::Warning)) {
    case MsgAnswer::Yes: return exporting::Answer::Yes;
    case MsgAnswer::No: return exporting::Answer::No;
    default: return exporting::Answer::Cancel;
    }
}

} // namespace quillon
