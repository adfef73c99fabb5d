#include "tiff_count.h"

#include "plain_chain.h"

#include <component/count_warning.h>

#include <tiffio.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace tifcount {

namespace {

struct Capture {
    std::string* messages = nullptr;
    int errors = 0;
};

void Append(Capture* c, const char* module, const char* fmt, va_list ap) {
    if (!c->messages) return;
    char buf[512];
    std::vsnprintf(buf, sizeof buf, fmt, ap);
    if (!c->messages->empty()) *c->messages += '\n';
    if (module) *c->messages += std::string(module) + ": ";
    *c->messages += buf;
}

int OnError(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    auto* c = static_cast<Capture*>(user);
    ++c->errors;
    Append(c, module, fmt, ap);
    return 1;  // handled: nothing reaches the global handlers
}

int OnWarning(TIFF*, void* user, const char* module, const char* fmt, va_list ap) {
    Append(static_cast<Capture*>(user), module, fmt, ap);
    return 1;
}

// Whether the file opens as a TIFF would: byte order mark, then 42 (classic)
// or 43 (BigTIFF) in that order.
bool HasTiffHeader(int fd) {
    unsigned char h[4] = {};
    if (pread(fd, h, sizeof h, 0) != static_cast<ssize_t>(sizeof h)) return false;
    if (h[0] == 'I' && h[1] == 'I') return (h[2] == 42 || h[2] == 43) && h[3] == 0;
    if (h[0] == 'M' && h[1] == 'M') return h[2] == 0 && (h[3] == 42 || h[3] == 43);
    return false;
}

}  // namespace

std::int32_t CountTiffPages(const char* path, std::string* messages, component::ReasonSlot* why, Reader reader,
                            std::int64_t* size, std::string* warning) {
    component::ReasonSlot ignored;
    component::ReasonSlot& reason = why ? *why : ignored;
    using component::CountReason;
    reason.Clear();
    if (warning) warning->clear();
    if (size) *size = -1;
    if (!path || !*path) {
        reason.Set(CountReason::CannotOpen, "no file name was given");
        return -1;
    }
    // The file is opened here, without blocking, so a named pipe or a device
    // given a .tif name is refused instead of waiting for a writer forever.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd < 0)
            reason.Set(CountReason::CannotOpen, std::strerror(errno));
        else
            reason.Set(CountReason::CannotOpen, "not a regular file");
        if (fd >= 0) close(fd);
        return -1;
    }
    if (size) *size = st.st_size;
    if (st.st_size == 0) {
        close(fd);
        reason.Set(CountReason::Empty);
        return -1;
    }
    if (reader == Reader::Fastest) {
        if (const auto pages = CountPlainChain(fd, static_cast<std::uint64_t>(st.st_size))) {
            close(fd);
            return *pages;
        }
    }
    if (!HasTiffHeader(fd)) {
        close(fd);
        reason.Set(CountReason::NotThisKind, "TIFF");
        return -1;
    }

    Capture capture{messages, 0};
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) {
        close(fd);
        return -1;
    }
    TIFFOpenOptionsSetErrorHandlerExtR(opts, OnError, &capture);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, OnWarning, &capture);
    // A damaged directory cannot make one allocation take the machine.
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, 64 * 1024 * 1024);
    // Read-only, header only (no first directory yet), no memory mapping so a
    // file cut short under us cannot fault, strip and tile tables left unread
    // (counting never needs them).
    TIFF* tif = TIFFFdOpenExt(fd, path, "rhmD", opts);  // on success, TIFFClose closes fd
    TIFFOpenOptionsFree(opts);
    if (!tif) {
        close(fd);
        reason.Set(CountReason::Damaged);
        return -1;
    }

    // A read that fails with a reported error (damage, an offset past the
    // end, a directory cut short) ends the chain: the whole directories
    // before it are the pages libtiff reads, and the file is damaged after
    // them, which the warning says.  A chain that links back to a directory
    // already read ends there: libtiff stops at it quietly and every image
    // has been counted once.
    std::int32_t pages = 0;
    bool damaged = false;
    bool noImage = false;  // a header that leads to no directory, without an error
    for (;;) {
        const int errorsBefore = capture.errors;
        if (TIFFReadDirectory(tif) != 1) {
            // Directories read with errors of their own are no whole pages
            // to count: the file is then damaged beyond reading.
            damaged = pages == 0 || (capture.errors != errorsBefore && errorsBefore != 0);
            noImage = capture.errors == errorsBefore && pages == 0;
            if (!damaged && capture.errors != errorsBefore && warning) *warning = component::DamagedAfterText(pages);
            break;
        }
        ++pages;
        if (TIFFLastDirectory(tif)) break;
        if (pages >= kMaxPages) {  // a longer chain is taken as damage
            damaged = true;
            break;
        }
    }
    TIFFClose(tif);
    if (damaged) reason.Set(noImage ? CountReason::NoPages : CountReason::Damaged);
    return damaged ? -1 : pages;
}

}  // namespace tifcount
