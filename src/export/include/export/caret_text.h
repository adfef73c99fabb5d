// Caret-delimited text: one line per table row, every cell followed by "^",
// every line ended by CR LF, no quoting, UTF-8 without byte-order mark.
//
// Library: quillon_export_core (no Qt).
#pragma once

#include "export/export_table.h"

#include <cstddef>
#include <cstdio>
#include <functional>
#include <string>

namespace exporting {

// Appends the line of table row `row` (its CR LF included) to `out`.
void AppendCaretLine(const ExportTable& table, std::size_t row, std::string& out);

// Called after each table row is written with the number of rows written
// so far (1 after the header).
using RowProgress = std::function<void(std::size_t rowsWritten)>;

// Writes the whole table to `file` line by line through a small buffer.
// Returns false on a write error (errno tells why); `file` stays open.
bool WriteCaretText(const ExportTable& table, std::FILE* file, const RowProgress& progress = {});

// Data rows with a cell that holds a "^" or a line break: read back by
// caret and line, such a row gets extra fields or splits in two.
std::size_t RowsCaretTextSplits(const ExportTable& table);

// The whole text as one string; for tests and small tables only.
std::string CaretText(const ExportTable& table);

}  // namespace exporting
