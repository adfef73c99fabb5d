#include "tiff_count.h"

#include <tiffio.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>

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

}  // namespace

std::int32_t CountTiffPages(const char* path, std::string* messages) {
    if (!path || !*path) return -1;
    Capture capture{messages, 0};
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return -1;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, OnError, &capture);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, OnWarning, &capture);
    // A damaged directory cannot make one allocation take the machine.
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, 64 * 1024 * 1024);
    // Read-only, header only (no first directory yet), no memory mapping so a
    // file cut short under us cannot fault, strip and tile tables left unread
    // (counting never needs them).
    // The file is opened here, without blocking, so a named pipe or a device
    // given a .tif name is refused instead of waiting for a writer forever.
    const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        if (fd >= 0) close(fd);
        TIFFOpenOptionsFree(opts);
        return -1;
    }
    TIFF* tif = TIFFFdOpenExt(fd, path, "rhmD", opts);  // on success, TIFFClose closes fd
    TIFFOpenOptionsFree(opts);
    if (!tif) {
        close(fd);
        return -1;
    }

    // A read that fails with a reported error (damage, an offset past the
    // end) means the chain cannot be counted: a partial count would be wrong.
    // A chain that links back to a directory already read ends there: libtiff
    // stops at it quietly and every image has been counted once.
    std::int32_t pages = 0;
    bool damaged = false;
    for (;;) {
        const int errorsBefore = capture.errors;
        if (TIFFReadDirectory(tif) != 1) {
            damaged = capture.errors != errorsBefore || pages == 0;
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
    return damaged ? -1 : pages;
}

}  // namespace tifcount
