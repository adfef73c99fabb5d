// An export interrupted by SIGINT, SIGTERM or SIGHUP (Ctrl+C, kill, the
// session ending) removes its temporary file before the process ends; the
// file it was to replace is left as it was.
//
// Library: quillon_export_core (no Qt).
#pragma once

#include <string>

namespace exporting {

// Installs the handlers, once per process.  A signal the process ignores
// (as under nohup) stays ignored.  After the cleanup the signal takes its
// former course, so the process ends as it would have.
void RemoveTemporaryFilesOnSignals();

// A temporary file that a signal arriving while it exists removes.
class InterruptibleTemporary {
public:
    InterruptibleTemporary() = default;
    ~InterruptibleTemporary();
    InterruptibleTemporary(const InterruptibleTemporary&) = delete;
    InterruptibleTemporary& operator=(const InterruptibleTemporary&) = delete;

    // mkstemp on `pattern` (its "XXXXXX" replaced in place): the open
    // descriptor, or -1 with errno.  The name is marked from before the file
    // exists, so no moment leaves it behind.  A name too long for the fixed
    // slots, or more files at once than there are slots, is created unmarked.
    int Create(std::string& pattern);
    // The file is kept or gone: a signal no longer touches it.
    void Release();

private:
    int slot_ = -1;
};

}  // namespace exporting
