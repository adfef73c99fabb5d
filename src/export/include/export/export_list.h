// The export command and the writer stage behind it.
//
// Library: quillon_export_ui (links Qt Widgets for the dialog).
#pragma once

#include "export/export_table.h"
#include "export/export_ui.h"

#include <string>
#include <vector>

class QWidget;

namespace exporting {

// What the export remembers between exports, and the program between runs:
// the fields cleared, the kind, the workbook format and the last folder.
struct ExportChoices {
    std::vector<std::string> clearedFields;  // header texts left unchecked
    bool toWorkbook = false;
    bool xlsx = false;                       // the .xlsx filter was chosen
    std::string folder;                      // of the last file written
};

// The export command: shows DlgChooseExport over `owner` (its icon is
// copied, the dialog is centred on it), builds the table from the checked
// fields and the chosen rows of `source`, and hands it to SaveExportFile.
// Cancel (or closing the dialog) ends it without writing anything.
// With `remembered`, the dialog starts from those choices (the design
// state when none is set) and an export that goes ahead updates them.
void ExportList(ExportSource& source, ExportUi& ui, QWidget* owner, ExportChoices* remembered = nullptr);

// Asks for the output file through `ui` and writes `table` as caret text, or
// as a workbook when `toWorkbook` (.xls, or .xlsx when that name or filter
// is chosen).  Shows "Data Exported Successfully." or a message naming the
// file and the reason of a failure.
// With `remembered`, the save dialog opens in its folder with its workbook
// filter, and a confirmed name updates them.
void SaveExportFile(const ExportTable& table, bool toWorkbook, ExportUi& ui, ExportChoices* remembered = nullptr);

// Message texts and dialog settings, shared with the tests.
inline constexpr const char* kSaveDialogTitle = "Select Path and Name for Output File.";
inline constexpr const char* kTextFilter = "Text Delimited File(*.txt)";
inline constexpr const char* kXlsFilter = "Microsoft Excel File (*.xls)";
inline constexpr const char* kXlsxFilter = "Excel Workbook (*.xlsx)";
inline constexpr const char* kExportedMessage = "Data Exported Successfully.";
inline constexpr const char* kNoColumnsMessage = "No Columns Selected For Exporting.";

}  // namespace exporting
