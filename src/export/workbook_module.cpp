// The workbook writers' library: one entry point hands out both writers.
#include "workbook_module.h"
#include "workbook_writers.h"

extern "C" __attribute__((visibility("default"))) const exporting::WorkbookWriters* QuillonWorkbookWriters(
    int version) {
    static const exporting::WorkbookWriters writers{exporting::kWorkbookWritersVersion, &exporting::WriteXls,
                                                    &exporting::WriteXlsx};
    return version == exporting::kWorkbookWritersVersion ? &writers : nullptr;
}
