#include "export/export_file.h"
#include "export/export_list.h"

#include <climits>

namespace exporting {

void SaveExportFile(const ExportTable& table, bool toWorkbook, ExportUi& ui, ExportChoices* remembered) {
    SaveDialogRequest request;
    request.title = kSaveDialogTitle;
    if (toWorkbook) {
        request.filters = {kXlsFilter, kXlsxFilter};
        request.initialName = "*.xls";
    } else {
        request.filters = {kTextFilter};
        request.initialName = "*.txt";
    }
    if (remembered) {
        request.folder = remembered->folder;
        if (toWorkbook && remembered->xlsx) request.filterIndex = 1;
    }
    const std::optional<SaveDialogAnswer> answer = ui.AskSavePath(request);
    if (!answer || answer->path.empty()) return;  // cancelled: nothing written, no message
    if (remembered) {
        const std::size_t slash = answer->path.rfind('/');
        if (slash != std::string::npos) remembered->folder = answer->path.substr(0, slash == 0 ? 1 : slash);
        if (toWorkbook) remembered->xlsx = answer->filterIndex == 1;
    }

    std::string path = answer->path;
    ExportKind kind = ExportKind::CaretText;
    if (toWorkbook) {
        // A name without a workbook ending gets the one of the chosen filter.
        path = WorkbookFileName(answer->path, answer->filterIndex == 1);
        kind = KindForName(path);
    }

    const std::size_t rows = table.Rows();
    const int maximum = rows > static_cast<std::size_t>(INT_MAX - 100) ? INT_MAX : static_cast<int>(rows) + 100;
    ui.SetProgressMax(maximum);
    ui.SetProgressValue(0);
    auto progress = [&ui, maximum](std::size_t written) {
        const std::size_t value = 100 + written;
        ui.SetProgressValue(value > static_cast<std::size_t>(maximum) ? maximum : static_cast<int>(value));
    };

    if (toWorkbook) ui.SetBusy(true);
    const ExportResult result = WriteExportFileAs(table, path, kind, progress);
    if (toWorkbook) ui.SetBusy(false);

    if (!result) {
        ui.ShowMessage(result.Message(), MessageIcon::Critical);
    } else {
        ui.ShowMessage(kExportedMessage, toWorkbook ? MessageIcon::None : MessageIcon::Information);
    }
    ui.SetProgressValue(0);
}

}  // namespace exporting
