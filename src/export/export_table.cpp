#include "export/export_table.h"

namespace exporting {

ExportTable::ExportTable(const std::vector<std::string>& header) : columns_(header.size()) {
    for (const std::string& h : header) AppendCell(h);
}

void ExportTable::AddSheet(NamedTable sheet) { sheets_.push_back(std::move(sheet)); }

void ExportTable::PadCurrentRow() {
    while (ends_.size() < rows_ * columns_) ends_.push_back(text_.size());
}

void ExportTable::BeginRow() {
    PadCurrentRow();
    ++rows_;
}

void ExportTable::AppendCell(std::string_view text) {
    if (ends_.size() >= rows_ * columns_) return;  // row already full
    text_.append(text);
    ends_.push_back(text_.size());
}

void ExportTable::AppendRow(const std::vector<std::string_view>& cells) {
    BeginRow();
    for (std::string_view cell : cells) AppendCell(cell);
}

void ExportTable::AppendRow(std::initializer_list<std::string_view> cells) {
    BeginRow();
    for (std::string_view cell : cells) AppendCell(cell);
}

void ExportTable::AppendRow(const std::vector<std::string>& cells) {
    std::vector<std::string_view> views(cells.begin(), cells.end());
    AppendRow(views);
}

std::string_view ExportTable::Cell(std::size_t column, std::size_t row) const {
    if (column >= columns_) return {};
    const std::size_t k = row * columns_ + column;
    if (k >= ends_.size()) return {};  // a cell not yet appended in the last row
    const std::uint64_t begin = k == 0 ? 0 : ends_[k - 1];
    return std::string_view(text_).substr(begin, ends_[k] - begin);
}

void ExportTable::Reserve(std::size_t rows, std::size_t textBytes) {
    ends_.reserve(ends_.size() + rows * columns_);
    text_.reserve(text_.size() + textBytes);
}

std::size_t ExportTable::MemoryBytes() const {
    return text_.capacity() + ends_.capacity() * sizeof(std::uint64_t);
}

namespace {

std::string FieldText(const ExportSource& source, std::size_t row, std::size_t field) {
    if (field == 0) return source.RowText(row);
    // A row without this cell exports an empty cell rather than ending the
    // export part-way.
    return source.SubItem(row, field).value_or(std::string());
}

}  // namespace

ExportTable BuildExportTable(const ExportSource& source, const std::vector<bool>& checkedFields,
                             bool selectedOnly) {
    const std::size_t listColumns = source.ColumnCount();
    const std::size_t offered = listColumns > 0 ? listColumns - 1 : 0;
    std::vector<std::size_t> fields;
    for (std::size_t j = 0; j < checkedFields.size() && j < offered; ++j) {
        if (checkedFields[j]) fields.push_back(j);
    }
    std::vector<std::string> header;
    header.reserve(fields.size());
    for (std::size_t j : fields) header.push_back(source.ColumnHeader(j + 1));
    ExportTable table(header);

    const std::size_t rows = source.RowCount();
    for (std::size_t i = 1; i <= rows; ++i) {
        if (selectedOnly && !source.RowSelected(i)) continue;
        table.BeginRow();
        for (std::size_t j : fields) table.AppendCell(FieldText(source, i, j));
    }
    return table;
}

ExportTable BuildFullExportTable(const ExportSource& source) {
    const std::size_t listColumns = source.ColumnCount();
    std::vector<bool> all(listColumns > 0 ? listColumns - 1 : 0, true);
    return BuildExportTable(source, all, false);
}

}  // namespace exporting
