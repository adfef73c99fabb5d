#include "io/fileinput.h"

#include <component/read_fully.h>

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <stdexcept>
#include <vector>

namespace brastel {

namespace {

// Blocks grow while libqpdf reads on from where the last one ended (a search
// through the whole file), so a long scan costs about one read per megabyte.
// A block read elsewhere starts a little before the place asked for: libqpdf
// steps back to re-read a token or an object's start all the time, and a
// block that began exactly there would be read again for each step.  A file
// this small is read whole, once.
constexpr std::size_t kBlock = std::size_t{64} << 10;
constexpr std::size_t kMaxBlock = std::size_t{1} << 20;
constexpr qpdf_offset_t kLookBack = 16 << 10;
constexpr qpdf_offset_t kWholeFile = 256 << 10;

class FileInput final : public InputSource {
public:
    FileInput(int fd, std::int64_t length, std::string name, bool* changed)
        : fd_(fd), length_(length), name_(std::move(name)), changed_(changed) {}

    qpdf_offset_t findAndSkipNextEOL() override {
        // Moves past the next run of line-end characters; returns where the
        // run starts, or the end of the file when there is none.
        for (;;) {
            if (pos_ >= length_) return pos_;
            Load(pos_);
            const char* from = buffer_.data() + (pos_ - base_);
            const std::size_t n = static_cast<std::size_t>(end() - pos_);
            const char* cr = static_cast<const char*>(std::memchr(from, '\r', n));
            const char* lf = static_cast<const char*>(std::memchr(from, '\n', n));
            const char* eol = cr && lf ? std::min(cr, lf) : cr ? cr : lf;
            if (!eol) {
                pos_ = end();
                continue;
            }
            const qpdf_offset_t at = pos_ + (eol - from);
            pos_ = at;
            char ch = 0;
            while (read(&ch, 1) == 1) {
                if (ch != '\r' && ch != '\n') {
                    unreadCh(ch);
                    break;
                }
            }
            return at;
        }
    }
    std::string const& getName() const override { return name_; }
    qpdf_offset_t tell() override { return pos_; }
    void seek(qpdf_offset_t offset, int whence) override {
        const qpdf_offset_t from = whence == SEEK_END ? length_ : whence == SEEK_CUR ? pos_ : 0;
        if (offset < 0 && from < -offset) throw std::runtime_error(name_ + ": seek before the start of the file");
        pos_ = from + offset;
    }
    void rewind() override { pos_ = 0; }
    size_t read(char* out, size_t length) override {
        last_offset = pos_;
        std::size_t done = 0;
        while (done < length && pos_ < length_) {
            Load(pos_);
            const std::size_t n = std::min<std::size_t>(length - done, static_cast<std::size_t>(end() - pos_));
            std::memcpy(out + done, buffer_.data() + (pos_ - base_), n);
            done += n;
            pos_ += static_cast<qpdf_offset_t>(n);
        }
        return done;
    }
    void unreadCh(char) override {
        if (pos_ > 0) --pos_;
    }

private:
    qpdf_offset_t end() const { return base_ + static_cast<qpdf_offset_t>(buffer_.size()); }

    // Makes the block holding `at` (below the length seen at open) current.
    void Load(qpdf_offset_t at) {
        if (at >= base_ && at < end()) return;
        qpdf_offset_t start = at;
        if (length_ <= kWholeFile) {
            start = 0;
            block_ = static_cast<std::size_t>(length_);
        } else if (at == end()) {
            block_ = std::min(2 * block_, kMaxBlock);
        } else {
            block_ = kBlock;
            start = std::max<qpdf_offset_t>(0, at - kLookBack) & ~qpdf_offset_t{4095};
        }
        const std::size_t want = static_cast<std::size_t>(std::min<qpdf_offset_t>(block_, length_ - start));
        buffer_.resize(want);
        if (component::ReadFully(fd_, buffer_.data(), want, start) != static_cast<std::int64_t>(want)) {
            buffer_.clear();
            if (changed_) *changed_ = true;
            throw std::runtime_error(name_ + ": the file changed while it was read");
        }
        base_ = start;
    }

    int fd_;
    qpdf_offset_t length_;
    std::string name_;
    bool* changed_;
    std::vector<char> buffer_;
    qpdf_offset_t base_ = 0;
    qpdf_offset_t pos_ = 0;
    std::size_t block_ = kBlock;
};

}  // namespace

std::shared_ptr<InputSource> OpenFileInput(int fd, std::int64_t length, const std::string& name, bool* changed) {
    return std::make_shared<FileInput>(fd, length, name, changed);
}

}  // namespace brastel
