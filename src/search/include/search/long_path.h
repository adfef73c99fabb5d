// Paths longer than the system's limit for a whole path (PATH_MAX) cannot be
// given to open() in one piece, yet every folder on the way opens relative to
// its parent.  These helpers open such paths part by part, and give a page
// counter (which takes a path) a short name for the file that resolves
// through an open descriptor of its folder.
#pragma once

#include <string>

struct stat;

namespace search {

// Opens the folder at path relative to dirFd (flags as for openat; O_DIRECTORY
// is added), part by part when the path is too long for one call.  Returns the
// descriptor, or -1 with errno set.
int OpenFolder(int dirFd, const std::string& path, int flags);

// A file's path in a form that can be opened.
class ReachablePath {
public:
    explicit ReachablePath(const std::string& path);
    ~ReachablePath();
    ReachablePath(const ReachablePath&) = delete;
    ReachablePath& operator=(const ReachablePath&) = delete;

    // The path itself when it fits; else "/proc/self/fd/N/name" through the
    // open folder (Linux).  Empty when the file cannot be reached either way;
    // Error() then holds the errno.
    const std::string& Path() const { return path_; }
    int Error() const { return error_; }

private:
    int folder_ = -1;
    std::string path_;
    int error_ = 0;
};

}  // namespace search
