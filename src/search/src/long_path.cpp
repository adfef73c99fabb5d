#include <search/long_path.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace search {

namespace {

bool TooLong(const std::string& path) { return path.size() >= PATH_MAX; }

}  // namespace

int OpenFolder(int dirFd, const std::string& path, int flags) {
    flags |= O_DIRECTORY;
    if (!TooLong(path)) return openat(dirFd, path.c_str(), flags);
    // One component at a time, each relative to the previous folder.  Only
    // the last step takes the caller's flags (O_NOFOLLOW applies to it alone,
    // as it would for the whole path).
    std::size_t at = 0;
    int current = dirFd;
    if (path[0] == '/') {
        current = open("/", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (current < 0) return -1;
        at = 1;
    }
    for (;;) {
        while (at < path.size() && path[at] == '/') ++at;
        std::size_t end = path.find('/', at);
        if (end == std::string::npos) end = path.size();
        std::size_t next = end;
        while (next < path.size() && path[next] == '/') ++next;
        const bool last = next >= path.size();
        const std::string part = at < end ? path.substr(at, end - at) : std::string(".");
        const int fd = openat(current, part.c_str(), last ? flags : (O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        const int e = errno;
        if (current != dirFd) close(current);
        if (fd < 0 || last) {
            errno = e;
            return fd;
        }
        current = fd;
        at = next;
    }
}

ReachablePath::ReachablePath(const std::string& path) {
    if (!TooLong(path)) {
        path_ = path;
        return;
    }
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    folder_ = OpenFolder(AT_FDCWD, folder, O_RDONLY | O_CLOEXEC);
    if (folder_ < 0) {
        error_ = errno;
        return;
    }
    // The kernel follows /proc/self/fd/N to the open folder itself, whatever
    // the length of its real path.  Without /proc the file cannot be named
    // in a form its counter can open.
    const std::string through = "/proc/self/fd/" + std::to_string(folder_);
    struct stat st {};
    if (stat(through.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        error_ = ENAMETOOLONG;
        close(folder_);
        folder_ = -1;
        return;
    }
    path_ = through + "/" + name;
}

ReachablePath::~ReachablePath() {
    if (folder_ >= 0) close(folder_);
}

}  // namespace search
