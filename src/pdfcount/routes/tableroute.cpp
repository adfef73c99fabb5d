// The table route: the classic cross-reference table read by its tokens
// rather than by fixed position arithmetic, so header lines and entries may
// use any line ends.  The same reading confirms the text route's answer.
//
// It reads as readers read: the last "startxref", which must lead to a
// cross-reference section (bytes appended after it that hold none change
// nothing; one that leads nowhere, or stands more than a kilobyte before
// the end with objects written after it, leaves the file to the readers
// that rebuild it, as readers do), every
// subsection of a section before its /Prev, the newest entry of an object
// (a free one ends the search), and keys only at the top level of the
// trailer, the catalog and the page-tree root.
#include "brastelv1.h"
#include "syntax/lexer.h"
#include "pdflimits.h"
#include "pagetree.h"
#include "syntax/textops.h"

#include <algorithm>
#include <set>

namespace brastel {

using component::Text;
using pdf::Value;
using Keys = std::initializer_list<std::string_view>;

namespace {
constexpr std::int64_t kTailWindow = 1024;
constexpr std::int64_t kEntryLength = 20;
// Dictionaries and objects are read in growing windows until complete,
// up to limits::kTableWindow.  The first window is what the text route has read already.
constexpr std::size_t kFirstWindow = 512;

bool IsKeywordAt(std::string_view text, std::size_t at, std::string_view key) {
    return text.compare(at, key.size(), key) == 0 && (at == 0 || !IsRegular(text[at - 1])) &&
           (at + key.size() >= text.size() || !IsRegular(text[at + key.size()]));
}

// Some "N G obj" header stands in the text.
bool HoldsObjectHeader(std::string_view text) {
    for (std::size_t at = text.find("obj"); at != std::string_view::npos; at = text.find("obj", at + 1)) {
        if (!IsKeywordAt(text, at, "obj")) continue;
        // Back over " G " and "N" to where the header would start.
        std::size_t j = at;
        for (int part = 0; part < 2; ++part) {
            while (j > 0 && IsPdfSpace(text[j - 1])) --j;
            while (j > 0 && IsDigit(text[j - 1])) --j;
        }
        const auto header = pdf::ReadObjectHeader(text, j);
        if (header && header->body == at + 3) return true;
    }
    return false;
}
}  // namespace

bool Brastelv1::ReadBytes(std::int64_t offset, std::size_t n, Text& out) {
    if (offset < 0 || offset >= fileLength_ || offset >= INT32_MAX) return false;
    n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(n), fileLength_ - offset));
    out.assign(n, ' ');
    return ReadAt(static_cast<std::int32_t>(offset + 1), out) >= 0;
}

namespace {
enum class DictEnd { Closed, Broken, Cut, None };

// One pass over the dictionary at pos: the top-level values of the keys
// (the last occurrence wins, as readers take it), and how it ends: closed
// with nothing but name-value pairs, broken by a stray token, or cut by the
// end of the window.
DictEnd ReadEntries(std::string_view text, std::size_t pos, const Keys& keys, Value* values) {
    for (std::size_t k = 0; k < keys.size(); ++k) values[k] = Value{};
    pdf::Lexer lex(text, pos);
    if (lex.Next().kind != pdf::Token::Kind::DictOpen) return DictEnd::None;
    for (;;) {
        const pdf::Token key = lex.Next();
        if (key.kind == pdf::Token::Kind::DictClose) return DictEnd::Closed;
        if (key.kind == pdf::Token::Kind::End) return DictEnd::Cut;
        if (key.kind != pdf::Token::Kind::Name) return DictEnd::Broken;
        const Value value = pdf::ReadValue(lex);
        if (value.Is(Value::Kind::Missing)) return DictEnd::Cut;
        if (value.Is(Value::Kind::Bad)) return lex.pos() >= text.size() ? DictEnd::Cut : DictEnd::Broken;
        std::size_t k = 0;
        for (const std::string_view wanted : keys) {
            if (pdf::NameEquals(key.text, wanted)) values[k] = value;
            ++k;
        }
    }
}
}  // namespace

bool Brastelv1::ReadDictAt(std::int64_t offset, std::size_t skip, Text& text, const Keys& keys, Value* values,
                           bool tolerateBreak) {
    for (std::size_t n = kFirstWindow; n <= limits::kTableWindow; n *= 4) {
        if (!ReadBytes(offset, n, text) || text.size() < skip) return false;
        switch (ReadEntries(text, skip, keys, values)) {
        case DictEnd::Closed:
            return true;
        case DictEnd::Broken:
            // What was read before the break is what a reader sees too.
            return tolerateBreak;
        case DictEnd::Cut:
            if (text.size() < n) return false;  // the file ends inside it
            break;
        case DictEnd::None:
            return false;
        }
    }
    return false;
}

