#include "totals_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QStyle>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quillon {

namespace {
// Deeper than any tree people bill by, and the engine's folders stop at the file anyway.
constexpr int kMaxDepth = 64;
} // namespace

TotalsDialog::TotalsDialog(const QString& title, QWidget* parent, std::function<Table(int)> depthTable, int depth)
    : QDialog(parent), m_depthTable(std::move(depthTable))
{
    setWindowTitle(title);
    auto* layout = new QVBoxLayout(this);
    if (m_depthTable) {
        auto* row = new QHBoxLayout;
        auto* label = new QLabel(QStringLiteral("&Depth below the search folder:"), this);
        m_depth = new QSpinBox(this);
        m_depth->setObjectName(QStringLiteral("depth"));
        m_depth->setRange(1, kMaxDepth);
        m_depth->setValue(std::clamp(depth, 1, kMaxDepth));
        label->setBuddy(m_depth);
        row->addWidget(label);
        row->addWidget(m_depth);
        row->addStretch();
        layout->addLayout(row);
        connect(m_depth, &QSpinBox::valueChanged, this, [this](int d) { setTable(m_depthTable(d)); });
    }
    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("totals"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->verticalHeader()->hide();
    m_table->setWordWrap(false);
    layout->addWidget(m_table);
    auto* buttons = new QDialogButtonBox(this);
    m_copy = buttons->addButton(QStringLiteral("&Copy"), QDialogButtonBox::ActionRole);
    m_copy->setObjectName(QStringLiteral("copy"));
    QPushButton* close = buttons->addButton(QDialogButtonBox::Close);
    close->setObjectName(QStringLiteral("close"));
    layout->addWidget(buttons);
    connect(m_copy, &QPushButton::clicked, this, [this] { QApplication::clipboard()->setText(tableText()); });
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    if (m_depthTable)
        setTable(m_depthTable(m_depth->value()));
}

int TotalsDialog::depth() const { return m_depth ? m_depth->value() : 0; }

void TotalsDialog::setTable(const Table& table)
{
    m_table->clear();
    m_table->setColumnCount(static_cast<int>(table.header.size()));
    m_table->setRowCount(static_cast<int>(table.rows.size()));
    m_table->setHorizontalHeaderLabels(table.header);
    for (int r = 0; r < table.rows.size(); ++r) {
        for (int c = 0; c < table.rows[r].size() && c < table.header.size(); ++c) {
            auto* item = new QTableWidgetItem(table.rows[r][c]);
            // Numbers line up on the right, names on the left.
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            m_table->setItem(r, c, item);
        }
    }
    fitToTable();
}

void TotalsDialog::fitToTable()
{
    // Every column as wide as its widest text; the dialog as wide as the
    // columns within the screen, a scroll bar beyond that.
    // Measured from the texts: a table not yet shown sizes its columns by
    // the rows in its viewport, which is none.
    // Polished first: the style may give the table its font only then.
    ensurePolished();
    m_table->ensurePolished();
    const QFontMetrics fm(m_table->font());
    // The style keeps a focus margin on each side of the cell and of its
    // text, and a few pixels for the grid and the text's own side bearings.
    const int margin = 4 * (m_table->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, m_table) + 1) + 16;
    QHeaderView* header = m_table->horizontalHeader();
    for (int c = 0; c < m_table->columnCount(); ++c) {
        int need = header->sectionSizeHint(c);
        for (int r = 0; r < m_table->rowCount(); ++r)
            if (const QTableWidgetItem* item = m_table->item(r, c))
                need = std::max(need, fm.horizontalAdvance(item->text()) + margin);
        m_table->setColumnWidth(c, need);
    }
    int width = 2 * m_table->frameWidth() + m_table->verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < m_table->columnCount(); ++c)
        width += m_table->columnWidth(c);
    int height = 2 * m_table->frameWidth() + m_table->horizontalHeader()->sizeHint().height() +
                 m_table->verticalHeader()->defaultSectionSize() * std::min(m_table->rowCount() + 1, 16);
    const QRect avail = (screen() ? screen() : QGuiApplication::primaryScreen())->availableGeometry();
    m_table->setMinimumSize(std::min(width, avail.width() * 3 / 4), std::min(height, avail.height() / 2));
    adjustSize();
}

QString TotalsDialog::tableText() const
{
    QStringList lines;
    QStringList cells;
    for (int c = 0; c < m_table->columnCount(); ++c)
        cells << m_table->horizontalHeaderItem(c)->text();
    lines << cells.join(QLatin1Char('\t'));
    for (int r = 0; r < m_table->rowCount(); ++r) {
        cells.clear();
        for (int c = 0; c < m_table->columnCount(); ++c) {
            const QTableWidgetItem* item = m_table->item(r, c);
            cells << (item ? item->text() : QString());
        }
        lines << cells.join(QLatin1Char('\t'));
    }
    return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

} // namespace quillon
