#include "io/filereader.h"

#include <component/read_fully.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace brastel {

bool FileReader::ReadDirect(std::int64_t offset, std::size_t n, std::string& out) {
    out.clear();
    if (offset < 0 || offset >= length_) return true;
    n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(n), length_ - offset));
    if (source_ && n <= kWindow) {
        const int served = source_(offset, n, out);
        if (served < 0) out.clear();
        if (served != 0) return served > 0;
    }
    out.resize(n);
    const std::int64_t got = component::ReadFully(fd_, out.data(), n, offset);
    if (got < 0) {
        out.clear();
        return false;
    }
    const auto done = static_cast<std::size_t>(got);
    if (done < n) shrank_ = true;  // the file ends sooner than it did at the open
    out.resize(done);
    bytesRead_ += static_cast<std::int64_t>(done);
    return true;
}

void FileReader::Seed(std::int64_t at, std::string bytes) {
    if (at < 0 || bytes.empty() || bytes.size() > kWindow || at + static_cast<std::int64_t>(bytes.size()) != length_)
        return;
    windows_[recent_].bytes = std::move(bytes);
    windows_[recent_].at = at;
}

bool FileReader::Read(std::int64_t offset, std::size_t n, std::string& out) {
    if (n > kWindow) return ReadDirect(offset, n, out);
    const std::int64_t end = offset + static_cast<std::int64_t>(n);
    // Served from a window when it holds the span, or holds everything up
    // to where the file ended when it was read.
    for (int k : {recent_, 1 - recent_}) {
        const Window& w = windows_[k];
        const std::int64_t windowEnd = w.at + static_cast<std::int64_t>(w.bytes.size());
        if (w.at >= 0 && offset >= w.at && (end <= windowEnd || w.bytes.size() < kWindow)) {
            const auto from = static_cast<std::size_t>(offset - w.at);
            out.assign(w.bytes, std::min(from, w.bytes.size()), n);
            recent_ = k;
            return true;
        }
    }
    recent_ = 1 - recent_;
    Window& w = windows_[recent_];
    if (!ReadDirect(offset, kWindow, w.bytes)) {
        w.at = -1;
        return false;
    }
    w.at = offset;
    out.assign(w.bytes, 0, n);
    return true;
}

}  // namespace brastel
