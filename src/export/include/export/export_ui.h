// What the export needs of the main window, kept free of Qt so that the
// export logic runs against a fake in tests.
//
// How the main window implements it (Qt):
//   AskSavePath  - the window's save dialog `dlg1`: a QFileDialog with
//                  AcceptSave, windowTitle = request.title, nameFilters =
//                  request.filters, selectFile(request.initialName) and no
//                  default suffix; the dialog asks before replacing a file.
//                  Returns the selected file and the index of the selected
//                  name filter, or nullopt when the user cancels.
//   Ask          - a modal QMessageBox with a warning icon, titled with the
//                  program's name, buttons Yes and No (and Cancel).
//   SetProgressMax / SetProgressValue - ProgressBar1->setMaximum / setValue.
//   SetBusy      - QGuiApplication::setOverrideCursor(Qt::WaitCursor) for
//                  true, restoreOverrideCursor() for false.
//   ShowMessage  - a modal QMessageBox titled with the program's name, an OK
//                  button and the icon asked for (NoIcon for None).
// Library: quillon_export_ui.
#pragma once

#include <component/message_icon.h>

#include <optional>
#include <string>
#include <vector>

namespace exporting {

using component::MessageIcon;
enum class Answer { Yes, No, Cancel };

struct SaveDialogRequest {
    std::string title;                 // "Select Path and Name for Output File."
    std::vector<std::string> filters;  // Qt name filters, e.g. "Microsoft Excel File (*.xls)"
    std::string initialName;           // "*.txt" or "*.xls"
    std::string folder;                // where the dialog opens; empty: its own choice
    int filterIndex = 0;               // the filter chosen when it opens
};

struct SaveDialogAnswer {
    std::string path;     // the confirmed full path (UTF-8)
    int filterIndex = 0;  // index into SaveDialogRequest::filters
};

class ExportUi {
public:
    virtual ~ExportUi() = default;
    // The save dialog `dlg1`; nullopt when cancelled.
    virtual std::optional<SaveDialogAnswer> AskSavePath(const SaveDialogRequest& request) = 0;
    // ProgressBar1.
    virtual void SetProgressMax(int maximum) = 0;
    virtual void SetProgressValue(int value) = 0;
    // The busy (hourglass) pointer over the whole program, or the normal one.
    virtual void SetBusy(bool busy) = 0;
    // A modal message box titled with the program's name, OK button only;
    // returns when the user has closed it.
    virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;
    // A modal question with a warning icon, titled with the program's name:
    // Yes and No, and Cancel when `withCancel`.
    virtual Answer Ask(const std::string& text, bool withCancel) = 0;
    // The export was written to `path`: only now is its folder worth
    // returning to (a folder where writing failed may be one that hangs).
    virtual void Written(const std::string& path) { (void)path; }
};

}  // namespace exporting
