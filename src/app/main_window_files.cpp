// Open, containing folder and delete on the rows of the result list, and
// the folder chooser behind "...".
#include "main_window.h"

#include "browse_dialog.h"
#include "desktop_shell.h"
#include "folder_tree.h"
#include "local_file.h"
#include "message_boxes.h"
#include "trash.h"

#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QLineEdit>
#include <QTableView>

#include <algorithm>
#include <map>

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
                                         MsgButtons::Ok, MessageIcon::Warning);
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
                               MessageIcon::Warning);
        return;
    }
    const QString path = m_model->path(row);
    const QByteArray bytes = m_model->pathBytes(row);
    if (!localFileState(bytes).exists) {
        m_services.boxes->show(this,
                               QStringLiteral("The file no longer exists:\n%1").arg(QDir::toNativeSeparators(path)),
                               MsgButtons::Ok, MessageIcon::Warning);
        return;
    }
    openInDesktop(m_model->hasRawPath(row) ? shellTarget(containingFolderBytes(bytes)) : containingFolderPath(path),
                  QStringLiteral("The folder"), containingFolderPath(path));
}

namespace {

// The files of the highlighted rows, in list order, and whether each goes to
// a trash.
struct ToDelete {
    QString shown;   // as the list shows it
    QByteArray path; // its own bytes
    bool toTrash = false;
};

// The question before a delete: where the files go.
QString deleteQuestion(int toTrash, int forGood)
{
    QString text = QStringLiteral("Are you sure to delete all the selected files.");
    if (toTrash > 0 && forGood == 0)
        text += QStringLiteral("\n\nThey are moved to the trash, from where they can be restored.");
    else if (toTrash == 0 && forGood > 0)
        text += QStringLiteral("\n\nThere is no trash where they are: they are deleted for good.");
    else if (toTrash > 0)
        text += QStringLiteral("\n\n%1 of them are moved to the trash, from where they can be restored; "
                               "%2, where there is no trash, are deleted for good.")
                    .arg(toTrash)
                    .arg(forGood);
    return text;
}

// "a (why)" lines for a message, the first kFailuresNamed of them.
QString namedFailures(const QStringList& failures)
{
    QString text = failures.mid(0, kFailuresNamed).join(QLatin1Char('\n'));
    if (failures.size() > kFailuresNamed)
        text += QStringLiteral("\nand %1 more.").arg(failures.size() - kFailuresNamed);
    return text;
}

} // namespace

void FrmMain::DeleteSelectedFiles(bool fromContextMenu)
{
    // The found-files list is being read by a running search or rebuild.
    if (m_session->Running())
        return;

    // Only regular files are deleted, never a folder; a file already gone
    // just loses its row in the rebuild.
    std::vector<ToDelete> files;
    QStringList failures;
    std::map<QByteArray, bool> trashFor; // by folder: one look per folder
    const QItemSelectionModel* sel = m_list->selectionModel();
    const int n = currentRow() < 0 ? 0 : m_model->rowCount();
    for (int row = 0; row < n; ++row) {
        if (!sel->isRowSelected(row, QModelIndex()))
            continue;
        // The file's own bytes: a name shown with replacement characters
        // must not aim the delete at another file.
        ToDelete f{QDir::toNativeSeparators(m_model->path(row)), m_model->pathBytes(row)};
        const LocalFileState state = localFileState(f.path);
        if (!state.exists)
            continue;
        if (!state.isRegular) {
            failures << QStringLiteral("%1 (not a regular file)").arg(f.shown);
            continue;
        }
        if (m_services.trash) {
            const QByteArray folder = containingFolderBytes(f.path);
            auto it = trashFor.find(folder);
            if (it == trashFor.end())
                it = trashFor.emplace(folder, m_services.trash->holds(folder)).first;
            f.toTrash = it->second;
        }
        files.push_back(std::move(f));
    }
    const int toTrash = static_cast<int>(std::count_if(files.begin(), files.end(), [](const ToDelete& f) { return f.toTrash; }));
    if (m_services.boxes->show(this, deleteQuestion(toTrash, static_cast<int>(files.size()) - toTrash),
                               MsgButtons::YesNo, MessageIcon::Warning)
        != MsgAnswer::Yes)
        return;

    if (currentRow() < 0) {
        m_services.boxes->show(this, QStringLiteral("No selected items found."), MsgButtons::Ok,
                               MessageIcon::Warning);
    } else {
        std::vector<std::string> deleted;
        std::vector<const ToDelete*> trashRefused;
        QStringList refusedWhy;
        for (const ToDelete& f : files) {
            QString reason;
            if (f.toTrash) {
                if (m_services.trash->moveToTrash(f.path, &reason)) {
                    deleted.push_back(f.path.toStdString());
                } else {
                    trashRefused.push_back(&f);
                    refusedWhy << QStringLiteral("%1 (%2)").arg(f.shown, reason);
                }
            } else if (removeLocalFile(f.path, &reason)) {
                // Read-only files are deleted too.
                deleted.push_back(f.path.toStdString());
            } else {
                failures << QStringLiteral("%1 (%2)").arg(f.shown, reason);
            }
        }
        // The user was told these go to the trash: deleting them for good
        // takes a second Yes.
        if (!trashRefused.empty()
            && m_services.boxes->show(this,
                                      QStringLiteral("These files could not be moved to the trash:\n%1\n\n"
                                                     "Delete them for good?")
                                          .arg(namedFailures(refusedWhy)),
                                      MsgButtons::YesNo, MessageIcon::Warning)
                == MsgAnswer::Yes) {
            for (const ToDelete* f : trashRefused) {
                QString reason;
                if (removeLocalFile(f->path, &reason))
                    deleted.push_back(f->path.toStdString());
                else
                    failures << QStringLiteral("%1 (%2)").arg(f->shown, reason);
            }
        }
        m_chkSelectall->setChecked(false);
        m_session->RemoveFoundFiles(deleted);
        m_session->RebuildRows();
        if (!failures.isEmpty())
            m_services.boxes->show(this,
                                   QStringLiteral("These files could not be deleted and stay in the list:\n")
                                       + namedFailures(failures),
                                   MsgButtons::Ok, MessageIcon::Warning);
    }
    if (m_model->rowCount() == 0 && !m_session->Running())
        m_session->EnableResultActions(0);
    if (fromContextMenu)
        HideListMenuExtras();
}

void FrmMain::cmdSelectPath_Click()
{
    const QString text = m_txtSearchPath->text();
    QString startFolder = text.trimmed().isEmpty() ? m_tree->rootFolder() : text;
    // A path being typed, or one that names a file, opens the chooser at the
    // nearest folder on its way.
    for (QFileInfo at(QDir::fromNativeSeparators(startFolder)); !text.trimmed().isEmpty() && !at.isDir();) {
        const QString up = at.absolutePath();
        if (up == at.absoluteFilePath())
            break;
        at = QFileInfo(up);
        startFolder = QDir::toNativeSeparators(at.absoluteFilePath());
    }
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
