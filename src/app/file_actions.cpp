// Open, containing folder and delete on the rows of the result list, and
// the folder chooser behind "...".
#include "main_window.h"

#include "browse_dialog.h"
#include "desktop_shell.h"
#include "folder_tree.h"
#include "local_file.h"
#include "message_boxes.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTableView>

namespace quillon {

namespace {
// At most this many failed files are named in the message; the rest are counted.
constexpr int kFailuresNamed = 15;
} // namespace

QString containingFolderPath(const QString& filePath)
{
    QString folder = QDir::toNativeSeparators(QFileInfo(filePath).absolutePath());
    if (!folder.endsWith(QDir::separator()))
        folder += QDir::separator();
    return folder;
}

void FrmMain::openInDesktop(const QString& target, const QString& what, const QString& shownAs)
{
    // The desktop may answer later (its opener runs on its own), when the
    // window may be gone.
    QPointer<FrmMain> self(this);
    m_services.shell->open(target, [self, what, shownAs](const QString& reason) {
        if (self)
            self->m_services.boxes->show(self, QStringLiteral("%1 could not be opened:\n%2\n\n%3").arg(what, shownAs, reason),
                                         MsgButtons::Ok, MsgIcon::Warning);
    });
}

void FrmMain::OpenCurrentFile()
{
    const int row = currentRow();
    if (row < 0)
        return;
    // The file's own bytes name it, also where they are not valid UTF-8.
    const QByteArray path = m_model->pathBytes(row);
    if (!localFileState(path).exists)
        return;
    openInDesktop(m_model->hasRawPath(row) ? shellTarget(path) : m_model->path(row), QStringLiteral("The file"),
                  QDir::toNativeSeparators(m_model->path(row)));
}

void FrmMain::OpenContainingFolder()
{
    const int row = currentRow();
    if (row < 0) {
        m_services.boxes->show(this, QStringLiteral("No file is selected in the list."), MsgButtons::Ok,
                               MsgIcon::Warning);
        return;
    }
    const QString path = m_model->path(row);
    const QByteArray bytes = m_model->pathBytes(row);
    if (!localFileState(bytes).exists) {
        m_services.boxes->show(this,
                               QStringLiteral("The file no longer exists:\n%1").arg(QDir::toNativeSeparators(path)),
                               MsgButtons::Ok, MsgIcon::Warning);
        return;
    }
    openInDesktop(m_model->hasRawPath(row) ? shellTarget(containingFolderBytes(bytes)) : containingFolderPath(path),
                  QStringLiteral("The folder"), containingFolderPath(path));
}

void FrmMain::DeleteSelectedFiles(bool fromContextMenu)
{
    // The found-files list is being read by a running search or rebuild.
    if (m_session->Running())
        return;
    if (m_services.boxes->show(this, QStringLiteral("Are you sure to delete all the selected files."),
                               MsgButtons::YesNo, MsgIcon::Warning)
        != MsgAnswer::Yes)
        return;

    if (currentRow() < 0) {
        m_services.boxes->show(this, QStringLiteral("No selected items found."), MsgButtons::Ok,
                               MsgIcon::Warning);
    } else {
        std::vector<std::string> deleted;
        QStringList failures;
        int failureCount = 0;
        const QItemSelectionModel* sel = m_list->selectionModel();
        const int n = m_model->rowCount();
        for (int row = 0; row < n; ++row) {
            if (!sel->isRowSelected(row, QModelIndex()))
                continue;
            // The file's own bytes: a name shown with replacement
            // characters must not aim the delete at another file.
            const QString path = m_model->path(row);
            const QByteArray bytes = m_model->pathBytes(row);
            const LocalFileState state = localFileState(bytes);
            QString reason;
            if (!state.exists)
                continue; // already gone: the rebuild drops its row
            if (!state.isRegular) {
                // Only regular files are deleted, never a folder.
                reason = QStringLiteral("not a regular file");
            } else if (removeLocalFile(bytes, &reason)) {
                // Read-only files are deleted too.
                deleted.push_back(bytes.toStdString());
                continue;
            }
            if (++failureCount <= kFailuresNamed)
                failures << QStringLiteral("%1 (%2)").arg(QDir::toNativeSeparators(path), reason);
        }
        m_chkSelectall->setChecked(false);
        m_session->RemoveFoundFiles(deleted);
        m_session->RebuildRows();
        if (failureCount > 0) {
            QString text = QStringLiteral("These files could not be deleted and stay in the list:\n")
                + failures.join(QLatin1Char('\n'));
            if (failureCount > kFailuresNamed)
                text += QStringLiteral("\nand %1 more.").arg(failureCount - kFailuresNamed);
            m_services.boxes->show(this, text, MsgButtons::Ok, MsgIcon::Warning);
        }
    }
    if (m_model->rowCount() == 0 && !m_session->Running())
        m_session->EnableResultActions(0);
    if (fromContextMenu)
        HideListMenuExtras();
}

void FrmMain::cmdSelectPath_Click()
{
    const QString text = m_txtSearchPath->text();
    const QString startFolder = text.trimmed().isEmpty() ? m_tree->rootFolder() : text;
    const QString path = BrowseForFolder(QStringLiteral("Select Folder"), startFolder);
    // A cancelled or closed chooser leaves the typed path as it was.
    if (!path.isEmpty())
        m_txtSearchPath->setText(path);
}

QString FrmMain::BrowseForFolder(const QString& prompt, const QString& startFolder)
{
    auto* dlg = new FrmBrowseDlg(this);
    m_browse = dlg;
    dlg->setOwner(this);
    dlg->setPrompt1(prompt);
    dlg->setRootFolder(FrmBrowseDlg::folderString(0));
    dlg->setPreSelectedFolder(startFolder);
    dlg->setShowPrompt2(true);
    connect(dlg, &FrmBrowseDlg::SelectionChanged, dlg, &FrmBrowseDlg::setPrompt2);
    QString result;
    if (dlg->Browse())
        result = dlg->selectedFolder().value_or(QString());
    m_browse = nullptr;
    delete dlg;
    return result;
}

} // namespace quillon
