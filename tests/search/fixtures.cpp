#include "fixtures.h"

#include <tiffio.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fixtures {


OpenCopies::OpenCopies(const std::string& fromDir, const std::vector<std::string>& names) {
    chmod(dir_.path().c_str(), 0755);
    for (const auto& name : names) {
        std::filesystem::copy_file(fromDir + "/" + name, dir_ / name);
        chmod((dir_ / name).c_str(), 0755);
    }
}


void MakeDir(const std::string& path) { std::filesystem::create_directories(path); }

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteSized(const std::string& path, std::uint64_t size) {
    WriteFile(path, "");
    if (truncate(path.c_str(), static_cast<off_t>(size)) != 0) throw std::runtime_error("truncate failed");
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

static void WriteImage(TIFF* t, int size) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, size);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, size);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, size);
    std::vector<unsigned char> row(static_cast<std::size_t>(size), 0x80);
    for (int y = 0; y < size; ++y) TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0);
}

void WriteTiff(const std::string& path, int pages, TiffOptions o) {
    TIFF* t = TIFFOpen(path.c_str(), o.bigTiff ? "w8" : "w");
    if (!t) throw std::runtime_error("cannot create " + path);
    for (int p = 0; p < pages; ++p) {
        if (p == 0 && o.subIfd) {
            std::uint64_t placeholder[1] = {0};
            TIFFSetField(t, TIFFTAG_SUBIFD, 1, placeholder);
        }
        if (p == 0 && o.exif) TIFFSetField(t, TIFFTAG_EXIFIFD, static_cast<std::uint64_t>(0));
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        WriteImage(t, 8);
        TIFFWriteDirectory(t);
        if (p == 0 && o.subIfd) {
            TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
            WriteImage(t, 4);
            TIFFWriteDirectory(t);
        }
    }
    if (o.exif) {
        // Written after the pages, then linked from the first one: going
        // back to page 1 a second time to append more pages makes libtiff
        // leak.
        std::uint64_t exifOffset = 0;
        TIFFCreateEXIFDirectory(t);
        TIFFSetField(t, EXIFTAG_DATETIMEORIGINAL, "2020:01:01 00:00:00");
        TIFFWriteCustomDirectory(t, &exifOffset);
        TIFFSetDirectory(t, 0);
        TIFFSetField(t, TIFFTAG_EXIFIFD, exifOffset);
        TIFFRewriteDirectory(t);
    }
    TIFFClose(t);
}

static std::uint32_t Read32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

std::uint32_t FirstIfdOffset(const std::string& path) {
    const std::string b = ReadFile(path);
    if (b.size() < 8 || b[0] != 'I') throw std::runtime_error("not a little-endian classic TIFF");
    return Read32(b, 4);
}

void SetLastNextOffset(const std::string& path, std::uint32_t next) {
    std::string b = ReadFile(path);
    std::uint32_t ifd = FirstIfdOffset(path);
    std::size_t field = 0;
    for (int guard = 0; ifd != 0 && guard < 10000; ++guard) {
        const unsigned count = static_cast<unsigned char>(b[ifd]) | static_cast<unsigned char>(b[ifd + 1]) << 8;
        field = ifd + 2 + 12 * count;
        ifd = Read32(b, field);
    }
    for (int i = 0; i < 4; ++i) b[field + i] = static_cast<char>((next >> (8 * i)) & 0xFF);
    WriteFile(path, b);
}

std::string PdfBytes(int pages) {
    std::vector<std::string> objects;
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (int i = 0; i < pages; ++i) kids += std::to_string(3 + i) + " 0 R ";
    objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    for (int i = 0; i < pages; ++i) objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    std::string out = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f\r\n";
    for (auto off : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n\r\n", off);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
}

void SetTimes(const std::string& path, int year, int month, int day, int hour, int minute, bool access) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    struct timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    timespec& target = access ? times[0] : times[1];
    target.tv_sec = t;
    target.tv_nsec = 0;
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) throw std::runtime_error("utimensat failed");
}

