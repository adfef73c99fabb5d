#include "export/export_file.h"
#include "export/interrupt_cleanup.h"

#include "workbook_module.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace exporting {
namespace {

bool EndsWithNoCase(std::string_view s, std::string_view suffix) {
    if (s.size() < suffix.size()) return false;
    s = s.substr(s.size() - suffix.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        char a = s[i];
        if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
        if (a != suffix[i]) return false;
    }
    return true;
}

ExportResult Failure(const std::string& path, std::string reason) {
    return ExportResult{false, path, std::move(reason)};
}

std::string ErrnoText(int e) { return std::strerror(e); }

std::string LoadedXls(const ExportTable& table, std::FILE* file, const RowProgress& progress) {
    std::string why;
    const WorkbookWriters* writers = LoadWorkbookWriters(why);
    return writers ? writers->writeXls(table, file, progress) : why;
}

std::string LoadedXlsx(const ExportTable& table, const std::string& path, const RowProgress& progress) {
    std::string why;
    const WorkbookWriters* writers = LoadWorkbookWriters(why);
    return writers ? writers->writeXlsx(table, path, progress) : why;
}

// The process's umask, read without changing it (other threads may be
// creating files meanwhile); the set-and-restore fallback is for kernels
// without the Umask line.
mode_t CurrentUmask() {
    if (std::FILE* f = std::fopen("/proc/self/status", "r")) {
        char line[256];
        unsigned mask = 0;
        bool found = false;
        while (!found && std::fgets(line, sizeof line, f)) found = std::sscanf(line, "Umask: %o", &mask) == 1;
        std::fclose(f);
        if (found) return static_cast<mode_t>(mask);
    }
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

// The mode the finished file gets: that of the file it replaces, else the
// usual mode of a new file (0666 less the umask).
mode_t TargetMode(const std::string& path) {
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return st.st_mode & 07777;
    return 0666 & ~CurrentUmask();
}

// A temporary file beside the target, removed unless Keep() was called; a
// signal that ends the process meanwhile removes it too.
class TempFile {
public:
    // Creates the file from the mkstemp pattern; Fd() < 0 on failure.
    explicit TempFile(std::string pattern) : path_(std::move(pattern)) { fd_ = marker_.Create(path_); }
    ~TempFile() {
        if (fd_ >= 0 && !kept_) ::unlink(path_.c_str());
    }
    void Keep() {
        kept_ = true;
        marker_.Release();
    }
    int Fd() const { return fd_; }
    const std::string& Path() const { return path_; }

private:
    std::string path_;
    InterruptibleTemporary marker_;
    int fd_ = -1;
    bool kept_ = false;
};

bool SyncPath(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// Writes the table into the open `file` (left open) or, for .xlsx, to
// `path` by name; returns the reason of a failure.
std::string WriteKind(const ExportTable& table, std::FILE* file, const std::string& path, ExportKind kind,
                      const RowProgress& progress) {
    switch (kind) {
        case ExportKind::CaretText:
            return WriteCaretText(table, file, progress) ? std::string() : ErrnoText(errno);
        case ExportKind::Xls:
            return LoadedXls(table, file, progress);
        case ExportKind::Xlsx:
            return LoadedXlsx(table, path, progress);
    }
    return "unknown export kind";
}

// Flushes, syncs and closes `file`; keeps the first failure in `reason`.
void Finish(std::FILE* file, bool sync, std::string& reason) {
    // A full disk may only show when the last buffer reaches it.
    if (std::fflush(file) != 0 && reason.empty()) reason = ErrnoText(errno);
    if (sync && ::fsync(::fileno(file)) != 0 && reason.empty()) reason = ErrnoText(errno);
    if (std::fclose(file) != 0 && reason.empty()) reason = ErrnoText(errno);
}

// A device or pipe named by the user (/dev/stdout, a FIFO) is written in
// place: it cannot be replaced by renaming, and must not be.
ExportResult WriteInPlace(const ExportTable& table, const std::string& shown, const std::string& target,
                          ExportKind kind, const RowProgress& progress) {
    std::string reason;
    if (kind == ExportKind::Xlsx) {
        reason = LoadedXlsx(table, target, progress);
    } else {
        std::FILE* file = std::fopen(target.c_str(), "wb");
        if (!file) return Failure(shown, ErrnoText(errno));
        reason = WriteKind(table, file, target, kind, progress);
        Finish(file, false, reason);
    }
    if (!reason.empty()) return Failure(shown, reason);
    return {};
}

ExportResult WriteThroughTemp(const ExportTable& table, const std::string& path, ExportKind kind,
                              const RowProgress& progress) {
    if (path.empty()) return Failure(path, "no file name was given");
    // A symbolic link stays a link: the file it points to is replaced.
    std::string target = path;
    struct stat st{};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    if (::stat(target.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return Failure(path, "it is a folder");
        if (!S_ISREG(st.st_mode)) return WriteInPlace(table, path, target, kind, progress);
    }

    const std::size_t slash = target.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    if (base.empty()) return Failure(path, "the name names no file");
    // The temporary name must itself be a legal name: keep it short.
    if (base.size() > 200) base.resize(200);
    std::string pattern = dir + "/." + base + ".XXXXXX";

    TempFile temp(pattern);
    const int fd = temp.Fd();
    if (fd < 0) return Failure(path, ErrnoText(errno));
    ::fchmod(fd, TargetMode(target));

    std::FILE* file = ::fdopen(fd, "wb");
    if (!file) {
        const int e = errno;
        ::close(fd);
        return Failure(path, ErrnoText(e));
    }

    std::string reason;
    if (kind == ExportKind::Xlsx) {
        // libxlsxwriter opens the file by name itself.
        std::fclose(file);
        reason = WriteKind(table, nullptr, temp.Path(), kind, progress);
        if (reason.empty() && !SyncPath(temp.Path())) reason = ErrnoText(errno);
    } else {
        reason = WriteKind(table, file, temp.Path(), kind, progress);
        Finish(file, true, reason);
    }
    if (!reason.empty()) return Failure(path, reason);

    if (::rename(temp.Path().c_str(), target.c_str()) != 0) return Failure(path, ErrnoText(errno));
    temp.Keep();
    return {};
}

}  // namespace

std::string ExportResult::Message() const {
    if (ok) return {};
    return "Could not write the file \"" + path + "\": " + reason;
}

ExportKind KindForName(std::string_view path) {
    if (EndsWithNoCase(path, ".xlsx")) return ExportKind::Xlsx;
    if (EndsWithNoCase(path, ".xls")) return ExportKind::Xls;
    return ExportKind::CaretText;
}

std::string WorkbookFileName(const std::string& confirmed, bool preferXlsx) {
    if (EndsWithNoCase(confirmed, ".xls") || EndsWithNoCase(confirmed, ".xlsx")) return confirmed;
    return confirmed + (preferXlsx ? ".xlsx" : ".xls");
}

ExportResult WriteExportFileAs(const ExportTable& table, const std::string& path, ExportKind kind,
                               const RowProgress& progress) {
    try {
        return WriteThroughTemp(table, path, kind, progress);
    } catch (const std::bad_alloc&) {
        return Failure(path, "there is not enough memory");
    } catch (const std::exception& e) {
        return Failure(path, e.what());
    }
}

bool CanWrite(ExportKind kind, std::string& why) {
    why.clear();
    return kind == ExportKind::CaretText || LoadWorkbookWriters(why) != nullptr;
}

ExportResult WriteExportFile(const ExportTable& table, const std::string& path, const RowProgress& progress) {
    return WriteExportFileAs(table, path, KindForName(path), progress);
}

}  // namespace exporting
