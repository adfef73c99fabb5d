// The export command and the writer stage behind it.
//
// Library: quillon_export_ui (links Qt Widgets for the dialog).
#pragma once

#include "export/export_table.h"
#include "export/export_ui.h"

class QWidget;

namespace exporting {

// The export command: shows DlgChooseExport over `owner` (its icon is
// copied, the dialog is centred on it), builds the table from the checked
// fields and the chosen rows of `source`, and hands it to SaveExportFile.
// Cancel (or closing the dialog) ends it without writing anything.
void ExportList(ExportSource& source, ExportUi& ui, QWidget* owner);

// Asks for the output file through `ui` and writes `table` as caret text, or
// as a workbook when `toWorkbook` (.xls, or .xlsx when that name or filter
// is chosen).  Shows "Data Exported Successfully." or a message naming the
// file and the reason of a failure.
void SaveExportFile(const ExportTable& table, bool toWorkbook, ExportUi& ui);

// Message texts and dialog settings, shared with the tests.
inline constexpr const char* kSaveDialogTitle = "Select Path and Name for Output File.";
inline constexpr const char* kTextFilter = "Text Delimited File(*.txt)";
inline constexpr const char* kXlsFilter = "Microsoft Excel File (*.xls)";
inline constexpr const char* kXlsxFilter = "Excel Workbook (*.xlsx)";
inline constexpr const char* kExportedMessage = "Data Exported Successfully.";
inline constexpr const char* kNoColumnsMessage = "No Columns Selected For Exporting.";

}  // namespace exporting
