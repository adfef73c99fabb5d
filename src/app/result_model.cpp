#include "result_model.h"

#include <search/result_row.h>

#include <algorithm>

namespace quillon {

namespace {
const char* const kHeaders[ResultListModel::ColumnCount] = {"Name",       "Path",           "Size", "Page Count",
                                                             "Page Sizes", "A4 Equivalents", ""};
}

ResultListModel::ResultListModel(QObject* parent) : QAbstractTableModel(parent) {}

int ResultListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int ResultListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

void ResultListModel::setIcons(const QIcon& tiff, const QIcon& pdf)
{
    m_tiffIcon = tiff;
    m_pdfIcon = pdf;
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::ToolTipRole && index.column() == 3 && m_rows[index.row()].reason != 0)
        return reason(index.row());
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole)
        return cellText(index.row(), index.column());
    if (role == Qt::DecorationRole && index.column() == 0) {
        switch (m_rows[index.row()].kind) {
        case RowKind::Tiff: return m_tiffIcon;
        case RowKind::Pdf: return m_pdfIcon;
        case RowKind::Other: return {};
        }
    }
    return {};
}

QVariant ResultListModel::headerData(int section, Qt::Orientation o, int role) const
{
    if (o != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(kHeaders[section]);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void ResultListModel::store(const ListRow& row)
{
    Record r{};
    r.pathOffset = m_pool.size();
    r.pathLength = static_cast<std::uint32_t>(row.path.size());
    r.nameLength = static_cast<std::uint32_t>(row.name.size());
    r.bytes = row.bytes >= 0 ? row.bytes : row.kb * 1024;
    r.pages = row.pages;
    r.kind = row.kind;
    r.flags = row.hasPageCell ? HasPageCell : 0;
    r.marks = 0;
    r.reason = row.reason.isEmpty() ? 0 : reasonSlot(row.reason);
    m_pool.append(reinterpret_cast<const char16_t*>(row.path.utf16()), row.path.size());
    if (!row.path.endsWith(row.name)) {
        r.flags |= NameSeparate;
        m_pool.append(reinterpret_cast<const char16_t*>(row.name.utf16()), row.name.size());
    }
    if (!row.rawPath.isEmpty()) {
        r.flags |= RawPath;
        const auto n = static_cast<std::uint32_t>(row.rawPath.size());
        m_pool.push_back(static_cast<char16_t>(n & 0xFFFF));
        m_pool.push_back(static_cast<char16_t>(n >> 16));
        for (std::uint32_t i = 0; i < n; i += 2) {
            const auto lo = static_cast<unsigned char>(row.rawPath[i]);
            const auto hi = i + 1 < n ? static_cast<unsigned char>(row.rawPath[i + 1]) : 0u;
            m_pool.push_back(static_cast<char16_t>(lo | (hi << 8)));
        }
    }
    if (row.sizes) {
        r.flags |= HasSizes;
        const auto at = static_cast<std::uint32_t>(m_sizes.size());
        m_sizes.push_back(*row.sizes);
        m_pool.push_back(static_cast<char16_t>(at & 0xFFFF));
        m_pool.push_back(static_cast<char16_t>(at >> 16));
    }
    m_rows.push_back(r);
}

std::uint8_t ResultListModel::reasonSlot(const QString& reason)
{
    const auto it = std::find(m_reasons.begin(), m_reasons.end(), reason);
    if (it != m_reasons.end())
        return static_cast<std::uint8_t>(it - m_reasons.begin());
    // Reasons are a handful of sentences; should a run ever bring more than
    // a byte can number, the last slot says so rather than show a wrong one.
    if (m_reasons.size() == 255)
        m_reasons.push_back(QStringLiteral("Error (its reason is one of too many to keep)"));
    if (m_reasons.size() > 255)
        return 255;
    m_reasons.push_back(reason);
    return static_cast<std::uint8_t>(m_reasons.size() - 1);
}

QString ResultListModel::reason(int row) const
{
    return m_reasons[m_rows[row].reason];
}

void ResultListModel::appendRow(const ListRow& row)
{
    const int n = rowCount();
    beginInsertRows(QModelIndex(), n, n);
    store(row);
    endInsertRows();
}

void ResultListModel::appendRows(const std::vector<ListRow>& rows)
{
    if (rows.empty())
        return;
    const int n = rowCount();
    beginInsertRows(QModelIndex(), n, n + static_cast<int>(rows.size()) - 1);
    // Grow geometrically: reserving just enough for each batch would copy
    // every earlier row again on every batch.
    if (m_rows.capacity() < m_rows.size() + rows.size())
        m_rows.reserve(std::max(m_rows.size() + rows.size(), m_rows.capacity() * 2));
    for (const ListRow& r : rows)
        store(r);
    endInsertRows();
}

void ResultListModel::clear()
{
    beginResetModel();
    std::vector<Record>().swap(m_rows);
    std::u16string().swap(m_pool);
    m_reasons.resize(1);
    std::vector<search::FileSizes>().swap(m_sizes);
    endResetModel();
}

QStringView ResultListModel::pathView(const Record& r) const
{
    return QStringView(m_pool.data() + r.pathOffset, static_cast<qsizetype>(r.pathLength));
}

QStringView ResultListModel::nameView(const Record& r) const
{
    if (r.flags & NameSeparate)
        return QStringView(m_pool.data() + r.pathOffset + r.pathLength,
                           static_cast<qsizetype>(r.nameLength));
    return QStringView(m_pool.data() + r.pathOffset + (r.pathLength - r.nameLength),
                       static_cast<qsizetype>(r.nameLength));
}

QByteArray ResultListModel::rawPathOf(const Record& r) const
{
    std::size_t at = r.pathOffset + r.pathLength + ((r.flags & NameSeparate) ? r.nameLength : 0);
    const std::uint32_t n = static_cast<std::uint32_t>(m_pool[at]) | (static_cast<std::uint32_t>(m_pool[at + 1]) << 16);
    at += 2;
    QByteArray bytes(static_cast<qsizetype>(n), Qt::Uninitialized);
    for (std::uint32_t i = 0; i < n; ++i) {
        const char16_t unit = m_pool[at + i / 2];
        bytes[i] = static_cast<char>(i % 2 ? unit >> 8 : unit & 0xFF);
    }
    return bytes;
}

const search::FileSizes* ResultListModel::sizesOf(const Record& r) const
{
    if (!(r.flags & HasSizes))
        return nullptr;
    std::size_t at = r.pathOffset + r.pathLength + ((r.flags & NameSeparate) ? r.nameLength : 0);
    if (r.flags & RawPath) {
        const std::uint32_t n = static_cast<std::uint32_t>(m_pool[at]) | (static_cast<std::uint32_t>(m_pool[at + 1]) << 16);
        at += 2 + (n + 1) / 2;
    }
    const std::uint32_t index = static_cast<std::uint32_t>(m_pool[at]) | (static_cast<std::uint32_t>(m_pool[at + 1]) << 16);
    return &m_sizes[index];
}

void ResultListModel::sortRows(SortKey key, bool descending)
{
    if (m_rows.size() < 2)
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    auto less = [this, key](const Record& a, const Record& b) {
        switch (key) {
        case SortKey::Name:
            return nameView(a).compare(nameView(b), Qt::CaseInsensitive) < 0;
        case SortKey::Path:
            return pathView(a).compare(pathView(b), Qt::CaseInsensitive) < 0;
        case SortKey::SizeTag:
            return a.bytes < b.bytes;
        case SortKey::PagesTag: {
            // "Error" sorts after every zero-padded number; a row without a
            // Page Count cell has an empty tag, which sorts first.
            auto rank = [](const Record& r) {
                if (!(r.flags & HasPageCell))
                    return 0;
                return r.pages < 1 ? 2 : 1;
            };
            const int ra = rank(a), rb = rank(b);
            if (ra != rb)
                return ra < rb;
            return ra == 1 && a.pages < b.pages;
        }
        case SortKey::PageSizes:
        case SortKey::A4Equivalents: {
            const search::FileSizes* sa = sizesOf(a);
            const search::FileSizes* sb = sizesOf(b);
            if (!sa || !sb)
                return !sa && sb;
            if (key == SortKey::A4Equivalents)
                return sa->a4Equivalents < sb->a4Equivalents;
            // The pages' area, then their number as A4 (pages of unknown
            // size have no area).
            if (sa->areaM2 != sb->areaM2)
                return sa->areaM2 < sb->areaM2;
            return sa->a4Equivalents < sb->a4Equivalents;
        }
        }
        return false;
    };
    if (descending)
        std::stable_sort(m_rows.begin(), m_rows.end(),
                         [&less](const Record& a, const Record& b) { return less(b, a); });
    else
        std::stable_sort(m_rows.begin(), m_rows.end(), less);
    // No persistent indexes are kept across a sort (the caller carries the
    // selection through the marks), so none need changing.
    const QModelIndexList persistent = persistentIndexList();
    changePersistentIndexList(persistent, QModelIndexList(persistent.size()));
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void ResultListModel::setMarks(const QItemSelection& selected, int currentRow)
{
    for (Record& r : m_rows)
        r.marks = 0;
    for (const QItemSelectionRange& range : selected) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            if (row >= 0 && row < rowCount())
                m_rows[row].marks |= 1;
    }
    if (currentRow >= 0 && currentRow < rowCount())
        m_rows[currentRow].marks |= 2;
}

QItemSelection ResultListModel::markedSelection() const
{
    QItemSelection sel;
    const int n = rowCount();
    int row = 0;
    while (row < n) {
        if (!(m_rows[row].marks & 1)) {
            ++row;
            continue;
        }
        const int first = row;
        while (row < n && (m_rows[row].marks & 1))
            ++row;
        sel.append(QItemSelectionRange(index(first, 0), index(row - 1, ColumnCount - 1)));
    }
    return sel;
}

int ResultListModel::markedCurrentRow() const
{
    for (std::size_t i = 0; i < m_rows.size(); ++i)
        if (m_rows[i].marks & 2)
            return static_cast<int>(i);
    return -1;
}

// The cell texts are the engine's (search/result_row.h), so the window and
// quillon-count cannot drift apart. Sizes are never negative (KilobytesOf).
QString ResultListModel::formatSize(std::int64_t kb)
{
    return QString::fromStdString(search::SizeCellText(static_cast<std::uint64_t>(kb)));
}

QString ResultListModel::formatSizeTag(std::int64_t kb)
{
    return QString::fromStdString(search::SizeCellTag(static_cast<std::uint64_t>(kb)));
}

QString ResultListModel::formatPages(std::int32_t pages)
{
    return QString::fromStdString(search::PageCountText(pages));
}

QString ResultListModel::formatPagesTag(std::int32_t pages)
{
    return QString::fromStdString(search::PageCountTag(pages));
}

QString ResultListModel::cellText(int row, int column) const
{
    if (row < 0 || row >= rowCount())
        return {};
    switch (column) {
    case 0: return name(row);
    case 1: return path(row);
    case 2: return sizeText(row);
    case 3: return pagesText(row);
    case PageSizesColumn: return pageSizesText(row);
    case A4Column: return a4Text(row);
    default: return {};
    }
}

QString ResultListModel::name(int row) const { return nameView(m_rows[row]).toString(); }
QString ResultListModel::path(int row) const { return pathView(m_rows[row]).toString(); }
bool ResultListModel::hasRawPath(int row) const { return m_rows[row].flags & RawPath; }

QByteArray ResultListModel::pathBytes(int row) const
{
    const Record& r = m_rows[row];
    return (r.flags & RawPath) ? rawPathOf(r) : pathView(r).toUtf8();
}

QByteArray ResultListModel::nameBytes(int row) const
{
    const Record& r = m_rows[row];
    if (!(r.flags & RawPath))
        return nameView(r).toUtf8();
    const QByteArray path = rawPathOf(r);
    return path.mid(path.lastIndexOf('/') + 1);
}

QString ResultListModel::sizeText(int row) const { return formatSize(kb(row)); }
QString ResultListModel::sizeTag(int row) const { return formatSizeTag(kb(row)); }

QString ResultListModel::pagesText(int row) const
{
    const Record& r = m_rows[row];
    return (r.flags & HasPageCell) ? formatPages(r.pages) : QString();
}

QString ResultListModel::pagesTag(int row) const
{
    const Record& r = m_rows[row];
    return (r.flags & HasPageCell) ? formatPagesTag(r.pages) : QString();
}

const search::FileSizes* ResultListModel::sizes(int row) const { return sizesOf(m_rows[row]); }

QString ResultListModel::pageSizesText(int row) const
{
    const search::FileSizes* s = sizes(row);
    return s ? QString::fromStdString(search::SizeSummaryText(*s)) : QString();
}

QString ResultListModel::a4Text(int row) const
{
    const search::FileSizes* s = sizes(row);
    return s ? QString::number(s->a4Equivalents) : QString();
}

RowKind ResultListModel::kind(int row) const { return m_rows[row].kind; }
std::int64_t ResultListModel::kb(int row) const
{
    return static_cast<std::int64_t>(search::KilobytesOf(static_cast<std::uint64_t>(m_rows[row].bytes)));
}
std::int64_t ResultListModel::bytes(int row) const { return m_rows[row].bytes; }
std::int32_t ResultListModel::pages(int row) const { return m_rows[row].pages; }

std::size_t ResultListModel::bytesUsed() const
{
    std::size_t sizes = m_sizes.capacity() * sizeof(search::FileSizes);
    for (const search::FileSizes& s : m_sizes)
        sizes += s.groups.capacity() * sizeof(search::SizeGroup);
    return m_rows.capacity() * sizeof(Record) + m_pool.capacity() * sizeof(char16_t) + sizes;
}

std::size_t ResultListModel::pathTextBytes() const
{
    std::size_t n = 0;
    for (const Record& r : m_rows)
        n += r.pathLength * sizeof(char16_t);
    return n;
}

} // namespace quillon
