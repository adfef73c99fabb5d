// Writing an export table to a named file: caret text, Excel 97-2003
// workbook (.xls) or Excel workbook (.xlsx).
//
// Every file is written to a temporary file in the target's folder and renamed
// over the target only when complete, so a failure leaves neither a partial
// file nor a damaged earlier file behind.
//
// Library: quillon_export_core (no Qt).
#pragma once

#include "export/caret_text.h"
#include "export/export_table.h"

#include <string>
#include <string_view>

namespace exporting {

enum class ExportKind { CaretText, Xls, Xlsx };

// The kind a name asks for: ".xlsx" -> Xlsx, ".xls" -> Xls (any letter
// case), anything else caret text.  Used by quillon-count --export.
ExportKind KindForName(std::string_view path);

// Final name of a spreadsheet export of the confirmed name `confirmed`: the
// name itself when it ends in ".xls" or ".xlsx" (any case), else the name with
// ".xls" added (".xlsx" when `preferXlsx`).
std::string WorkbookFileName(const std::string& confirmed, bool preferXlsx = false);

// Outcome of a write.  On failure `path` is the file that could not be
// written and `reason` says why.
struct ExportResult {
    bool ok = true;
    std::string path;
    std::string reason;

    explicit operator bool() const { return ok; }
    // "Could not write the file <path>: <reason>" (empty when ok).
    std::string Message() const;
};

// Writes `table` to exactly `path` as `kind`.
ExportResult WriteExportFileAs(const ExportTable& table, const std::string& path, ExportKind kind,
                               const RowProgress& progress = {});

// Writes `table` to `path` in the kind the name asks for (KindForName).
ExportResult WriteExportFile(const ExportTable& table, const std::string& path,
                             const RowProgress& progress = {});

// Whether `kind` can be written here: the workbook kinds need their
// writers' library, loaded on first use.  False with the reason in `why`.
bool CanWrite(ExportKind kind, std::string& why);

// Largest rows per sheet (header row included) of each workbook kind; longer
// tables continue on further sheets, each starting with the header row.
inline constexpr std::size_t kXlsRowsPerSheet = 65536;
inline constexpr std::size_t kXlsxRowsPerSheet = 1048576;

}  // namespace exporting
