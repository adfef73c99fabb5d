#include "path_lists.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace cli {

bool SplitPathList(const std::string& bytes, bool nul, std::vector<std::string>& out, std::string& error) {
    if (!nul && bytes.find('\0') != std::string::npos) {
        error = "holds a NUL byte; a list ended by NUL (find -print0) needs --null";
        return false;
    }
    const char end = nul ? '\0' : '\n';
    std::size_t start = 0;
    while (start < bytes.size()) {
        std::size_t stop = bytes.find(end, start);
        if (stop == std::string::npos) stop = bytes.size();
        std::string entry = bytes.substr(start, stop - start);
        if (!nul && !entry.empty() && entry.back() == '\r') entry.pop_back();
        if (!entry.empty()) out.push_back(std::move(entry));
        start = stop + 1;
    }
    return true;
}

bool ReadPathList(const std::string& name, bool nul, std::vector<std::string>& out, std::string& error) {
    const bool standardInput = name == "-";
    const int fd = standardInput ? STDIN_FILENO : ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }
    struct Closer {
        int fd;
        bool own;
        ~Closer() { if (own) ::close(fd); }
    } closer{fd, !standardInput};
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        error = "is a folder; --files-from takes a list of paths";
        return false;
    }
    std::string bytes;
    char buf[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) {
            error = std::string("cannot be read: ") + std::strerror(errno);
            return false;
        }
        if (got == 0) break;
        bytes.append(buf, static_cast<std::size_t>(got));
    }
    return SplitPathList(bytes, nul, out, error);
}

}  // namespace cli
