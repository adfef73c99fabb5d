#include "export/export_file.h"
#include "export/export_list.h"

#include <climits>
#include <filesystem>

namespace exporting {

namespace {

std::string CaretWarning(std::size_t rows) {
    const std::string which = rows == 1 ? "1 row to export holds a name" : std::to_string(rows) + " rows to export hold names";
    return which +
           " with a \"^\" or a line break. The caret-delimited text cannot keep them apart: read back, "
           "such a row gets extra fields or is split in two.\n\n"
           "Export to an Excel file instead, which keeps them intact?";
}

// The question the save dialog asks of a file it would replace.
std::string ReplaceQuestion(const std::string& path) {
    return std::filesystem::path(path).filename().string() + " already exists.\nDo you want to replace it?";
}

bool SomethingAt(const std::string& path) {
    std::error_code ec;
    return std::filesystem::symlink_status(path, ec).type() != std::filesystem::file_type::not_found && !ec;
}

}  // namespace

void SaveExportFile(const ExportTable& table, bool toWorkbook, ExportUi& ui, ExportChoices* remembered) {
    // The text format has no escaping and stays as scripts read it; names it
    // cannot carry are said before anything is written.
    if (!toWorkbook) {
        if (const std::size_t split = RowsCaretTextSplits(table); split > 0) {
            switch (ui.Ask(CaretWarning(split), true)) {
                case Answer::Yes: toWorkbook = true; break;
                case Answer::No: break;
                case Answer::Cancel: return;
            }
        }
    }

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
    std::string path;
    ExportKind kind = ExportKind::CaretText;
    for (;;) {
        const std::optional<SaveDialogAnswer> answer = ui.AskSavePath(request);
        if (!answer || answer->path.empty()) return;  // cancelled: nothing written, no message
        if (remembered && toWorkbook) remembered->xlsx = answer->filterIndex == 1;
        path = answer->path;
        if (!toWorkbook) break;
        // A name without a workbook ending gets the one of the chosen filter.
        // The dialog asked about the name as typed; a different file that
        // would be replaced is asked about here, and No goes back to the
        // dialog, as the dialog's own question does.
        path = WorkbookFileName(answer->path, answer->filterIndex == 1);
        kind = KindForName(path);
        if (path == answer->path || !SomethingAt(path) || ui.Ask(ReplaceQuestion(path), false) == Answer::Yes) break;
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
        // The folder is remembered only once a file was written there.
        if (remembered) {
            const std::size_t slash = path.rfind('/');
            if (slash != std::string::npos) remembered->folder = path.substr(0, slash == 0 ? 1 : slash);
        }
        ui.Written(path);
        ui.ShowMessage(kExportedMessage, toWorkbook ? MessageIcon::None : MessageIcon::Information);
    }
    ui.SetProgressValue(0);
}

}  // namespace exporting
