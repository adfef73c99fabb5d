#include "temp_dir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <utility>

namespace fixtures {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quillon-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

// Removes everything below the open folder, giving back permissions a test
// took away.  Works through descriptors, so trees deeper than the path limit
// go too.
static void RemoveBelow(int fd) {
    DIR* dir = fdopendir(fd);
    if (!dir) {
        close(fd);
        return;
    }
    std::vector<std::pair<std::string, bool>> entries;
    while (const dirent* de = readdir(dir)) {
        const std::string name = de->d_name;
        if (name == "." || name == "..") continue;
        struct stat st {};
        const bool folder = fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode);
        entries.emplace_back(name, folder);
    }
    for (const auto& [name, folder] : entries) {
        if (folder) {
            // A folder that stays closed is reported by the removal below.
            if (fchmodat(dirfd(dir), name.c_str(), 0755, 0) != 0) {}
            const int sub = openat(dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub >= 0) RemoveBelow(sub);
        }
        unlinkat(dirfd(dir), name.c_str(), folder ? AT_REMOVEDIR : 0);
    }
    closedir(dir);
}

TempDir::~TempDir() {
    chmod(path_.c_str(), 0755);
    const int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) RemoveBelow(fd);
    rmdir(path_.c_str());
}

std::string TempDir::Write(const std::string& name, const std::string& bytes) const {
    const std::string file = *this / name;
    std::ofstream(file, std::ios::binary) << bytes;
    return file;
}

std::vector<std::string> TempDir::Names() const {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(path_)) names.push_back(e.path().filename().string());
    return names;
}

}  // namespace fixtures
