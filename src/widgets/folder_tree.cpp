#include "folder_tree.h"

#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHeaderView>
#include <QScrollBar>

namespace quillon {

FolderTree::FolderTree(QWidget* parent)
    : QTreeView(parent), m_model(new QFileSystemModel(this))
{
    setObjectName(QStringLiteral("FTV1"));
    m_model->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    m_model->setReadOnly(true);
    setModel(m_model);
    for (int c = 1; c < m_model->columnCount(); ++c)
        hideColumn(c);
    header()->hide();
    setUniformRowHeights(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setRootFolder(QDir::rootPath());

    // Folders load, and are sorted, a while after they are asked for: each
    // time the rows move, the selected folder is brought back into view.
    connect(m_model, &QFileSystemModel::directoryLoaded, this, [this] { reveal(); });
    connect(m_model, &QAbstractItemModel::rowsInserted, this, [this] { reveal(); });
    connect(m_model, &QAbstractItemModel::layoutChanged, this, [this] { reveal(); });
    connect(verticalScrollBar(), &QAbstractSlider::actionTriggered, this, [this] { m_revealSelected = false; });
    connect(selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) {
                if (m_settingFromProgram || !current.isValid())
                    return;
                emit folderSelected(QDir::toNativeSeparators(m_model->filePath(current)));
            });
}

void FolderTree::setRootFolder(const QString& path)
{
    m_root = path;
    const QModelIndex rootIndex = m_model->setRootPath(path);
    // "/" is shown as a node of its own so the whole file system is reachable.
    if (QDir(path).isRoot())
        setRootIndex(m_model->index(path).parent());
    else
        setRootIndex(rootIndex);
}

bool FolderTree::setSelectedFolder(const QString& text)
{
    // Blanks are part of a name here, as they are for the search.
    const QString cleaned = QDir::fromNativeSeparators(text);
    if (cleaned.trimmed().isEmpty() || !QFileInfo(cleaned).isDir())
        return false;
    const QModelIndex idx = m_model->index(QDir::cleanPath(QFileInfo(cleaned).absoluteFilePath()));
    if (!idx.isValid())
        return false;
    m_settingFromProgram = true;
    setCurrentIndex(idx);
    m_settingFromProgram = false;
    m_revealSelected = true;
    reveal();
    return true;
}

void FolderTree::reveal()
{
    // A view that is not shown or has no size yet scrolls nowhere; the
    // folders above the selected one may still be loading.
    if (m_revealSelected && currentIndex().isValid())
        scrollTo(currentIndex(), QAbstractItemView::PositionAtCenter);
}

void FolderTree::showEvent(QShowEvent* e)
{
    QTreeView::showEvent(e);
    reveal();
}

void FolderTree::resizeEvent(QResizeEvent* e)
{
    QTreeView::resizeEvent(e);
    reveal();
}

void FolderTree::mousePressEvent(QMouseEvent* e)
{
    m_revealSelected = false;
    QTreeView::mousePressEvent(e);
}

void FolderTree::keyPressEvent(QKeyEvent* e)
{
    m_revealSelected = false;
    QTreeView::keyPressEvent(e);
}

void FolderTree::wheelEvent(QWheelEvent* e)
{
    m_revealSelected = false;
    QTreeView::wheelEvent(e);
}

void FolderTree::focusInEvent(QFocusEvent* e)
{
    // Taking the focus chooses no folder. With none current the view would
    // make its first folder current, and OK or the path box would take it.
    const bool hadCurrent = currentIndex().isValid();
    m_settingFromProgram = !hadCurrent;
    QTreeView::focusInEvent(e);
    m_settingFromProgram = false;
    if (!hadCurrent && currentIndex().isValid())
        selectionModel()->clearCurrentIndex();
}

QString FolderTree::selectedFolder() const
{
    const QModelIndex idx = currentIndex();
    if (!idx.isValid())
        return QString();
    return QDir::toNativeSeparators(m_model->filePath(idx));
}

void FolderTree::collapseAllButSelected()
{
    const QModelIndex sel = currentIndex();
    collapseAll();
    for (QModelIndex p = sel.parent(); p.isValid(); p = p.parent())
        expand(p);
    if (sel.isValid())
        scrollTo(sel);
}

} // namespace quillon