DeepFolder::DeepFolder(const std::string& root, int levels, int nameLength) : path_(root) {
    fd_ = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd_ < 0) throw std::runtime_error("cannot open " + root);
    for (int level = 0; level < levels; ++level) {
        std::string name = std::to_string(level) + "-";
        name.resize(static_cast<std::size_t>(nameLength), 'd');
        if (mkdirat(fd_, name.c_str(), 0755) != 0) throw std::runtime_error("mkdirat failed");
        const int next = openat(fd_, name.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        close(fd_);
        fd_ = next;
        if (fd_ < 0) throw std::runtime_error("openat failed");
        path_ += "/" + name;
    }
}

DeepFolder::~DeepFolder() {
    if (fd_ >= 0) close(fd_);
}

void DeepFolder::Write(const std::string& name, const std::string& bytes) const {
    const int fd = openat(fd_, name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("cannot write " + name);
    close(fd);
}

Unprivileged::Unprivileged() {
    if (geteuid() != 0) return;
    // Effective ids only: the saved ids stay the superuser's, so the test
    // can come back.  glibc applies them to every thread of the process.
    if (setegid(65534) != 0 || seteuid(65534) != 0) {
        if (setegid(0) != 0) {}  // back to the superuser's group, as far as it goes
        ok_ = false;
        why_ = "needs a user other than the superuser, and cannot become nobody (65534): " +
               std::string(std::strerror(errno));
        return;
    }
    dropped_ = true;
}

Unprivileged::~Unprivileged() {
    if (!dropped_) return;
    if (seteuid(0) != 0 || setegid(0) != 0) std::abort();  // the rest of the run would be wrong
}

static int Run(const std::string& command) {
    const int raw = std::system((command + " >/dev/null 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

NoBirthTimeMount::NoBirthTimeMount() {
    if (geteuid() != 0) {
        why_ = "loop-mounting a file system needs the superuser";
        return;
    }
    const std::string image = dir_ / "image";
    MakeDir(path());
    WriteSized(image, 8u << 20);
    if (Run("mkfs.ext4 -q -F -I 128 '" + image + "'") != 0) {
        why_ = "mkfs.ext4 cannot make the image";
        return;
    }
    if (Run("mount -o loop '" + image + "' '" + path() + "'") != 0) {
        why_ = "the image cannot be loop-mounted here";
        return;
    }
    mounted_ = true;
    chmod(path().c_str(), 0777);
    ok_ = true;
}

NoBirthTimeMount::~NoBirthTimeMount() {
    if (mounted_) umount2(path().c_str(), MNT_DETACH);
}

int InterruptWhenCreated(const std::function<void()>& child, const std::string& dir, const std::string& prefix,
                         int sig) {
    const int watch = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
    if (watch < 0 || inotify_add_watch(watch, dir.c_str(), IN_CREATE) < 0) throw std::runtime_error("inotify");
    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork");
    if (pid == 0) {
        for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
        child();
        _exit(0);
    }
    bool seen = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!seen && std::chrono::steady_clock::now() < end) {
        pollfd p{watch, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        alignas(inotify_event) char buf[4096];
        const ssize_t got = read(watch, buf, sizeof buf);
        for (ssize_t at = 0; at < got;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
            if (e->len > 0 && std::string(e->name).rfind(prefix, 0) == 0) seen = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    close(watch);
    if (seen) {
        kill(pid, SIGSTOP);
        kill(pid, sig);
        kill(pid, SIGCONT);
    } else {
        kill(pid, SIGKILL);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return seen ? status : -1;
}

std::vector<std::string> NamesStartingWith(const std::string& dir, const std::string& prefix) {
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        const std::string name = e.path().filename().string();
        if (name.rfind(prefix, 0) == 0) out.push_back(name);
    }
    return out;
}

}  // namespace fixtures
