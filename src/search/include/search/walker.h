// The folder walker TotalFiles and its filters.
#pragma once

#include <search/calendar_date.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace search {

// What the walker asks of its caller while it runs (all from the walking
// thread).  Criteria are read at the moment of use.
class WalkControl {
public:
    virtual ~WalkControl() = default;
    virtual bool StopRequested() = 0;
    virtual bool IncludeSubfolders() = 0;
    virtual int DateField() = 0;
    virtual CalendarDate From() = 0;
    virtual CalendarDate To() = 0;
    // A file was accepted.
    virtual void Accepted(std::string fullPath) = 0;
    // A candidate file was examined (accepted or not); fileCount is the total so far.
    virtual void FileExamined(std::int64_t fileCount) = 0;
    // About to walk a subfolder; text is the proper-cased path and separator.
    virtual void EnteringFolder(const std::string& text) = 0;
    // A folder (path ending in the separator) that could not be opened or
    // listed, or a candidate file that could not be examined, with the
    // system's error number.  Its files are missing from the walk, which goes
    // on.  Paths that vanish during the walk are not reported.
    virtual void Unsearched(const std::string& path, bool folder, int errorNumber) = 0;
    // A candidate file whose chosen date the file system does not record
    // (creation dates on many network and older file systems): it lies
    // outside every window, and this says so.
    virtual void Undated(const std::string& path) = 0;
    // A candidate file whose chosen date lies outside the date window: it is
    // left out, and a total that bills by pages must be able to say so.
    virtual void OutsideDateWindow(const std::string& path) { (void)path; }
};

// The answer of a date lookup.
struct FileDateAnswer {
    enum class Status { Known, NotRecorded, Unreadable };
    Status status = Status::Unreadable;
    CalendarDate date;
    int error = 0;  // errno when Unreadable
};

// Where the walker reads files' dates: the file system, or a test's fake.
class DateSource {
public:
    virtual ~DateSource() = default;
    // The date `field` selects for the file `name` in the folder dirFd
    // (symbolic links followed).
    virtual FileDateAnswer Date(int dirFd, const char* name, int field) const = 0;
};

// The file system's own dates.
const DateSource& SystemDates();

struct WalkResult {
    std::int64_t fileCount = 0;
    bool stopped = false;
    // An unexpected failure (not a folder that cannot be listed) ended the
    // walk early.
    bool failed = false;
    std::string failedFolder;
    int errorNumber = 0;
    std::string errorText;
};

// Pattern list from the kind flags: "*.tif" and/or "*.pdf"; TIFF alone gives
// "*.tif" and an empty entry.
std::vector<std::string> BuildPatterns(bool tif, bool pdf);
// A name matches "*.ext" when its last extension equals or begins with ext,
// ignoring case.  An empty pattern matches nothing.
bool MatchesPattern(std::string_view name, std::string_view pattern);
std::string TrimAtNul(std::string_view text);
// First letter of every blank-separated word upper case, the rest lower case
// (ASCII letters only, so UTF-8 names stay intact).
std::string ProperCase(std::string_view text);
// "HH:MM:SS", hours 00..23.
std::string FormatElapsed(std::chrono::seconds elapsed);
// Local calendar date of a time in seconds since the epoch.
CalendarDate LocalDateOf(std::int64_t secondsSinceEpoch);
// Whether date lies between the bounds, both inclusive, in either order.
bool DateInWindow(CalendarDate date, CalendarDate from, CalendarDate to);
// The date the field selects, for the file at path (symbolic links followed);
// nothing when the file is gone or the file system does not record that date.
std::optional<CalendarDate> FileDate(int dirFd, const char* path, int dateField);
// CheckFileDate: whether the file's chosen date lies in the window.  False
// when field is 0, the file is gone or its date is unknown.
bool CheckFileDate(int dirFd, const char* path, int dateField, CalendarDate from, CalendarDate to);

// Why the search folder (text as typed) cannot be searched at all: it is
// empty, does not exist or is not a folder.  Empty when it is a folder, or
// when the walk itself must find out (a folder it may not read).
std::string SearchFolderProblem(const std::string& folder);

// TotalFiles over the folder (text as typed; a missing trailing separator is
// added).  Blocks until the walk ends.
WalkResult TotalFiles(const std::string& folder, const std::vector<std::string>& patterns,
                      WalkControl& control, const DateSource& dates = SystemDates());

}  // namespace search
