// Helpers shared by the export tests: a result list to export from, scratch
// folders, file reading and the workbook read-back script.
#pragma once

#include "export/export_table.h"

#include <temp_dir.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace exporttest {

// A result list in memory: the four visible columns and the hidden fifth.
struct FakeRow {
    std::string name;
    std::string path;
    std::string size;
    std::optional<std::string> pages;  // nullopt: the row has no Page Count cell
    bool selected = false;
};

class FakeSource : public exporting::ExportSource {
public:
    std::vector<FakeRow> rows;

    std::size_t columns = 5;  // the list's columns, the hidden one included

    std::size_t ColumnCount() const override { return columns; }
    std::string ColumnHeader(std::size_t column) const override;
    std::size_t RowCount() const override { return rows.size(); }
    std::string RowText(std::size_t row) const override { return rows.at(row - 1).name; }
    std::optional<std::string> SubItem(std::size_t row, std::size_t cell) const override;
    bool RowSelected(std::size_t row) const override { return rows.at(row - 1).selected; }
};

// Three rows, the second without a page count, the first and third selected.
FakeSource SampleSource();

using fixtures::TempDir;

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& bytes);

// Runs the read-back script on `workbook` against the table: 0 when every
// cell and its type match, 77 when the reader is not installed, otherwise the
// script's failure (its report goes to stderr).
int ReadBack(const std::string& mode, const std::string& workbook, const exporting::ExportTable& table,
             std::size_t rowsPerSheet);

}  // namespace exporttest
