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
    window_ = std::move(bytes);
    windowAt_ = at;
}

bool FileReader::Read(std::int64_t offset, std::size_t n, std::string& out) {
    if (n > kWindow) return ReadDirect(offset, n, out);
    const std::int64_t end = offset + static_cast<std::int64_t>(n);
    const std::int64_t windowEnd = windowAt_ + static_cast<std::int64_t>(window_.size());
    // Served from the window when it holds the span, or holds everything up
    // to where the file ended when it was read.
    if (windowAt_ >= 0 && offset >= windowAt_ && (end <= windowEnd || window_.size() < kWindow)) {
        const auto from = static_cast<std::size_t>(offset - windowAt_);
        out.assign(window_, std::min(from, window_.size()), n);
        return true;
    }
    if (!ReadDirect(offset, kWindow, window_)) {
        windowAt_ = -1;
        return false;
    }
    windowAt_ = offset;
    out.assign(window_, 0, n);
    return true;
}

}  // namespace brastel
