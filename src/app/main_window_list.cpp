// The result list's commands: header sorting, select all, the context menu,
// grid lines, column fitting and clearing.
#include "main_window.h"

#include <QAction>
#include <QCheckBox>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTableView>

namespace quillon {

int FrmMain::currentRow() const
{
    const QModelIndex cur = m_list->selectionModel()->currentIndex();
    return cur.isValid() ? cur.row() : -1;
}

void FrmMain::lvwSearchResult_ColumnClick(int c)
{
    // Size and Page Count sort by their zero-padded tags (hidden column 4);
    // the model compares the numbers those tags stand for, which orders the
    // same way without writing the tags into every row.
    SortKey key = SortKey::Name;
    switch (c) {
    case 1: key = SortKey::Name; m_sortColumn = 0; break;
    case 2: key = SortKey::Path; m_sortColumn = 1; break;
    case 3: key = SortKey::SizeTag; m_sortColumn = 4; break;
    case 4: key = SortKey::PagesTag; m_sortColumn = 4; break;
    case 5: key = SortKey::PageSizes; m_sortColumn = 4; break;
    case 6: key = SortKey::A4Equivalents; m_sortColumn = 4; break;
    default: m_sortColumn = std::max(0, c - 1); return;
    }
    m_sortDescending = !m_sortDescending;
    m_sorted = true;
    m_sortKey = key;
    m_sortSection = c - 1;
    applySort();
}

void FrmMain::applySort()
{
    // Carry the highlighted rows and the current row through the reorder
    // as marks on the rows, so the selection never holds a million
    // persistent indexes.
    QItemSelectionModel* sel = m_list->selectionModel();
    m_model->setMarks(sel->selection(), currentRow());
    sel->clear();
    m_model->sortRows(m_sortKey, m_sortDescending);
    sel->select(m_model->markedSelection(), QItemSelectionModel::Select);
    const int cur = m_model->markedCurrentRow();
    if (cur >= 0)
        sel->setCurrentIndex(m_model->index(cur, 0), QItemSelectionModel::NoUpdate);
    m_list->horizontalHeader()->setSortIndicatorShown(true);
    m_list->horizontalHeader()->setSortIndicator(m_sortSection, m_sortDescending ? Qt::DescendingOrder
                                                                                 : Qt::AscendingOrder);
}

void FrmMain::lvwSearchResult_MouseDown(Qt::MouseButton button, const QPoint& globalPos)
{
    const bool searching = m_cmdControl[1]->isEnabled();
    if (!searching && button == Qt::RightButton && m_model->rowCount() > 0) {
        m_session->EnableResultActions(1);
        for (QAction* a : {m_sep3, m_Delete2, m_clsResult})
            a->setVisible(true);
        m_sys->exec(globalPos);
    }
    if (button == Qt::LeftButton)
        m_chkSelectall->setChecked(false);
}

void FrmMain::chkSelectall_Click()
{
    const int n = m_model->rowCount();
    QItemSelectionModel* sel = m_list->selectionModel();
    if (n > 0) {
        if (m_chkSelectall->isChecked())
            sel->select(QItemSelection(m_model->index(0, 0),
                                       m_model->index(n - 1, ResultListModel::ColumnCount - 1)),
                        QItemSelectionModel::Select);
        else
            sel->clearSelection();
    }
    if (n > 0 && m_list->isVisible()) {
        m_list->setFocus();
        m_cmdControl[2]->setEnabled(true);
    }
}

void FrmMain::HideListMenuExtras()
{
    for (QAction* a : {m_sep3, m_Delete2, m_clsResult})
        a->setVisible(false);
}

void FrmMain::Grid_Click()
{
    if (m_list->showGrid()) {
        m_list->setShowGrid(false);
        m_Grid->setText(QStringLiteral("Grid (ON)"));
    } else {
        m_list->setShowGrid(true);
        m_Grid->setText(QStringLiteral("Grid (OFF)"));
    }
    HideListMenuExtras();
}

void FrmMain::AutoSizeColumns()
{
    // Path, Size, Page Count and the size columns. Name keeps its width
    // and the hidden sort column stays hidden.
    for (int j = 1; j <= ResultListModel::ColumnCount - 2; ++j)
        if (!m_list->isColumnHidden(j))
            m_list->resizeColumnToContents(j);
}

void FrmMain::ResizeCols_Click()
{
    AutoSizeColumns();
    HideListMenuExtras();
}

void FrmMain::cmdClear_Click()
{
    ClearRows();
    m_session->EnableResultActions(0);
    m_session->ResetSearchDisplay();
}

void FrmMain::clsResult_Click()
{
    ClearRows();
    HideListMenuExtras();
    m_session->EnableResultActions(0);
    m_session->ResetSearchDisplay();
}

} // namespace quillon
