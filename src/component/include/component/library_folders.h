// Where the program's own libraries lie (the page counters, the workbook
// writers): beside the executable in a build tree, else in the program's
// library folder of an install, found relative to the executable, so that a
// moved or staged install works and nothing names the build machine.
#pragma once

#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#ifndef QUILLON_COMPONENTS_FROM_BINDIR
#error "QUILLON_COMPONENTS_FROM_BINDIR must give the library folder relative to the executable's"
#endif

namespace component {

// The folder of the running executable; empty when it cannot be told.
inline std::string ExecutableDir() {
    std::vector<char> buf(PATH_MAX + 1);
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size() - 1);
    if (n <= 0) return {};
    std::string exe(buf.data(), static_cast<std::size_t>(n));
    const auto slash = exe.rfind('/');
    return slash == std::string::npos ? std::string{} : exe.substr(0, slash);
}

// The paths a library file of the program is looked for at, in order.
inline std::vector<std::string> LibraryCandidates(const std::string& file) {
    const std::string exeDir = ExecutableDir();
    if (exeDir.empty()) return {};
    return {exeDir + "/" + file, exeDir + "/" QUILLON_COMPONENTS_FROM_BINDIR "/" + file};
}

// Loads the library at path, kept loaded since code of it may run at any
// time; null when it is not there or does not load, with the reason added to
// `reasons` ("; " between reasons).
inline void* OpenLibrary(const std::string& path, std::string& reasons) {
    const auto add = [&reasons](const std::string& why) { reasons += (reasons.empty() ? "" : "; ") + why; };
    // Asked with the ids the loading itself will use.
    if (faccessat(AT_FDCWD, path.c_str(), F_OK, AT_EACCESS) != 0) {
        // A folder on the way closed to this user is no missing file.
        const int error = errno;
        add(path + (error == ENOENT || error == ENOTDIR ? std::string(" not found")
                                                        : ": " + std::string(std::strerror(error))));
        return nullptr;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* error = dlerror();
        add(error ? std::string(error) : path + " cannot be loaded");
    }
    return handle;
}

}  // namespace component
