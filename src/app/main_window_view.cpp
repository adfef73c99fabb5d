// FrmMain as the search session's view: enabling controls, captions, progress, rows and messages.
#include "main_window.h"

#include "message_boxes.h"

#include <export/export_list.h>
#include <export/utf8.h>
#include <search/count_run.h>
#include <search/page_sizes.h>

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>

namespace quillon {

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

} // namespace

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
    if (label == m_lblFileName) {
        m_lblFileName->setToolTip(text);
        showFileName();
        return;
    }
    label->setText(text);
    // The status labels take the width of their text; the layout places them.
    applyLayout();
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
    m_a4Total = 0;
    m_unknownPages = 0;
    showA4Total();
    // New rows come in found order: no arrow over them until they are
    // sorted again when they are all in.
    m_list->horizontalHeader()->setSortIndicatorShown(false);
}

void FrmMain::AppendRows(std::vector<search::ResultRow>&& rows)
{
    std::vector<ListRow> batch;
    batch.reserve(rows.size());
    for (search::ResultRow& r : rows) {
        ListRow lr;
        const std::string& path = r.path.empty() ? r.key : r.path;
        if (exporting::IsValidUtf8(path)) {
            lr.name = qs(r.name);
            lr.path = qs(path);
        } else {
            // Shown with replacement characters; the bytes stay the row's key.
            lr.name = qs(exporting::ValidUtf8(r.name));
            lr.path = qs(exporting::ValidUtf8(path));
            lr.rawPath = QByteArray::fromStdString(path);
        }
        lr.kb = static_cast<std::int64_t>(search::KilobytesOf(r.sizeBytes));
        lr.bytes = static_cast<std::int64_t>(std::min<std::uint64_t>(r.sizeBytes, INT64_MAX));
        lr.pages = r.pages;
        lr.hasPageCell = r.hasPageCount;
        lr.kind = r.icon == 1 ? RowKind::Tiff : r.icon == 2 ? RowKind::Pdf : RowKind::Other;
        if (!r.reason.empty() || !r.warning.empty())
            lr.reason = qs(r.reason.empty() ? r.warning : r.reason);
        if (search::Counted(r) && !r.pageSizes.empty()) {
            lr.sizes = search::SummarizeSizes(r.pageSizes);
            m_a4Total += lr.sizes->a4Equivalents;
            m_unknownPages += lr.sizes->unknownPages;
        }
        batch.push_back(std::move(lr));
    }
    m_model->appendRows(batch);
    if (pageSizesShown())
        showA4Total();
}

std::size_t FrmMain::RowCount() const
{
    return static_cast<std::size_t>(m_model->rowCount());
}

// The search engine's and the export's messages alike.
void FrmMain::ShowMessage(const std::string& text, component::MessageIcon icon)
{
    m_services.boxes->show(this, qs(text), MsgButtons::Ok, icon);
}

void FrmMain::RunExport()
{
    exporting::ExportList(*this, *this, this, m_services.settings ? &m_exportChoices : nullptr);
    saveExportSettings();
}

void FrmMain::SearchFinished()
{
    // After a delete's rebuild an empty list leaves the row commands off.
    if (RowCount() == 0)
        m_session->EnableResultActions(0);
    else if (m_sorted)
        applySort(); // the user's sort holds for the new rows too
    emit searchFinished();
}

} // namespace quillon
