#include <search/walker.h>

#include <search/long_path.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>
#include <dirent.h>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace search {

std::vector<std::string> BuildPatterns(bool tif, bool pdf) {
    std::string text = tif ? "*.tif" : "";
    if (!text.empty()) text += ",";
    if (pdf) text += "*.pdf";
    std::vector<std::string> out;
    if (text.empty()) return out;
    std::size_t start = 0;
    for (;;) {
        const auto comma = text.find(',', start);
        out.push_back(text.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return out;
}

static char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
static char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool MatchesPattern(std::string_view name, std::string_view pattern) {
    if (pattern.size() < 3 || pattern[0] != '*' || pattern[1] != '.') return false;
    const std::string_view want = pattern.substr(2);
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) return false;
    const std::string_view ext = name.substr(dot + 1);
    if (ext.size() < want.size()) return false;
    for (std::size_t i = 0; i < want.size(); ++i)
        if (Lower(ext[i]) != Lower(want[i])) return false;
    return true;
}

std::string TrimAtNul(std::string_view text) {
    const auto nul = text.find('\0');
    return std::string(nul == std::string_view::npos ? text : text.substr(0, nul));
}

std::string ProperCase(std::string_view text) {
    std::string out(text);
    bool wordStart = true;
    for (char& c : out) {
        if (c == ' ') {
            wordStart = true;
            continue;
        }
        c = wordStart ? Upper(c) : Lower(c);
        wordStart = false;
    }
    return out;
}

std::string FormatElapsed(std::chrono::seconds elapsed) {
    long long s = elapsed.count();
    if (s < 0) s = 0;
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", (s / 3600) % 24, (s / 60) % 60, s % 60);
    return buf;
}

CalendarDate LocalDateOf(std::int64_t secondsSinceEpoch) {
    const std::time_t t = static_cast<std::time_t>(secondsSinceEpoch);
    std::tm tm{};
    localtime_r(&t, &tm);
    return CalendarDate{tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday};
}

bool DateInWindow(CalendarDate date, CalendarDate from, CalendarDate to) {
    if (from > to) std::swap(from, to);
    return from <= date && date <= to;
}

namespace {

class StatxDates final : public DateSource {
public:
    FileDateAnswer Date(int dirFd, const char* name, int field) const override {
        FileDateAnswer a;
        struct statx sx {};
        const unsigned mask = field == kDateModified ? STATX_MTIME
                              : field == kDateCreated ? STATX_BTIME
                              : field == kDateAccessed ? STATX_ATIME : 0;
        if (mask == 0) {
            a.error = EINVAL;
            return a;
        }
        if (statx(dirFd, name, AT_STATX_SYNC_AS_STAT, mask, &sx) != 0) {
            a.error = errno;
            return a;
        }
        if ((sx.stx_mask & mask) == 0) {  // not recorded by this file system
            a.status = FileDateAnswer::Status::NotRecorded;
            return a;
        }
        const auto& ts = field == kDateModified ? sx.stx_mtime : field == kDateCreated ? sx.stx_btime : sx.stx_atime;
        a.status = FileDateAnswer::Status::Known;
        a.date = LocalDateOf(ts.tv_sec);
        return a;
    }
};

}  // namespace

const DateSource& SystemDates() {
    static const StatxDates dates;
    return dates;
}

std::optional<CalendarDate> FileDate(int dirFd, const char* path, int dateField) {
    const FileDateAnswer a = SystemDates().Date(dirFd, path, dateField);
    if (a.status != FileDateAnswer::Status::Known) return std::nullopt;
    return a.date;
}

bool CheckFileDate(int dirFd, const char* path, int dateField, CalendarDate from, CalendarDate to) {
    if (dateField <= kDateNone) return false;
    const auto date = FileDate(dirFd, path, dateField);
    return date && DateInWindow(*date, from, to);
}

namespace {

// Opening folders relative to their parent is cheapest; below this depth the
// parent's handle is let go and folders are opened by full path, so a deep
// tree cannot run out of file handles.
constexpr int kMaxHeldDepth = 96;

struct Entry {
    std::string name;
    unsigned char type;
};

// A folder or file that disappeared (or became something else) after its
// parent was listed: nothing to report.  ELOOP is a folder replaced by a
// link, which is not walked anyway.
bool Vanished(int e) { return e == ENOENT || e == ENOTDIR || e == ELOOP; }

class Walk {
public:
    Walk(const std::vector<std::string>& patterns, WalkControl& control, const DateSource& dates)
        : patterns_(patterns), c_(control), dates_(dates) {}

    void Folder(int parentFd, const std::string& openName, std::string path, int depth) {
        if (c_.StopRequested()) return;
        if (path.empty() || path.back() != '/') path += '/';
        current_ = path;

        int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
        if (depth > 0) flags |= O_NOFOLLOW;  // folders reached through links are not walked
        const int fd = OpenFolder(parentFd, openName, flags);
        if (fd < 0) {
            // A missing search folder finds nothing, as a vanished subfolder
            // does; anything else leaves files unsearched and is told.
            if (!Vanished(errno)) c_.Unsearched(path, true, errno);
            return;
        }
        DIR* dir = fdopendir(fd);
        if (!dir) {
            const int e = errno;
            close(fd);
            c_.Unsearched(path, true, e);
            return;
        }
        struct DirCloser {
            DIR*& d;
            ~DirCloser() { if (d) closedir(d); }
        } closer{dir};

        // A folder already open further up (a bind mount of an ancestor) would loop.
        struct stat self {};
        if (fstat(fd, &self) == 0) {
            for (const auto& a : ancestors_)
                if (a.first == self.st_dev && a.second == self.st_ino) return;
        }

        // The listing is read once for the subfolders and once per pattern
        // rather than held: a folder of a million files would otherwise hold
        // a million names.  Only the subfolders' names are kept.
        told_.clear();
        listingFailed_ = false;
        std::vector<std::string> subfolders;
        const bool listed = List(dir, path, [&](Entry& e) {
            if (e.type != DT_DIR && e.type != DT_UNKNOWN) return;  // links to folders are not descended
            if (e.name.find("RECYCLE") != std::string::npos) return;
            if (e.name == "." || e.name == "..") return;
            if (IsFolder(fd, path, e)) subfolders.push_back(std::move(e.name));
        });
        if (!listed || c_.StopRequested()) return;

        // File pass, once per pattern.
        for (const auto& pattern : patterns_) {
            const bool done = List(dir, path, [&](Entry& e) {
                if (!MatchesPattern(e.name, pattern)) return;
                if (e.name == "." || e.name == "..") return;
                if (!IsRegularFile(fd, path, e)) return;
                const int field = c_.DateField();
                bool accept = true;
                if (field >= kDateModified) accept = DatePasses(fd, path, e, field);
                if (accept) {
                    ++fileCount_;
                    c_.Accepted(path + e.name);
                }
                c_.FileExamined(fileCount_);
            });
            if (!done || c_.StopRequested()) return;
        }
        if (c_.StopRequested()) return;

        // Descend.
        if (subfolders.empty() || !c_.IncludeSubfolders()) return;
        const bool hold = depth < kMaxHeldDepth;
        if (!hold) {
            closedir(dir);
            dir = nullptr;
        }
        ancestors_.emplace_back(self.st_dev, self.st_ino);
        for (const auto& name : subfolders) {
            c_.EnteringFolder(ProperCase(path + name) + "/");
            if (hold)
                Folder(fd, name, path + name, depth + 1);
            else
                Folder(AT_FDCWD, path + name, path + name, depth + 1);
            current_ = path;
            if (c_.StopRequested()) break;
        }
        ancestors_.pop_back();
    }

    std::int64_t FileCount() const { return fileCount_; }
    const std::string& CurrentFolder() const { return current_; }

private:
    // Reads the folder's listing from its start, handing each entry to
    // visit; false when a stop was asked for.  A listing that fails part way
    // (an I/O error, or a folder such as /proc/N/map_files that opens but
    // refuses its listing) is reported once; the entries read before the
    // failure are still searched.
    template <class Visit>
    bool List(DIR* dir, const std::string& path, Visit&& visit) {
        rewinddir(dir);
        for (std::size_t n = 1;; ++n) {
            errno = 0;
            const dirent* de = readdir(dir);
            if (!de) {
                if (errno != 0 && !listingFailed_) {
                    listingFailed_ = true;
                    c_.Unsearched(path, true, errno);
                }
                return true;
            }
            if ((n & 1023) == 0 && c_.StopRequested()) return false;
            Entry e{TrimAtNul(de->d_name), de->d_type};
            visit(e);
            if (c_.StopRequested()) return false;
        }
    }

    // An entry that cannot be examined is reported once, as a folder or a
    // file as far as its listing tells.
    void CannotExamine(const std::string& path, Entry& e, int error) {
        if (Vanished(error) || !told_.insert(e.name).second) return;
        c_.Unsearched(path + e.name + (e.type == DT_DIR ? "/" : ""), e.type == DT_DIR, error);
    }

    bool IsFolder(int fd, const std::string& path, Entry& e) {
        if (e.type == DT_DIR) return true;
        if (e.type != DT_UNKNOWN) return false;  // links to folders are not descended
        struct stat st {};
        if (fstatat(fd, e.name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
            CannotExamine(path, e, errno);
            return false;
        }
        return S_ISDIR(st.st_mode);
    }

    // Regular files, and links that lead to one.
    bool IsRegularFile(int fd, const std::string& path, Entry& e) {
        if (e.type == DT_REG) return true;
        if (e.type != DT_LNK && e.type != DT_UNKNOWN) return false;
        struct stat st {};
        if (fstatat(fd, e.name.c_str(), &st, 0) != 0) {
            CannotExamine(path, e, errno);  // a link to nothing is no file and goes untold
            return false;
        }
        return S_ISREG(st.st_mode);
    }

    bool DatePasses(int fd, const std::string& path, Entry& e, int field) {
        const FileDateAnswer a = dates_.Date(fd, e.name.c_str(), field);
        switch (a.status) {
            case FileDateAnswer::Status::Known:
                if (DateInWindow(a.date, c_.From(), c_.To())) return true;
                c_.OutsideDateWindow(path + e.name);
                return false;
            case FileDateAnswer::Status::NotRecorded: c_.Undated(path + e.name); return false;
            case FileDateAnswer::Status::Unreadable: CannotExamine(path, e, a.error); return false;
        }
        return false;
    }

    const std::vector<std::string>& patterns_;
    WalkControl& c_;
    const DateSource& dates_;
    std::int64_t fileCount_ = 0;
    std::vector<std::pair<dev_t, ino_t>> ancestors_;
    std::string current_;
    // Of the folder being listed: names already reported as unsearched, and
    // whether its listing failed (told once, whichever pass meets it).
    std::set<std::string> told_;
    bool listingFailed_ = false;
};

}  // namespace

std::string SearchFolderProblem(const std::string& folder) {
    if (folder.empty()) return "No search folder is given. Type or choose the folder to search.";
    struct stat st {};
    if (::stat(folder.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return "The search folder does not exist:\n\"" + folder + "\"";
        return {};  // e.g. no permission: the walk reports what it cannot read
    }
    if (!S_ISDIR(st.st_mode)) return "The search path is not a folder:\n\"" + folder + "\"";
    return {};
}

WalkResult TotalFiles(const std::string& folder, const std::vector<std::string>& patterns,
                      WalkControl& control, const DateSource& dates) {
    WalkResult result;
    Walk walk(patterns, control, dates);
    // An empty folder text names no folder (rather than the file system's root).
    if (!folder.empty()) {
        try {
            walk.Folder(AT_FDCWD, folder, folder, 0);
        } catch (const std::exception& ex) {
            result.failed = true;
            result.failedFolder = walk.CurrentFolder();
            result.errorNumber = 0;
            result.errorText = ex.what();
        }
    }
    result.fileCount = walk.FileCount();
    result.stopped = control.StopRequested();
    return result;
}

}  // namespace search
