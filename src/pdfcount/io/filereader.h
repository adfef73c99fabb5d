// Positioned reads of the open file for the routes that follow offsets
// through it.  A read gives what the file holds there: fewer bytes at its
// end, or once it shrank since it was opened, and never loops on a file that
// gives nothing.  The last small window is kept, so the reads of one object
// (its header, its dictionary, the start of its stream) cost one system call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace brastel {

class FileReader {
public:
    FileReader(int fd, std::int64_t length) : fd_(fd), length_(length) {}

    // Up to n bytes at offset into out (fewer at the end of the file, none
    // past it); false on a read error.
    bool Read(std::int64_t offset, std::size_t n, std::string& out);

    // Bytes already read elsewhere that run from `at` to the end of the file
    // (at most kWindow of them) serve as the window; others are ignored.
    void Seed(std::int64_t at, std::string bytes);

    // Where reads of up to kWindow bytes come from instead of the descriptor
    // (a cache the count's other readers share): it returns 1 when it served
    // the read, 0 when the descriptor is to serve it, -1 on a read error.
    using Source = std::function<int(std::int64_t offset, std::size_t n, std::string& out)>;
    void SetSource(Source source) { source_ = std::move(source); }

    // The length seen when the file was opened: an upper bound for offsets.
    std::int64_t length() const { return length_; }
    // Bytes read from the descriptor (not those a source served).
    std::int64_t bytesRead() const { return bytesRead_; }
    // A read found the file shorter than it was at the open.
    bool shrank() const { return shrank_; }

    // Reads this small are served from one window of kWindow bytes.
    static constexpr std::size_t kWindow = 4096;

private:
    bool ReadDirect(std::int64_t offset, std::size_t n, std::string& out);

    int fd_;
    std::int64_t length_;
    std::int64_t bytesRead_ = 0;
    bool shrank_ = false;
    // Two windows, the one used longer ago replaced on a miss: a walk reads
    // an object, then the cross-reference entry of the next, far apart.
    struct Window {
        std::string bytes;
        std::int64_t at = -1;
    };
    Window windows_[2];
    int recent_ = 0;  // the window used last
    Source source_;
};

}  // namespace brastel
