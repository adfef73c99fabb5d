// What the search session needs of the main window.
//
// How a window implements it:
//  - Keep one CriteriaHolder and update it from the controls as they change
//    (txtSearchPath, chkSearchOption(0/1), chkRecursive, cboDateFields,
//    dtpFrom, dtpTo).  The walker runs on a worker thread and reads the holder
//    at the moment of use, so a change applies to the next file or folder.
//  - Implement SearchView.  Post() is the only method called from another
//    thread: queue the task onto the window's thread, e.g.
//      QMetaObject::invokeMethod(this, std::move(task), Qt::QueuedConnection);
//    and drop it if the window is gone.  Every other method is called on the
//    window's thread only (directly from a session call, or from a posted task).
//  - ShowMessage() is modal: it returns when the user has closed the box.  The
//    worker waits for it, so no further rows arrive while a box is open.
//  - AppendRows() receives rows in found order, in batches; append them at the
//    end of the list (one beginInsertRows per batch).
//  - Forward the user's actions to SearchSession: cmdControl(i) / SSearch /
//    SStop / the export menu item -> SearchCommand(i); chkSearchOption(i)
//    click -> SearchOptionClick(i); cboDateFields click -> DateFieldClick().
// Tests implement the interface with a fake that records what it is told.
#pragma once

#include <component/message_icon.h>
#include <search/calendar_date.h>
#include <search/result_row.h>

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace search {

struct SearchCriteria {
    std::string folder;              // txtSearchPath, as typed
    bool tif = false;                // chkSearchOption(0)
    bool pdf = false;                // chkSearchOption(1)
    bool includeSubfolders = false;  // chkRecursive
    int dateField = kDateNone;       // cboDateFields index 0..3
    CalendarDate from;               // dtpFrom
    CalendarDate to;                 // dtpTo
};

// Thread-safe copy of the criteria controls.  The window writes, the walker
// (worker thread) reads.
class CriteriaHolder {
public:
    SearchCriteria Get() const { std::lock_guard lock(mutex_); return c_; }
    void Set(const SearchCriteria& c) { std::lock_guard lock(mutex_); c_ = c; }

    void SetFolder(std::string folder) { std::lock_guard lock(mutex_); c_.folder = std::move(folder); }
    void SetTif(bool on) { std::lock_guard lock(mutex_); c_.tif = on; }
    void SetPdf(bool on) { std::lock_guard lock(mutex_); c_.pdf = on; }
    void SetIncludeSubfolders(bool on) { std::lock_guard lock(mutex_); c_.includeSubfolders = on; }
    void SetDateField(int index) { std::lock_guard lock(mutex_); c_.dateField = index; }
    void SetFrom(CalendarDate d) { std::lock_guard lock(mutex_); c_.from = d; }
    void SetTo(CalendarDate d) { std::lock_guard lock(mutex_); c_.to = d; }

    std::string Folder() const { std::lock_guard lock(mutex_); return c_.folder; }
    bool Tif() const { std::lock_guard lock(mutex_); return c_.tif; }
    bool Pdf() const { std::lock_guard lock(mutex_); return c_.pdf; }
    bool IncludeSubfolders() const { std::lock_guard lock(mutex_); return c_.includeSubfolders; }
    int DateField() const { std::lock_guard lock(mutex_); return c_.dateField; }
    CalendarDate From() const { std::lock_guard lock(mutex_); return c_.from; }
    CalendarDate To() const { std::lock_guard lock(mutex_); return c_.to; }

private:
    mutable std::mutex mutex_;
    SearchCriteria c_;
};

// Controls whose enabled state the session sets.
enum class Control {
    cmdStart,      // cmdControl(0)
    cmdStop,       // cmdControl(1)
    cmdExport,     // cmdControl(2)
    SSearch,       // menu "&Start Search"
    SStop,         // menu "St&op "
    mnuOPen,       // result actions, enabled together by EnableResultActions
    Cont,
    Delete1,
    SelectAll,
    Export,
    chkSelectall,
    cmdClear,
    dtpFrom,
    dtpTo,
};

enum class Caption { lblFileName, lblTotalFiles, lblSearchTime, lblTotalPages };

using component::MessageIcon;

class SearchView {
public:
    virtual ~SearchView() = default;

    // Any thread: run task on the window's thread, later, in posting order.
    virtual void Post(std::function<void()> task) = 0;

    // Window thread only, from here on.
    virtual void SetEnabled(Control control, bool enabled) = 0;
    virtual void SetCaption(Caption label, const std::string& text) = 0;
    // Place lblTotalPages right-aligned in fraSearchResult: left = frame
    // width - (label width + 100 twips), top = top of lblSearchTime.
    virtual void PlaceTotalPagesLabel() = 0;
    // Select an item of cboDateFields (0 "None" .. 3 "Accessed").
    virtual void SelectDateField(int index) = 0;
    virtual void SetProgressMax(std::int64_t max) = 0;
    virtual void SetProgressValue(std::int64_t value) = 0;

    // lvwSearchResult.
    virtual void ClearRows() = 0;
    virtual void AppendRows(std::vector<ResultRow>&& rows) = 0;
    virtual std::size_t RowCount() const = 0;

    // Modal box titled with the program's name, OK button; returns when closed.
    virtual void ShowMessage(const std::string& text, MessageIcon icon) = 0;

    // Search command 2: hand over to the export dialog.
    virtual void RunExport() = 0;

    // Called once when a search (or a row rebuild) has fully ended.
    virtual void SearchFinished() {}
};

}  // namespace search
