#include "xref/xrefstream.h"

#include "pdflimits.h"
#include "syntax/indirect.h"

#include <algorithm>
#include <climits>

namespace brastel::pdf {

void NumberRanges::Add(std::int64_t first, std::int64_t count) {
    if (count > 0) ranges_.push_back(Range{first, count, rows_});
    rows_ += static_cast<std::size_t>(count);
}

bool NumberRanges::Seal() {
    std::sort(ranges_.begin(), ranges_.end(), [](const Range& a, const Range& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < ranges_.size(); ++i)
        if (ranges_[i - 1].first + ranges_[i - 1].count > ranges_[i].first) return false;
    return true;
}

std::optional<std::size_t> NumberRanges::Row(std::int64_t num) const {
    // The last range that starts at or before num.
    auto it = std::upper_bound(ranges_.begin(), ranges_.end(), num,
                               [](std::int64_t n, const Range& r) { return n < r.first; });
    if (it == ranges_.begin()) return std::nullopt;
    --it;
    if (num >= it->first + it->count) return std::nullopt;
    return it->row + static_cast<std::size_t>(num - it->first);
}

std::optional<XrefStreamSection::Layout> XrefStreamSection::ReadLayout(const Dict& dict) {
    const auto [wValue, sizeValue, index] = dict.GetAll<3>({"/W", "/Size", "/Index"});
    Layout l;
    int field = 0;
    bool ok = ForEachItem(wValue, [&](const Value& item) {
        const auto w = item.Whole();
        if (!w || *w < 0 || *w > limits::kXrefStreamFieldWidth) return (field = -1, false);
        l.w[field] = static_cast<int>(*w);
        return ++field < 3;
    });
    if (!ok || field != 3) return std::nullopt;
    l.width = static_cast<std::size_t>(l.w[0] + l.w[1] + l.w[2]);
    if (l.width == 0) return std::nullopt;

    const auto size = sizeValue.Whole();
    if (!size || *size < 0 || *size > INT32_MAX) return std::nullopt;
    std::vector<std::int64_t> numbers;
    if (index.Is(Value::Kind::Missing) || index.Is(Value::Kind::Null)) {
        numbers = {0, *size};
    } else {
        bool usable = true;
        ok = ForEachItem(index, [&](const Value& item) {
            const auto v = item.Whole();
            if (!v || *v < 0 || *v > INT32_MAX || numbers.size() >= 2 * limits::kXrefStreamEntries) return (usable = false);
            numbers.push_back(*v);
            return true;
        });
        if (!ok || !usable || numbers.empty() || numbers.size() % 2 != 0) return std::nullopt;
    }
    for (std::size_t i = 0; i < numbers.size(); i += 2) {
        if (numbers[i] + numbers[i + 1] > std::int64_t{INT32_MAX} + 1) return std::nullopt;
        l.ranges.Add(numbers[i], numbers[i + 1]);
        if (l.ranges.rows() > limits::kXrefStreamEntries) return std::nullopt;
    }
    if (!l.ranges.Seal()) return std::nullopt;
    return l;
}

std::optional<XrefStreamSection> XrefStreamSection::Read(Layout layout, const Dict& dict, ByteSource& raw) {
    bool flate = false;
    Predictor predictor;
    if (!FlateOrNone(dict, flate, predictor)) return std::nullopt;
    RowPredictor rows(predictor);
    if (flate && predictor.predictor != 1 && rows.row() == 0) return std::nullopt;  // parameters out of range
    XrefStreamSection s;
    s.layout_ = std::move(layout);
    const std::size_t expected = s.layout_.bytes();
    std::string& data = s.data_;
    StreamInflater inflater(raw, flate);
    if (!flate || predictor.predictor == 1) {
        data.reserve(expected);
        if (inflater.Read(expected, data) == StreamInflater::Step::Damaged) return std::nullopt;
    } else {
        // Whole rows a window at a time; the last row may run past the
        // entries, and a partial row at the end is dropped.
        data.reserve(expected + rows.row());
        const std::size_t perWindow = std::max<std::size_t>(1, (std::size_t{64} << 10) / rows.encodedRow());
        std::string window;
        while (data.size() < expected) {
            const std::size_t wantRows = std::min(perWindow, (expected - data.size() + rows.row() - 1) / rows.row());
            window.clear();
            const auto step = inflater.Read(wantRows * rows.encodedRow(), window);
            if (step == StreamInflater::Step::Damaged) return std::nullopt;
            for (std::size_t at = 0; at + rows.encodedRow() <= window.size(); at += rows.encodedRow()) {
                const std::size_t end = data.size();
                data.resize(end + rows.row());
                if (!rows.Undo(window.data() + at, data.data() + end)) return std::nullopt;
            }
            if (step == StreamInflater::Step::End) break;
        }
    }
    if (data.size() < expected) return std::nullopt;
    data.resize(expected);
    // An entry type ISO 32000 does not define makes readers rebuild the
    // cross-reference: this section is not one to trust.
    for (std::size_t row = 0; row < s.layout_.ranges.rows(); ++row)
        if (s.EntryAt(row).type > XrefEntry::Compressed) return std::nullopt;
    return s;
}

XrefEntry XrefStreamSection::EntryAt(std::size_t row) const {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(data_.data()) + row * layout_.width;
    std::uint64_t fields[3] = {0, 0, 0};
    for (int f = 0; f < 3; ++f)
        for (int k = 0; k < layout_.w[f]; ++k) fields[f] = (fields[f] << 8) | *p++;
    if (layout_.w[0] == 0) fields[0] = 1;  // the type defaults to 1
    XrefEntry e;
    e.type = fields[0] > 2 ? static_cast<XrefEntry::Type>(3) : static_cast<XrefEntry::Type>(fields[0]);
    // Eight-byte fields beyond the signed range are no offset or index.
    e.field2 = fields[1] > static_cast<std::uint64_t>(INT64_MAX) ? -1 : static_cast<std::int64_t>(fields[1]);
    e.field3 = fields[2] > static_cast<std::uint64_t>(INT64_MAX) ? -1 : static_cast<std::int64_t>(fields[2]);
    return e;
}

std::optional<XrefEntry> XrefStreamSection::Find(std::int64_t num) const {
    const auto row = layout_.ranges.Row(num);
    if (!row) return std::nullopt;
    return EntryAt(*row);
}

}  // namespace brastel::pdf
