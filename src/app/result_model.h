#pragma once
// The rows of lvwSearchResult, kept compactly: one small fixed record per row
// plus the path text in one shared pool. Cell texts and sort tags are made
// from the numbers when they are asked for, so a million rows fit in a few
// tens of megabytes and sort without building strings.
#include <QAbstractTableModel>
#include <QByteArray>
#include <QIcon>
#include <QItemSelection>
#include <QString>
#include <search/page_sizes.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

enum class RowKind : std::uint8_t { Other = 0, Tiff = 1, Pdf = 2 };

// One row as handed to the list.
struct ListRow {
    QString name;        // the file's name (row text)
    QString path;        // the full path (the row's key and its Path cell)
    // The path's own bytes when they are not valid UTF-8 (name and path then
    // show replacement characters); empty otherwise.
    QByteArray rawPath;
    std::int64_t kb = 0; // size in kilobytes
    std::int64_t bytes = -1; // size in bytes, which Size sorts by; -1: kb * 1024
    std::int32_t pages = 0; // page count; below 1 shows "Error"
    bool hasPageCell = true; // false for a row of neither kind
    RowKind kind = RowKind::Other;
    // The Page Count cell's tooltip: why the count is "Error", where known,
    // or the note on a count that may leave pages out ("Damaged after page 3").
    QString reason;
    // The pages' sizes, when the search read them and the file was counted.
    std::optional<search::FileSizes> sizes;
};

// Which order a sort uses: the texts of Name or Path, the sizes in bytes (so
// files of equal kilobytes keep a true order), or the tags of Page Count
// (the zero-padded numbers, "Error" after every number), Page Sizes by the
// pages' area and A4 Equivalents by its number (rows without sizes first).
enum class SortKey { Name, Path, SizeTag, PagesTag, PageSizes, A4Equivalents };

class ResultListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // Name, Path, Size, Page Count, Page Sizes, A4 Equivalents and the hidden
    // sort column; the two size columns show only when sizes are read.
    static constexpr int ColumnCount = 7;
    static constexpr int PageSizesColumn = 4;
    static constexpr int A4Column = 5;
    static constexpr int SortColumn = 6;

    explicit ResultListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation o, int role) const override;

    void setIcons(const QIcon& tiff, const QIcon& pdf);

    void appendRow(const ListRow& row);
    void appendRows(const std::vector<ListRow>& rows);
    void clear();

    // Reorders the rows. Rows whose marks are set keep them through the
    // sort, which is how selection and the current row are carried over.
    void sortRows(SortKey key, bool descending);

    // Marks: bit 0 = highlighted, bit 1 = current row.
    void setMarks(const QItemSelection& selected, int currentRow);
    QItemSelection markedSelection() const;
    int markedCurrentRow() const;

    // Cell texts as shown (column 0 Name .. 5 A4 Equivalents; 6 is always empty).
    QString cellText(int row, int column) const;
    QString name(int row) const;
    QString path(int row) const; // as shown
    // The file's own name and path bytes: what names the file on disk (the
    // row's key), also where they are not valid UTF-8.
    QByteArray pathBytes(int row) const;
    QByteArray nameBytes(int row) const;
    bool hasRawPath(int row) const;
    QString sizeText(int row) const;
    QString sizeTag(int row) const;
    QString pagesText(int row) const;
    QString pagesTag(int row) const;
    RowKind kind(int row) const;
    std::int64_t kb(int row) const;
    std::int64_t bytes(int row) const;
    std::int32_t pages(int row) const;
    // Why the row's page count is "Error" (the Page Count cell's tooltip);
    // empty when counted or not known.
    QString reason(int row) const;
    // The row's page sizes; null when they were not read for it.
    const search::FileSizes* sizes(int row) const;
    QString pageSizesText(int row) const;
    QString a4Text(int row) const;

    // Bytes held by the rows, for the memory benchmark: records and pool
    // capacity, the pool's path text included.
    std::size_t bytesUsed() const;
    std::size_t pathTextBytes() const;

    static QString formatSize(std::int64_t kb);
    static QString formatSizeTag(std::int64_t kb);
    static QString formatPages(std::int32_t pages);
    static QString formatPagesTag(std::int32_t pages);

private:
    struct Record {
        std::uint64_t pathOffset;   // into m_pool
        std::uint32_t pathLength;
        std::uint32_t nameLength;   // the name is the path's tail
        std::int64_t bytes;         // the Size cell shows it in kilobytes
        std::int32_t pages;
        RowKind kind;
        std::uint8_t flags;
        std::uint8_t marks;
        std::uint8_t reason;        // into m_reasons; 0 none
    };
    static constexpr std::uint8_t HasPageCell = 1;
    // The name is not the path's tail; it follows the path in the pool.
    static constexpr std::uint8_t NameSeparate = 2;
    // The path's bytes follow (after the name, if separate): their length in
    // two units, then the bytes two to a unit.
    static constexpr std::uint8_t RawPath = 4;
    // An index into m_sizes follows (after the path's bytes, if any), in
    // two units: only rows with sizes pay for them.
    static constexpr std::uint8_t HasSizes = 8;

    void store(const ListRow& row);
    QStringView pathView(const Record& r) const;
    QStringView nameView(const Record& r) const;
    QByteArray rawPathOf(const Record& r) const;
    const search::FileSizes* sizesOf(const Record& r) const;

    // The few distinct reasons, each kept once; slot 0 is "none".
    std::uint8_t reasonSlot(const QString& reason);

    std::vector<Record> m_rows;
    std::u16string m_pool;
    std::vector<QString> m_reasons{QString()};
    std::vector<search::FileSizes> m_sizes;
    QIcon m_tiffIcon, m_pdfIcon;
};

} // namespace quillon
