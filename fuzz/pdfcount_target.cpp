// Fuzz target: PDF_PageCount on arbitrary bytes.  The bytes go to an
// in-memory file that the counter opens by its /proc path, exactly as it
// opens any other file.
#include "brastelpeer.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

int MemoryFile() {
    static const int fd = ::memfd_create("brastel-fuzz", MFD_CLOEXEC);
    return fd;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const int fd = MemoryFile();
    if (fd < 0 || ::ftruncate(fd, 0) != 0) std::abort();
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
        if (n <= 0) std::abort();
        done += static_cast<std::size_t>(n);
    }
    std::string path = "/proc/self/fd/" + std::to_string(fd);
    brastel::Brastelv1* counter = brastel::NewBrastelv1();
    std::int32_t first = 0, second = 0;
    if (counter->PDF_PageCount(path, first) != 0) std::abort();
    if (counter->PDF_PageCount(path, second) != 0) std::abort();
    // The stream route and the object scan alone too: on most inputs the
    // routes before them decide, and these two follow offsets and object
    // streams wherever the file leads.
    for (const brastel::Route only : {brastel::Route::Stream, brastel::Route::ObjectScan}) {
        brastel::BrastelPeer::SetOnlyRoute(*counter, only);
        std::int32_t alone = 0;
        if (counter->PDF_PageCount(path, alone) != 0 || alone < -1) std::abort();
    }
    counter->Release();
    // A result is a count, 0 or -1, and the same every time.
    if (first < -1 || first != second) {
        std::fprintf(stderr, "bad result %d then %d\n", first, second);
        std::abort();
    }
    if (size == 0 && first != 0) std::abort();
    return 0;
}
