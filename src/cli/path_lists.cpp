#include "path_lists.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
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

namespace {

std::string WithSeparator(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

// The real path of a folder, or the name as given when it cannot be resolved.
std::string Resolved(const std::string& folder) {
    char* real = ::realpath(folder.c_str(), nullptr);
    if (!real) return folder;
    std::string out(real);
    std::free(real);
    return out;
}

}  // namespace

void FileIdentity::SetRoot(const std::string& root) {
    root_ = WithSeparator(root);
    resolved_ = WithSeparator(Resolved(root));
}

std::string FileIdentity::KeyOfFound(const std::string& path) const {
    if (path.compare(0, root_.size(), root_) != 0) return path;
    return resolved_ + path.substr(root_.size());
}

std::string FileIdentity::KeyOfFile(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    return WithSeparator(Resolved(folder)) + path.substr(slash == std::string::npos ? 0 : slash + 1);
}

bool SeenFiles::Add(std::string key, std::size_t index, std::size_t& first) {
    if (!keep_) return true;
    const auto [it, fresh] = first_.try_emplace(std::move(key), index);
    first = it->second;
    return fresh;
}

}  // namespace cli
