// FrmMain's page sizes: the size columns, the A4 equivalents line, and the
// totals by size and by folder (dialogs and workbook sheets).
#include "main_window.h"

#include "totals_dialog.h"

#include <search/page_sizes.h>

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QTableView>

#include <cmath>
#include <cstdio>

namespace quillon {

namespace {

// Square metres to three decimals, trailing zeros dropped, as quillon-count writes them.
std::string areaText(double m2)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", std::isfinite(m2) ? m2 : 0.0);
    std::string out = text;
    while (!out.empty() && out.back() == '0')
        out.pop_back();
    if (!out.empty() && out.back() == '.')
        out.pop_back();
    return out == "-0" ? "0" : out;
}

exporting::ExportTable tableWith(const char* first)
{
    return exporting::ExportTable({first, "Files", "Pages", "A4 Equivalents", "Area (m²)"});
}

void appendLine(exporting::ExportTable& t, const std::string& name, std::int64_t files, std::int64_t pages,
                std::int64_t a4, double area)
{
    t.AppendRow(std::vector<std::string>{name, std::to_string(files), std::to_string(pages), std::to_string(a4),
                                         areaText(area)});
}

TotalsDialog::Table dialogTable(const exporting::ExportTable& t)
{
    TotalsDialog::Table out;
    for (std::size_t c = 0; c < t.Columns(); ++c)
        out.header << QString::fromStdString(std::string(t.Cell(c, 0)));
    for (std::size_t r = 1; r < t.Rows(); ++r) {
        QStringList row;
        for (std::size_t c = 0; c < t.Columns(); ++c)
            row << QString::fromUtf8(t.Cell(c, r).data(), static_cast<qsizetype>(t.Cell(c, r).size()));
        out.rows << row;
    }
    return out;
}

} // namespace

bool FrmMain::pageSizesShown() const { return m_PageSizes->isChecked(); }

void FrmMain::PageSizes_Click(bool on)
{
    if (m_PageSizes->isChecked() != on)
        m_PageSizes->setChecked(on); // the toggled signal comes back here
    m_session->SetReadSizes(on);
    m_list->setColumnHidden(ResultListModel::PageSizesColumn, !on);
    m_list->setColumnHidden(ResultListModel::A4Column, !on);
    m_TotalsBySize->setEnabled(on);
    m_TotalsByFolder->setEnabled(on);
    m_lblTotalA4->setVisible(on);
    showA4Total();
    saveViewSettings();
    // Rows listed by a search that did not read sizes are counted again,
    // sizes and all, as a delete's rebuild counts them.
    if (on && !m_session->Running() && m_model->rowCount() > 0) {
        bool missing = false;
        for (int r = 0; r < m_model->rowCount() && !missing; ++r)
            missing = m_model->pages(r) > 0 && !m_model->sizes(r);
        if (missing)
            m_session->RebuildRows();
    }
}

void FrmMain::showA4Total()
{
    QString text = QStringLiteral("A4 Equivalents = %1").arg(m_a4Total);
    if (m_unknownPages > 0)
        text += m_unknownPages == 1 ? QStringLiteral("  (1 page of unknown size)")
                                    : QStringLiteral("  (%1 pages of unknown size)").arg(m_unknownPages);
    m_lblTotalA4->setText(text);
    applyLayout();
}

exporting::NamedTable FrmMain::sizeTotalsTable() const
{
    search::SizeTotals totals;
    std::int64_t files = 0, pages = 0;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        if (const search::FileSizes* s = m_model->sizes(r)) {
            totals.Add(*s);
            ++files;
            pages += m_model->pages(r);
        }
    }
    exporting::ExportTable t = tableWith("Size");
    for (const auto& l : totals.Lines())
        appendLine(t, l.name, l.files, l.pages, l.a4Equivalents, l.areaM2);
    appendLine(t, "Total", files, pages, totals.a4Equivalents(), totals.areaM2());
    return {"Totals by size", std::move(t)};
}

exporting::NamedTable FrmMain::folderTotalsTable(int depth) const
{
    search::FolderTotals totals({m_searchRoot}, depth);
    std::int64_t files = 0, pages = 0, a4 = 0;
    double area = 0;
    for (int r = 0; r < m_model->rowCount(); ++r) {
        const search::FileSizes* s = m_model->sizes(r);
        const std::int64_t n = std::max<std::int32_t>(m_model->pages(r), 0);
        totals.Add(m_model->pathBytes(r).toStdString(), n, s);
        ++files;
        pages += n;
        if (s) {
            a4 += s->a4Equivalents;
            area += s->areaM2;
        }
    }
    exporting::ExportTable t = tableWith("Folder");
    for (const auto& [folder, l] : totals.Lines())
        appendLine(t, l.folder, l.files, l.pages, l.a4Equivalents, l.areaM2);
    appendLine(t, "Total", files, pages, a4, area);
    return {"Totals by folder", std::move(t)};
}

void FrmMain::TotalsBySize_Click()
{
    HideListMenuExtras();
    delete m_totals;
    auto* dlg = new TotalsDialog(QStringLiteral("Totals by Size"), this);
    dlg->setObjectName(QStringLiteral("dlgTotalsBySize"));
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    dlg->setTable(dialogTable(sizeTotalsTable().table));
    m_totals = dlg;
    dlg->show();
}

void FrmMain::TotalsByFolder_Click()
{
    HideListMenuExtras();
    delete m_totals;
    auto* dlg = new TotalsDialog(
        QStringLiteral("Totals by Folder"), this,
        [this](int depth) {
            // The depth chosen is the one the workbook's sheet uses too.
            m_folderDepth = depth;
            saveViewSettings();
            return dialogTable(folderTotalsTable(depth).table);
        },
        m_folderDepth);
    dlg->setObjectName(QStringLiteral("dlgTotalsByFolder"));
    dlg->setAttribute(Qt::WA_DeleteOnClose);
    m_totals = dlg;
    dlg->show();
}

std::vector<exporting::NamedTable> FrmMain::ExtraSheets() const
{
    std::vector<exporting::NamedTable> sheets;
    if (!pageSizesShown())
        return sheets;
    sheets.push_back(sizeTotalsTable());
    sheets.push_back(folderTotalsTable(m_folderDepth));
    return sheets;
}

} // namespace quillon
