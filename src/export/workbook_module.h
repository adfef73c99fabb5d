// The workbook writers live in a library of their own, loaded the first
// time a workbook is written: the libraries they stand on (libgsf with GLib,
// libxml2 and ICU, libxlsxwriter) would otherwise be loaded and bound at
// every start of every program that can export, a few milliseconds each
// time, for the few runs that write a workbook.
#pragma once

#include "export/caret_text.h"
#include "export/export_table.h"

#include <cstdio>
#include <string>

namespace exporting {

// What the library hands out; the version changes with this layout.
struct WorkbookWriters {
    int version;
    std::string (*writeXls)(const ExportTable& table, std::FILE* file, const RowProgress& progress);
    std::string (*writeXlsx)(const ExportTable& table, const std::string& path, const RowProgress& progress);
};
inline constexpr int kWorkbookWritersVersion = 1;
inline constexpr const char* kWorkbookLibrary = "libQuillonWorkbooks.so";
// extern "C" const WorkbookWriters* QuillonWorkbookWriters(int version):
// the writers for that version of the layout, or null.
inline constexpr const char* kWorkbookEntry = "QuillonWorkbookWriters";
using WorkbookEntryFn = const WorkbookWriters* (*)(int version);

// The writers, loaded once for the process; null when the library cannot be
// found or loaded, with the reason in `why`.
const WorkbookWriters* LoadWorkbookWriters(std::string& why);

}  // namespace exporting
