// One positioned read for the counters: the read never moves the file's
// offset, so the jobs of a count may share a descriptor.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>

namespace component {

// Reads n bytes at offset into out, going on after short reads and
// interrupted calls.  Returns the bytes read, fewer than n only where the
// file ends, or -1 on a read error (bytes read before it are in out).
inline std::int64_t ReadFully(int fd, void* out, std::size_t n, std::int64_t offset) {
    auto* to = static_cast<unsigned char*>(out);
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd, to + done, n - done, static_cast<off_t>(offset) + static_cast<off_t>(done));
        if (got < 0) {
            if (errno == EINTR) continue;
            return -1;
        }
        if (got == 0) break;  // end of file
        done += static_cast<std::size_t>(got);
    }
    return static_cast<std::int64_t>(done);
}

}  // namespace component
