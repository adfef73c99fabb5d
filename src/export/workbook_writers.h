// The two workbook writers behind WriteExportFileAs.  Each returns an empty
// string on success, else the reason of the failure.
#pragma once

#include "export/caret_text.h"
#include "export/export_file.h"
#include "export/export_table.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace exporting {

// Excel 97-2003 workbook: BIFF8 records in the "Workbook" stream of an OLE2
// compound file, written to the open file `file` (left open).
std::string WriteXls(const ExportTable& table, std::FILE* file, const RowProgress& progress);

// Excel 2007+ workbook written by libxlsxwriter to `path`.
std::string WriteXlsx(const ExportTable& table, const std::string& path, const RowProgress& progress);

// A cell's text as the .xlsx sheet carries it: valid UTF-8 (replacement
// characters for malformed bytes), every literal "_x" written "_x005F_x"
// (so "_x0041_" is not read as "A"), U+FFFE and U+FFFF as "_xFFFE_" and "_xFFFF_".  Control
// characters are escaped by libxlsxwriter itself.
std::string XlsxCellText(std::string_view text);

// Longest text a workbook cell can hold, in UTF-16 code units.
inline constexpr std::size_t kMaxCellChars = 32767;

}  // namespace exporting
