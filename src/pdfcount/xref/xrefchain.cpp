#include "xref/xrefchain.h"

#include "syntax/indirect.h"
#include "pdflimits.h"

#include <algorithm>
#include <string_view>

namespace brastel::pdf {

namespace {
constexpr std::int64_t kEntryLength = 20;

// A /Prev or /XRefStm offset: absent (-1), or a whole number; anything else
// is a damaged trailer.
bool ReadOffset(const Value& v, std::int64_t& out) {
    out = -1;
    if (v.Is(Value::Kind::Missing)) return true;
    const auto whole = v.Whole();
    if (!whole || *whole < 0) return false;
    out = *whole;
    return true;
}
}  // namespace

bool CrossReference::Open(std::int64_t startxref) {
    sections_.clear();
    seen_.clear();
    heldBytes_ = 0;
    chainEnded_ = broken_ = false;
    inUseNewest_.reset();
    inUseAll_.reset();
    tablePassUnsure_ = false;
    Section s;
    if (!ReadSection(startxref, s)) return false;
    sections_.push_back(std::move(s));
    return true;
}

bool CrossReference::ReadSection(std::int64_t offset, Section& section) {
    if (offset < 0 || offset >= file_.length() || sections_.size() >= limits::kXrefSections || !seen_.insert(offset).second)
        return false;
    ++parsed_;
    // Read from the byte before, where the object reader starts too, so
    // that both are served by one read.  White space before "xref" is
    // passed over, as readers pass it (an offset a byte or two early).
    std::string head;
    const std::int64_t before = offset > 0 ? 1 : 0;
    if (!file_.Read(offset - before, 40, head)) return false;
    head.erase(0, std::min<std::size_t>(head.size(), static_cast<std::size_t>(before)));
    std::size_t at = 0;
    while (at < head.size() && IsPdfSpace(head[at])) ++at;
    if (head.size() >= at + 5 && head.compare(at, 4, "xref") == 0 && IsPdfSpace(head[at + 4]))
        return ReadTable(offset + static_cast<std::int64_t>(at) + 4, section);
    return ReadStream(offset, section.stream, &section.trailer, &section.prev);
}

namespace {
// "oooooooooo ggggg n" or "... f": the 18 bytes of an entry before its line end.
bool EntryShape(std::string_view e) {
    if (e.size() < 18) return false;
    for (int j = 0; j < 18; ++j)
        if (j != 10 && j != 16 && j != 17 && !IsDigit(e[j])) return false;
    return e[10] == ' ' && e[16] == ' ' && (e[17] == 'n' || e[17] == 'f');
}
}  // namespace

DictEnd ReadDictEntries(std::string_view text, std::size_t pos, std::initializer_list<std::string_view> keys,
                        Value* values, std::size_t* goodEnd) {
    for (std::size_t k = 0; k < keys.size(); ++k) values[k] = Value{};
    Lexer lex(text, pos);
    if (lex.Next().kind != Token::Kind::DictOpen) return DictEnd::None;
    for (;;) {
        if (goodEnd) *goodEnd = lex.pos();
        const Token key = lex.Next();
        if (key.kind == Token::Kind::DictClose) return DictEnd::Closed;
        if (key.kind == Token::Kind::End) return DictEnd::Cut;
        if (key.kind != Token::Kind::Name) return DictEnd::Broken;
        const Value value = ReadValue(lex);
        if (value.Is(Value::Kind::Missing)) return DictEnd::Cut;
        if (value.Is(Value::Kind::Bad)) return lex.pos() >= text.size() ? DictEnd::Cut : DictEnd::Broken;
        std::size_t k = 0;
        for (const std::string_view wanted : keys) {
            if (NameEquals(key.text, wanted)) values[k] = value;
            ++k;
        }
    }
}

bool CrossReference::ReadTable(std::int64_t pos, Section& section) {
    section.table = true;
    std::string window;
    for (std::size_t n = 0; n <= limits::kTableSubsections; ++n) {
        if (!file_.Read(pos, FileReader::kWindow, window)) return false;
        Lexer lex(window);
        const Token first = lex.Next();
        if (first.kind == Token::Kind::Keyword && first.text == "trailer")
            return section.tableRanges.Seal() && ReadTrailer(pos + static_cast<std::int64_t>(lex.pos()), section);
        // "first count", then the entries from the next line on.
        const Token count = lex.Next();
        if (first.kind != Token::Kind::Integer || count.kind != Token::Kind::Integer || first.integer < 0 ||
            count.integer < 0 || first.integer > INT32_MAX || count.integer > INT32_MAX || first.text[0] == '+' ||
            count.text[0] == '+')
            return false;
        std::size_t i = lex.pos();
        while (i < window.size() && IsPdfSpace(window[i])) ++i;
        const std::int64_t entries = pos + static_cast<std::int64_t>(i);
        std::int64_t rows = count.integer;
        // Entries are 20 bytes; writers that end them with a one-byte line
        // end make them 19, and readers (qpdf, mutool, pdfinfo) read those.
        std::int64_t width = kEntryLength;
        if (rows > 0) {
            std::string e;
            if (!file_.Read(entries, 20, e) || e.size() < 20 || !EntryShape(e)) return false;
            if ((e[18] == '\r' || e[18] == '\n') && e[19] != '\n') width = 19;
        }
        if (rows > (file_.length() - entries) / width) return false;
        // A count larger than the entries written runs into what follows
        // them: the subsection ends at its last real entry.
        std::string after;
        if (!file_.Read(entries + width * rows, 16, after)) after.clear();
        std::size_t j = 0;
        while (j < after.size() && IsPdfSpace(after[j])) ++j;
        if (!(j < after.size() && IsDigit(after[j])) && after.compare(j, 7, "trailer") != 0) {
            std::string block;
            if (!file_.Read(entries, static_cast<std::size_t>(width * rows), block)) return false;
            std::int64_t real = 0;
            while (real < rows && (real + 1) * width <= static_cast<std::int64_t>(block.size()) &&
                   EntryShape(std::string_view(block).substr(static_cast<std::size_t>(width * real), 18)))
                ++real;
            rows = real;
        }
        // The entries stay in the file, read when looked up: a lookup or two
        // touches a few KB of a long table.
        section.tableRuns.push_back(TableRun{entries, width, section.tableRanges.rows(), first.integer, rows});
        section.tableRanges.Add(first.integer, rows);
        pos = entries + width * rows;
    }
    return false;
}

bool CrossReference::ReadTrailer(std::int64_t at, Section& section) {
    // Read in growing windows until the dictionary closes.  One broken by a
    // stray token keeps the entries before the break, as qpdf and pdfinfo
    // keep them (mutool rebuilds such a file, to the same objects).
    std::string window;
    Value v[2];
    for (std::size_t size = FileReader::kWindow;; size *= 4) {
        if (!file_.Read(at, size, window)) return false;
        std::size_t goodEnd = 0;
        const DictEnd end = ReadDictEntries(window, 0, {"/Prev", "/XRefStm"}, v, &goodEnd);
        if (end == DictEnd::None) return false;
        if (end == DictEnd::Closed) {
            const auto dict = Dict::At(window);
            if (!dict || !dict->complete()) return false;
            section.trailer.assign(dict->text());
            break;
        }
        if (end == DictEnd::Broken) {
            section.trailer.assign(window, 0, goodEnd);
            section.trailer.erase(0, section.trailer.find("<<"));
            section.trailer += " >>";
            break;
        }
        if (window.size() < size || size >= limits::kTrailerBytes) return false;
    }
    std::int64_t xrefStm = -1;
    if (!ReadOffset(v[0], section.prev) || !ReadOffset(v[1], xrefStm)) return false;
    // A hybrid section: the stream lists the objects the table hides.
    return xrefStm < 0 || ReadStream(xrefStm, section.stream, nullptr, nullptr);
}

bool CrossReference::ReadStream(std::int64_t offset, std::optional<XrefStreamSection>& stream, std::string* dictText,
                                std::int64_t* prev) {
    const auto o = ReadIndirect(file_, offset, std::nullopt);
    if (!o) return false;
    const auto dict = Dict::At(o->text, o->body);
    if (!dict || !dict->complete()) return false;
    const auto [type, length, prevValue] = dict->GetAll<3>({"/Type", "/Length", "/Prev"});
    if (!type.Is(Value::Kind::Name) || !NameEquals(type.text, "/XRef")) return false;
    auto layout = XrefStreamSection::ReadLayout(*dict);
    if (!layout) return false;
    const std::size_t expected = layout->bytes();
    if (heldBytes_ + expected > limits::kChainHeldBytes) return false;
    // Inflated as a stream straight into the entries (see XrefStreamSection::Read).
    const auto span = FindStreamSpan(file_, *o, *dict, length.Whole());
    if (!span) return false;
    FileSpan raw(file_, *span);
    auto section = XrefStreamSection::Read(std::move(*layout), *dict, raw);
    if (!section) return false;
    heldBytes_ += expected;
    stream = std::move(section);
    if (dictText) dictText->assign(dict->text());
    return !prev || ReadOffset(prevValue, *prev);
}

bool CrossReference::NextSection() {
    if (chainEnded_ || broken_) return false;
    // A /Prev of 0 ends the chain, as it does for readers: no section
    // can stand where the file's header is.
    if (sections_.back().prev <= 0) {
        chainEnded_ = true;
        return false;
    }
    Section s;
    if (!ReadSection(sections_.back().prev, s)) {
        broken_ = true;
        return false;
    }
    sections_.push_back(std::move(s));
    return true;
}

CrossReference::Entry CrossReference::ParseTableEntry(const char* e, XrefEntry& entry) {
    // "oooooooooo ggggg n" and a two-byte line end.
    std::int64_t offset = 0, gen = 0;
    for (int i = 0; i < 10; ++i) {
        if (!IsDigit(e[i])) return Entry::Bad;
        offset = offset * 10 + (e[i] - '0');
    }
    for (int i = 11; i < 16; ++i) {
        if (!IsDigit(e[i])) return Entry::Bad;
        gen = gen * 10 + (e[i] - '0');
    }
    if (e[10] != ' ' || e[16] != ' ' || (e[17] != 'n' && e[17] != 'f')) return Entry::Bad;
    entry.type = e[17] == 'n' ? XrefEntry::InUse : XrefEntry::Free;
    entry.field2 = offset;
    entry.field3 = gen;
    return e[17] == 'n' ? Entry::InUse : Entry::Free;
}

std::vector<CrossReference::TableRun>::const_iterator CrossReference::RunOf(const Section& s, std::size_t row) {
    // The last run that starts at or before the row.
    return std::prev(std::upper_bound(s.tableRuns.begin(), s.tableRuns.end(), row,
                                      [](std::size_t r, const TableRun& t) { return r < t.row; }));
}

std::int64_t CrossReference::EntryOffset(const Section& s, std::size_t row) {
    const auto run = RunOf(s, row);
    return run->entries + run->width * static_cast<std::int64_t>(row - run->row);
}

CrossReference::Entry CrossReference::TableEntry(const Section& s, std::int64_t num, XrefEntry& entry) {
    const auto row = s.tableRanges.Row(num);
    if (!row) return Entry::None;
    std::string e;
    if (!file_.Read(EntryOffset(s, *row), 18, e) || e.size() < 18) return Entry::Bad;
    return ParseTableEntry(e.data(), entry);
}

std::optional<XrefEntry> CrossReference::SectionEntry(const Section& s, std::int64_t num, bool& bad) {
    // In a hybrid section the table's objects in use come first, then the
    // stream's entries, then the table's free entries: the objects a table
    // hides from older readers are free there and listed in the stream.
    XrefEntry fromTable;
    const Entry t = TableEntry(s, num, fromTable);
    if (t == Entry::Bad) {
        bad = true;
        return std::nullopt;
    }
    if (t == Entry::InUse) return fromTable;
    if (s.stream)
        if (auto e = s.stream->Find(num)) return e;
    if (t == Entry::Free) return fromTable;
    return std::nullopt;
}

CrossReference::Lookup CrossReference::Find(std::int64_t num, XrefEntry& entry) {
    for (std::size_t k = 0;; ++k) {
        if (k == sections_.size() && !NextSection()) return broken_ ? Lookup::Broken : Lookup::Absent;
        if (++probes_ > limits::kChainProbes) return Lookup::Broken;
        bool bad = false;
        if (auto e = SectionEntry(sections_[k], num, bad)) {
            entry = *e;
            return Lookup::Found;
        }
        if (bad) return Lookup::Broken;
    }
}

bool CrossReference::CollectInUse(std::size_t upTo, std::size_t& inUse) {
    // A lone cross-reference stream lists each number once (its ranges are
    // sealed): its entries are counted where they stand, with no copy of
    // them.
    if (upTo == 1 && sections_[0].stream && sections_[0].tableRanges.rows() == 0) {
        std::size_t entries = 0;
        inUse = 0;
        sections_[0].stream->ForEach([&](std::int64_t, const XrefEntry& e) {
            ++entries;
            if (e.type != XrefEntry::Free) ++inUse;
        });
        return entries <= limits::kChainHeldEntries;
    }
    // (number, rank * 2 + in use): a number's entries sort newest first.
    // Within a section a table's objects in use come before the stream's
    // entries, and those before the table's free entries.
    std::vector<std::pair<std::int64_t, std::int64_t>> all;
    bool bad = false;
    auto add = [&](std::int64_t num, std::int64_t rank, bool used) {
        if (all.size() >= limits::kChainHeldEntries) return (bad = true, void());
        all.emplace_back(num, rank * 2 + (used ? 1 : 0));
    };
    for (std::size_t k = 0; k < upTo && !bad; ++k) {
        const Section& s = sections_[k];
        const auto rank = static_cast<std::int64_t>(3 * k);
        // Each run of entries read from the file in one piece.
        std::string block;
        std::int64_t blockAt = -1;
        s.tableRanges.ForEach([&](std::int64_t num, std::size_t row) {
            if (bad) return;
            const auto run = RunOf(s, row);
            const std::int64_t at = run->entries + run->width * static_cast<std::int64_t>(row - run->row);
            if (blockAt < 0 || at < blockAt || at + 18 > blockAt + static_cast<std::int64_t>(block.size())) {
                // From this entry to the end of its run, some thousands at a time.
                const std::size_t runRows =
                    (run + 1 == s.tableRuns.end() ? s.tableRanges.rows() : (run + 1)->row) - run->row;
                const std::int64_t runEnd = run->entries + run->width * static_cast<std::int64_t>(runRows);
                const std::int64_t n = std::min<std::int64_t>(runEnd - at, run->width * 4096);
                blockAt = at;
                if (!file_.Read(at, static_cast<std::size_t>(n), block)) return (bad = true, void());
                if (static_cast<std::int64_t>(block.size()) < 18) return (bad = true, void());
            }
            XrefEntry e;
            const Entry t = ParseTableEntry(block.data() + (at - blockAt), e);
            if (t == Entry::Bad) bad = true;
            else add(num, t == Entry::InUse ? rank : rank + 2, t == Entry::InUse);
        });
        if (s.stream)
            s.stream->ForEach(
                [&](std::int64_t num, const XrefEntry& e) { add(num, rank + 1, e.type != XrefEntry::Free); });
    }
    if (bad) return false;
    std::sort(all.begin(), all.end());
    inUse = 0;
    for (std::size_t i = 0; i < all.size(); ++i)
        if ((i == 0 || all[i].first != all[i - 1].first) && (all[i].second & 1)) ++inUse;
    return true;
}

CrossReference::TablePass CrossReference::CountTablesInUse(std::size_t n, std::size_t& inUse) {
    // Each entry in use counts unless a run read before it lists its number:
    // a newer section's, or an earlier one of its own section.  A section
    // with a stream ends the pass (its entries could hide older ones), and
    // so does a number listed twice in one section (either of its entries
    // may be the one in use).
    std::vector<std::pair<std::int64_t, std::int64_t>> passed;  // (first, count) of the runs read
    bool twiceInSection = false;
    inUse = 0;
    std::string block;
    for (std::size_t k = 0; inUse < n; ++k) {
        if (k == sections_.size() && !NextSection())
            return broken_ || twiceInSection ? TablePass::Unsure : TablePass::Exact;
        const Section& s = sections_[k];
        if (s.stream || !s.table) return TablePass::Unsure;
        const std::size_t sectionStart = passed.size();
        for (const TableRun& run : s.tableRuns) {
            if (passed.size() >= limits::kTableRunsCounted) return TablePass::Unsure;
            auto listedBefore = [&](std::int64_t num) {
                for (std::size_t p = 0; p < passed.size(); ++p)
                    if (num >= passed[p].first && num - passed[p].first < passed[p].second) {
                        if (p >= sectionStart) twiceInSection = true;
                        return true;
                    }
                return false;
            };
            for (std::int64_t i = 0; i < run.count && inUse < n;) {
                const std::int64_t rows = std::min<std::int64_t>(run.count - i, 1600);
                if (!file_.Read(run.entries + run.width * i, static_cast<std::size_t>(run.width * rows), block) ||
                    static_cast<std::int64_t>(block.size()) < run.width * (rows - 1) + 18)
                    return TablePass::Unsure;
                for (std::int64_t r = 0; r < rows && inUse < n; ++r, ++i) {
                    XrefEntry e;
                    const Entry t = ParseTableEntry(block.data() + run.width * r, e);
                    if (t == Entry::Bad) return TablePass::Unsure;
                    if (t == Entry::InUse && !listedBefore(run.first + i)) ++inUse;
                }
            }
            passed.emplace_back(run.first, run.count);
        }
    }
    return TablePass::Enough;
}

std::optional<std::size_t> CrossReference::ObjectsInUse(std::size_t atLeast) {
    // Both figures are kept: the routes of one count ask again, and each
    // collection sorts every entry it covers.
    if (inUseAll_) return inUseAll_;
    // Tables are counted in one pass over their entries, newest first, which
    // stops once there are atLeast: a small count is confirmed from the
    // first entries of a long chain, and a chain of tables alone is counted
    // without sorting its entries.
    if (!tablePassUnsure_) {
        std::size_t inUse = 0;
        switch (CountTablesInUse(atLeast, inUse)) {
        case TablePass::Enough:
            return inUse;
        case TablePass::Exact:
            inUseAll_ = inUse;
            return inUse;
        case TablePass::Unsure:
            tablePassUnsure_ = true;
            break;
        }
    }
    if (!inUseNewest_) {
        std::size_t inUse = 0;
        if (!CollectInUse(1, inUse)) return std::nullopt;
        inUseNewest_ = inUse;
    }
    if (*inUseNewest_ >= atLeast) return inUseNewest_;
    while (NextSection()) {
    }
    std::size_t inUse = 0;
    if (broken_ || !CollectInUse(sections_.size(), inUse)) return std::nullopt;
    inUseAll_ = inUse;
    return inUse;
}

}  // namespace brastel::pdf