bool Brastelv1::ReadObjectDict(std::int32_t obj, std::int64_t offset, Text& text, const Keys& keys, Value* values) {
    // From the byte before the header, so that a number the offset enters
    // in its middle is seen as such.
    if (offset < 1 || offset > INT32_MAX) return false;
    Text head;
    if (!ReadBytes(offset - 1, 64, head) || head.empty() || IsDigit(head[0])) return false;
    const auto header = pdf::ReadObjectHeader(head, 1);
    return header && header->number == obj && ReadDictAt(offset - 1, header->body, text, keys, values, false);
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

bool Brastelv1::ReadSection(std::int64_t at, XrefSection& section) {
    Text w;
    if (!ReadBytes(at, 64, w) || !IsKeywordAt(w, 0, "xref")) return false;
    std::int64_t pos = at + 4;
    for (int n = 0; n <= limits::kTableSubsections; ++n) {
        if (!ReadBytes(pos, 64, w)) return false;
        pdf::Lexer lex(w);
        const pdf::Token first = lex.Next();
        if (first.kind == pdf::Token::Kind::Keyword && first.text == "trailer") {
            Text text;
            Value v[3];
            if (!ReadDictAt(pos + static_cast<std::int64_t>(lex.pos()), 0, text, {"/Prev", "/Root", "/XRefStm"}, v, true))
                return false;
            const Value &prev = v[0], &root = v[1], &stream = v[2];
            section.prev = prev.Is(Value::Kind::Missing) ? -1 : prev.Whole().value_or(-2);
            section.root = root.Is(Value::Kind::Ref) ? root.integer : -1;
            // A hybrid file lists objects in a cross-reference stream too.
            section.hybrid = !stream.Is(Value::Kind::Missing);
            if (section.hybrid) StreamRanges(stream, section);
            return section.prev != -2;
        }
        // "first count", then the entries from the next line on.
        const pdf::Token count = lex.Next();
        if (first.kind != pdf::Token::Kind::Integer || count.kind != pdf::Token::Kind::Integer || first.integer < 0 ||
            count.integer < 0 || first.text[0] == '+' || count.text[0] == '+')
            return false;
        std::size_t i = lex.pos();
        while (i < w.size() && IsPdfSpace(w[i])) ++i;
        XrefSubsection s{first.integer, count.integer, pos + static_cast<std::int64_t>(i), kEntryLength};
        if (s.count > 0) {
            // Entries are 20 bytes; some writers end them with a one-byte
            // line end, making them 19.
            Text e;
            if (!ReadBytes(s.entries, 20, e) || !EntryShape(e) || e.size() < 20) return false;
            if ((e[18] == '\r' || e[18] == '\n') && e[19] != '\n') s.width = 19;
        }
        if (s.count > (fileLength_ - s.entries) / s.width) return false;
        pos = s.entries + s.width * s.count;
        // A count larger than the entries written runs into what follows
        // them: the subsection ends at its last real entry.
        if (!ReadBytes(pos, 16, w)) w.clear();
        std::size_t j = 0;
        while (j < w.size() && IsPdfSpace(w[j])) ++j;
        if (!(j < w.size() && IsDigit(w[j])) && w.compare(j, 7, "trailer") != 0) {
            std::int64_t real = 0;
            for (Text e; real < s.count && ReadBytes(s.entries + s.width * real, 18, e) && EntryShape(e);) ++real;
            s.count = real;
            pos = s.entries + s.width * s.count;
        }
        section.subsections.push_back(s);
    }
    return false;
}

void Brastelv1::StreamRanges(const Value& at, XrefSection& section) {
    // The object numbers a hybrid section's cross-reference stream may
    // list: its /Index, or 0 to /Size.  Its data is not needed for that.
    // When its dictionary cannot be read, it may list any object.
    section.streamRanges = {{0, INT64_MAX}};
    const auto offset = at.Whole();
    Text text, head;
    Value v[2];
    if (!offset || *offset < 0 || !ReadBytes(*offset, 64, head)) return;
    const auto header = pdf::ReadObjectHeader(head, 0);
    if (!header || !ReadDictAt(*offset, header->body, text, {"/Index", "/Size"}, v, false)) return;
    std::vector<std::pair<std::int64_t, std::int64_t>> ranges;
    const Value& index = v[0];
    if (index.Is(Value::Kind::Missing)) {
        const auto size = v[1].Whole();
        if (!size || *size < 0) return;
        ranges.push_back({0, *size});
    } else {
        // Pairs of first object and count, all whole numbers of at least 0.
        std::vector<std::int64_t> numbers;
        bool whole = true;
        if (!pdf::ForEachItem(index, [&](const Value& v) {
                const auto n = v.Whole();
                whole = n && *n >= 0;
                if (whole) numbers.push_back(*n);
                return whole;
            }) ||
            !whole || numbers.size() % 2 != 0)
            return;
        for (std::size_t i = 0; i < numbers.size(); i += 2) ranges.push_back({numbers[i], numbers[i + 1]});
    }
    section.streamRanges = std::move(ranges);
}

bool Brastelv1::XrefFound() {
    if (!state_.xrefFound && state_.otherSectionAt >= 0) state_.xrefFound = IsXrefStream(state_.otherSectionAt);
    state_.otherSectionAt = -1;
    return state_.xrefFound;
}

bool Brastelv1::IsXrefStream(std::int64_t offset) {
    Text head, text;
    Value type;
    if (!ReadBytes(offset, 64, head) || head.empty() || !IsDigit(head[0])) return false;
    const auto header = pdf::ReadObjectHeader(head, 0);
    if (!header || !ReadDictAt(offset, header->body, text, {"/Type"}, &type, true)) return false;
    return type.Is(Value::Kind::Name) && pdf::NameEquals(type.text, "/XRef");
}

bool Brastelv1::FindLastSection(XrefSection& section) {
    // The last "startxref" keyword decides: its offset leads to a section
    // that reads whole, or the route has no section.  An earlier one is
    // never taken instead: readers rebuild such a file, and what they find
    // then is the newest of everything in it (another whole file appended
    // gives that file's pages).
    std::int64_t end = fileLength_;
    std::int64_t window = kTailWindow;
    while (end > 0 && fileLength_ - end < limits::kStartxrefSearch) {
        const std::int64_t from = std::max<std::int64_t>(0, end - window);
        Text tail;
        if (!ReadBytes(from, static_cast<std::size_t>(end - from), tail)) return false;
        for (std::size_t sx = tail.rfind("startxref"); sx != Text::npos;
             sx = sx == 0 ? Text::npos : tail.rfind("startxref", sx - 1)) {
            if (!IsKeywordAt(tail, sx, "startxref")) continue;
            // Readers look for it only near the end of the file (qpdf and
            // mutool within 1 KB).  Further back, with objects written after
            // it, it is an older revision's: an update whose own section was
            // never written, or was cut off.  Readers rebuild such a file,
            // and its newest objects decide.
            const std::int64_t keywordAt = from + static_cast<std::int64_t>(sx);
            if (fileLength_ - keywordAt > kTailWindow) {
                Text after;
                if (!ReadBytes(keywordAt, static_cast<std::size_t>(fileLength_ - keywordAt), after) ||
                    HoldsObjectHeader(after))
                    return false;
            }
            pdf::Lexer lex(tail, sx + 9);
            const pdf::Token offset = lex.Next();
            if (offset.kind != pdf::Token::Kind::Integer || offset.integer < 0 || offset.integer >= fileLength_)
                return false;
            Text head;
            if (!ReadBytes(offset.integer, 64, head)) return false;
            if (IsKeywordAt(head, 0, "xref")) {
                section = XrefSection{};
                section.at = offset.integer;
                if (!ReadSection(offset.integer, section)) return false;
                state_.xrefFound = true;
                return true;
            }
            // Perhaps a cross-reference stream: not this route's to read.
            state_.otherSectionAt = offset.integer;
            return false;
        }
        if (state_.fileChanged) return false;
        // Keep the keyword's length of overlap with the part already seen.
        end = from + 16 < end ? from + 16 : from;
        if (from == 0) break;
        window = 64 * kTailWindow;
    }
    return false;
}

bool Brastelv1::Locate(std::int64_t obj, std::vector<XrefSection>& sections, std::int64_t& offset) {
    // The newest entry decides: every subsection of a section is looked at
    // before the section before it; an entry in use gives the offset, a free
    // one means the object does not exist.
    std::set<std::int64_t> seen;
    for (const auto& s : sections) seen.insert(s.at);
    for (std::size_t k = 0;; ++k) {
        if (k == sections.size()) {
            const std::int64_t prev = sections.back().prev;
            if (prev < 0 || static_cast<int>(sections.size()) >= limits::kTableSections || !seen.insert(prev).second)
                return false;
            XrefSection older;
            older.at = prev;
            if (!ReadSection(prev, older)) return false;
            sections.push_back(std::move(older));
        }
        // A hybrid section may list the object in its cross-reference
        // stream, which this reading does not see: where its table and its
        // stream could both speak of the object, readers differ.
        for (const auto& [first, count] : sections[k].streamRanges)
            if (obj >= first && obj - first < count) return false;
        for (const XrefSubsection& s : sections[k].subsections) {
            if (obj < s.first || obj - s.first >= s.count) continue;
            Text e;
            if (!ReadBytes(s.entries + s.width * (obj - s.first), 18, e) || !EntryShape(e) || e[17] != 'n')
                return false;
            offset = std::stoll(e.substr(0, 10));
            return true;
        }
    }
}

bool Brastelv1::ReadTree(const TreeFacts*& facts) {
    if (state_.treeState == TreeState::Unread) {
        state_.treeState = ReadTreeOnce(state_.tree) ? TreeState::Read : TreeState::Failed;
    }
    facts = &state_.tree;
    return state_.treeState == TreeState::Read;
}

bool Brastelv1::ReadTreeOnce(TreeFacts& facts) {
    if (fileLength_ > INT32_MAX) {
        state_.xrefFound = true;  // not looked for: others may find it
        return false;
    }
    std::vector<XrefSection> sections(1);
    if (!FindLastSection(sections[0])) return false;
    if (sections[0].root < 0) return false;
    facts.xref = sections[0].at;
    facts.root = sections[0].root;

    Text text;
    Value pages, count;
    if (facts.root > INT32_MAX || !Locate(facts.root, sections, facts.catalogOffset) ||
        !ReadObjectDict(static_cast<std::int32_t>(facts.root), facts.catalogOffset, text, {"/Pages"}, &pages))
        return false;
    if (!pages.Is(Value::Kind::Ref) || pages.integer > INT32_MAX) return false;
    facts.pages = pages.integer;
    if (!Locate(facts.pages, sections, facts.pagesOffset) ||
        !ReadObjectDict(static_cast<std::int32_t>(facts.pages), facts.pagesOffset, text, {"/Count"}, &count))
        return false;
    Text countText;
    if (count.Is(Value::Kind::Ref)) {
        // A count kept in an object of its own.
        std::int64_t at = 0;
        if (count.integer > INT32_MAX || !Locate(count.integer, sections, at) || at > INT32_MAX ||
            !ObjectStartsAt(static_cast<std::int32_t>(count.integer), static_cast<std::int32_t>(at)) ||
            !ReadBytes(at, 256, countText))
            return false;
        const auto header = pdf::ReadObjectHeader(countText, 0);
        if (!header) return false;
        pdf::Lexer lex(countText, header->body);
        count = pdf::ReadValue(lex);
    }
    // The rule every route shares; what it leaves to the leaves of the tree
    // is for a route that walks it.
    const auto whole = count.Whole();
    if (!whole || *whole < 1) return false;
    const CountClaim claim{CountClaim::Whole, *whole};
    if (JudgeRootCount(claim, [&](std::size_t n) { return ObjectsInUseAtLeast(sections, n); }) != CountRule::Answer)
        return false;
    facts.count = static_cast<std::int32_t>(*whole);
    return true;
}

bool Brastelv1::ObjectsInUseAtLeast(std::vector<XrefSection>& sections, std::size_t n) {
    // Each object counts once, by its newest entry: an entry whose number a
    // subsection read before it lists (a newer section's, or an earlier one
    // of its own section) is passed over.  What a hybrid section's stream
    // lists is not counted, which only makes the count lower.  Beyond a few
    // hundred subsections the route leaves the judgement to the stream route.
    constexpr std::size_t kMaxRanges = 256;
    std::vector<std::pair<std::int64_t, std::int64_t>> seen;  // (first, count) of the subsections read
    auto listedBefore = [&](std::int64_t num) {
        for (const auto& [first, count] : seen)
            if (num >= first && num - first < count) return true;
        return false;
    };
    std::size_t inUse = 0;
    Text block;
    for (std::size_t k = 0; inUse < n; ++k) {
        if (k == sections.size()) {
            const std::int64_t prev = sections.back().prev;
            if (prev < 0 || static_cast<int>(sections.size()) >= limits::kTableSections) return false;
            for (const auto& s : sections)
                if (s.at == prev) return false;
            XrefSection older;
            older.at = prev;
            if (!ReadSection(prev, older)) return false;
            sections.push_back(std::move(older));
        }
        for (const XrefSubsection& s : sections[k].subsections) {
            if (seen.size() >= kMaxRanges) return false;
            for (std::int64_t i = 0; i < s.count && inUse < n;) {
                const std::int64_t rows = std::min<std::int64_t>(s.count - i, 1600);
                if (!ReadBytes(s.entries + s.width * i, static_cast<std::size_t>(s.width * rows), block) ||
                    static_cast<std::int64_t>(block.size()) < s.width * (rows - 1) + 18)
                    return false;
                for (std::int64_t r = 0; r < rows; ++r, ++i) {
                    const std::string_view e(block.data() + s.width * r, 18);
                    if (!EntryShape(e)) return false;
                    if (e[17] == 'n' && (seen.empty() || !listedBefore(s.first + i))) ++inUse;
                }
            }
            seen.emplace_back(s.first, s.count);
        }
    }
    return true;
}

bool Brastelv1::TableRoute(std::int32_t& count) {
    const TreeFacts* facts = nullptr;
    if (!ReadTree(facts)) return false;
    count = facts->count;
    return true;
}

}  // namespace brastel
