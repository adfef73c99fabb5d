// The export table: the rectangular grid of texts that every export writer
// reads, and its construction from the result list.
//
// Library: quillon_export_core (no Qt).
#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace exporting {

struct NamedTable;

// C columns by R rows of UTF-8 texts, indexed (column, row) from 0.  Row 0 is
// the header.  All texts live in one buffer with one end offset per cell, so a
// million-row table costs its text plus eight bytes a cell.
class ExportTable {
public:
    // A table of `header.size()` columns holding the header row only.
    explicit ExportTable(const std::vector<std::string>& header);

    // Appends a data row.  Missing trailing cells are empty; cells beyond the
    // column count are ignored, so the grid stays rectangular.
    void AppendRow(const std::vector<std::string_view>& cells);
    void AppendRow(const std::vector<std::string>& cells);
    void AppendRow(std::initializer_list<std::string_view> cells);

    // Cell by cell: BeginRow(), then up to Columns() calls of AppendCell;
    // cells not given are empty, cells beyond Columns() are ignored.
    void BeginRow();
    void AppendCell(std::string_view text);

    std::size_t Columns() const { return columns_; }
    std::size_t Rows() const { return rows_; }  // header included, so at least 1
    std::string_view Cell(std::size_t column, std::size_t row) const;

    // Hint for large tables: expected data rows and total text bytes.
    void Reserve(std::size_t rows, std::size_t textBytes);
    // Bytes the table holds on the heap (capacity, not just size).
    std::size_t MemoryBytes() const;

    // Further sheets a workbook carries after the list (totals); the caret
    // text and the .xls carry the list alone.
    void AddSheet(NamedTable sheet);
    const std::vector<NamedTable>& Sheets() const { return sheets_; }

private:
    void PadCurrentRow();

    std::size_t columns_;
    std::size_t rows_ = 1;
    std::string text_;
    std::vector<std::uint64_t> ends_;  // end offset of cell k = row * columns_ + column
    std::vector<NamedTable> sheets_;
};

// A table with the name of the sheet that holds it.
struct NamedTable {
    std::string name;
    ExportTable table;
};

// What the table building needs of the result list.  Indices follow the
// list: columns 1-based (the last one is the list's hidden sort column and is
// never exported), rows 1-based in the list's current order.
class ExportSource {
public:
    virtual ~ExportSource() = default;
    virtual std::size_t ColumnCount() const = 0;                 // hidden last column included
    virtual std::string ColumnHeader(std::size_t column) const = 0;  // 1-based
    virtual std::size_t RowCount() const = 0;
    virtual std::string RowText(std::size_t row) const = 0;      // 1-based: the Name cell
    // Sub-item cell `cell` (1 Path, 2 Size, 3 Page Count) of row `row`;
    // nullopt when the row has no such cell (a row whose page count could
    // not be obtained).  An absent cell exports as an empty cell.
    virtual std::optional<std::string> SubItem(std::size_t row, std::size_t cell) const = 0;
    virtual bool RowSelected(std::size_t row) const = 0;         // highlighted
    // Sheets a workbook export adds after the list; none by default.
    virtual std::vector<NamedTable> ExtraSheets() const { return {}; }
};

// Builds the table: the checked fields in field order (field j is list column
// j + 1: field 0 the row text, field j >= 1 sub-item j), header row first,
// then every row, or only the selected ones when `selectedOnly`.
// `checkedFields` has one entry per offered field; must hold at least one
// true entry for a useful table.
ExportTable BuildExportTable(const ExportSource& source, const std::vector<bool>& checkedFields,
                             bool selectedOnly);

// Every offered column (all but the hidden last one) and every row.
ExportTable BuildFullExportTable(const ExportSource& source);

}  // namespace exporting
