// Cross-reference streams (ISO 32000, PDF 1.5 on): a stream object of
// /Type /XRef whose decoded data holds fixed-width binary entries, /W giving
// the widths of the three fields and /Index the object numbers they cover.
#pragma once

#include "streams/inflate.h"
#include "syntax/lexer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace brastel::pdf {

struct XrefEntry {
    enum Type : std::uint8_t { Free = 0, InUse = 1, Compressed = 2 };
    Type type = Free;
    std::int64_t field2 = 0;  // InUse: byte offset; Compressed: number of the object stream
    std::int64_t field3 = 0;  // InUse: generation; Compressed: index in the object stream
};

// Object-number ranges (first, count), each mapped to consecutive rows
// after the rows of the ranges added before it, found by binary search.
// Ranges that overlap leave it unclear which entry counts (readers differ),
// so Seal refuses them.
class NumberRanges {
public:
    void Add(std::int64_t first, std::int64_t count);
    bool Seal();
    std::optional<std::size_t> Row(std::int64_t num) const;
    std::size_t rows() const { return rows_; }

    // Visits every (object number, row).
    template <typename F>
    void ForEach(F&& visit) const {
        for (const Range& r : ranges_)
            for (std::int64_t k = 0; k < r.count; ++k) visit(r.first + k, r.row + static_cast<std::size_t>(k));
    }

private:
    struct Range {
        std::int64_t first;
        std::int64_t count;
        std::size_t row;
    };
    std::vector<Range> ranges_;
    std::size_t rows_ = 0;
};

class XrefStreamSection {
public:
    // What /W, /Index and /Size say: the entries' fields and numbers.
    struct Layout {
        int w[3] = {0, 0, 0};
        std::size_t width = 0;
        NumberRanges ranges;
        // The decoded size the entries take.
        std::size_t bytes() const { return ranges.rows() * width; }
    };
    // No value when /W, /Index or /Size are unusable.
    static std::optional<Layout> ReadLayout(const Dict& dict);

    // The section read from the stream's raw data (no filter, or Flate with
    // or without a predictor, as dict says), inflated a window at a time
    // and its predictor undone a row at a time straight into the entries:
    // what is held is the entries alone, never the raw or inflated data
    // whole.  No value for another filter, data that does not decode or is
    // shorter than the layout says, or an entry of a type other than 0, 1
    // or 2.
    static std::optional<XrefStreamSection> Read(Layout layout, const Dict& dict, ByteSource& raw);

    // The entry of object num, if the stream lists it.
    std::optional<XrefEntry> Find(std::int64_t num) const;

    // Visits every entry as (object number, entry).
    template <typename F>
    void ForEach(F&& visit) const {
        layout_.ranges.ForEach([&](std::int64_t num, std::size_t row) { visit(num, EntryAt(row)); });
    }

private:
    XrefEntry EntryAt(std::size_t row) const;

    Layout layout_;
    std::string data_;
};

}  // namespace brastel::pdf
