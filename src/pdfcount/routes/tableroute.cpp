// The table route: the classic cross-reference table read by its tokens
// rather than by fixed position arithmetic, so header lines and entries may
// use any line ends.  The same reading confirms the text route's answer.
// The sections are read by the count's one reader of cross-references
// (pdf::CrossReference), which the stream route looks up after this one.
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

namespace brastel {

using component::Text;
using pdf::Value;
using Keys = std::initializer_list<std::string_view>;

namespace {
constexpr std::int64_t kTailWindow = 1024;
// Dictionaries and objects are read in growing windows until complete,
// up to limits::kTableWindow.  The first window is what the text route has read already.
constexpr std::size_t kFirstWindow = 512;

bool IsKeywordAt(std::string_view text, std::size_t at, std::string_view key) {
    return text.compare(at, key.size(), key) == 0 && (at == 0 || !IsRegular(text[at - 1])) &&
           (at + key.size() >= text.size() || !IsRegular(text[at + key.size()]));
}

// Some "N G obj" header stands in the text.  A window cut out of the file
// (inside) counts only headers it holds with what stands around them, so
// that the same bytes are a header in the whole file too.
bool HoldsObjectHeader(std::string_view text, bool inside = false) {
    for (std::size_t at = text.find("obj"); at != std::string_view::npos; at = text.find("obj", at + 1)) {
        if (!IsKeywordAt(text, at, "obj")) continue;
        // Back over " G " and "N" to where the header would start.
        std::size_t j = at;
        for (int part = 0; part < 2; ++part) {
            while (j > 0 && IsPdfSpace(text[j - 1])) --j;
            while (j > 0 && IsDigit(text[j - 1])) --j;
        }
        if (inside && (j == 0 || at + 3 >= text.size())) continue;
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

bool Brastelv1::ReadDictAt(std::int64_t offset, std::size_t skip, Text& text, const Keys& keys, Value* values,
                           bool tolerateBreak) {
    for (std::size_t n = kFirstWindow; n <= limits::kTableWindow; n *= 4) {
        if (!ReadBytes(offset, n, text) || text.size() < skip) return false;
        switch (pdf::ReadDictEntries(text, skip, keys, values)) {
        case pdf::DictEnd::Closed:
            return true;
        case pdf::DictEnd::Broken:
            // What was read before the break is what a reader sees too.
            return tolerateBreak;
        case pdf::DictEnd::Cut:
            if (text.size() < n) return false;  // the file ends inside it
            break;
        case pdf::DictEnd::None:
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

pdf::CountXref& Brastelv1::Xref() {
    if (!state_.xref) {
        state_.xref = std::make_unique<pdf::CountXref>(file_, fileLength_);
        // The text route read the end of the file already; the newest
        // section, or its trailer, is usually there.
        std::int64_t tailAt = 0;
        std::string tail = CachedTail(FileReader::kWindow, &tailAt);
        state_.xref->file.Seed(tailAt, std::move(tail));
        // Small reads come from the blocks the text route and this one read,
        // and stay there for them: one cache of the file's bytes per count.
        state_.xref->file.SetSource([this](std::int64_t offset, std::size_t n, std::string& out) {
            if (offset + static_cast<std::int64_t>(n) >= INT32_MAX) return 0;
            return ReadBytes(offset, n, out) ? 1 : -1;
        });
    }
    return *state_.xref;
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

bool Brastelv1::FindLastSection(std::int64_t& startxref) {
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
            // White space before "xref" is passed over, as pdfinfo and
            // mutool pass it.  qpdf rebuilds such a file (to the same
            // objects): libqpdf without reconstruction cannot read it, so it
            // does not count as found for that reader.
            std::size_t word = 0;
            while (word < head.size() && IsPdfSpace(head[word])) ++word;
            if (IsKeywordAt(head, word, "xref")) {
                pdf::CountXref& xref = Xref();
                const bool opened = xref.Open(offset.integer);
                if (xref.file.shrank()) state_.fileChanged = true;
                if (!opened || state_.fileChanged) return false;
                state_.xrefFound = word == 0;
                startxref = offset.integer;
                return true;
            }
            // Perhaps a cross-reference stream: not this route's to read.
            state_.otherSectionAt = offset.integer;
            return false;
        }
        if (state_.fileChanged) return false;
        // An object written after any "startxref" still further back makes
        // it an older revision's, which the route does not take (see above):
        // a file cut short, or ending in objects, is not read back a
        // megabyte for nothing.
        if (HoldsObjectHeader(tail, true)) return false;
        // Keep the keyword's length of overlap with the part already seen.
        end = from + 16 < end ? from + 16 : from;
        if (from == 0) break;
        window = 64 * kTailWindow;
    }
    return false;
}

bool Brastelv1::Locate(std::int64_t obj, std::int64_t& offset) {
    // The newest entry decides: an entry in use gives the offset, a free one
    // means the object does not exist; one in an object stream is not this
    // route's to read.
    pdf::XrefEntry e;
    const bool found = Xref().xref.Find(obj, e) == pdf::CrossReference::Lookup::Found;
    if (Xref().file.shrank()) state_.fileChanged = true;
    if (!found || state_.fileChanged || e.type != pdf::XrefEntry::InUse) return false;
    offset = e.field2;
    return true;
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
    std::int64_t startxref = -1;
    if (!FindLastSection(startxref)) return false;
    const auto trailer = pdf::Dict::At(Xref().xref.trailer());
    const Value root = trailer ? trailer->Get("/Root") : Value{};
    if (!root.Is(Value::Kind::Ref) || root.integer < 0) return false;
    facts.xref = startxref;
    facts.root = root.integer;

    Text text;
    Value pages, count;
    if (facts.root > INT32_MAX || !Locate(facts.root, facts.catalogOffset) ||
        !ReadObjectDict(static_cast<std::int32_t>(facts.root), facts.catalogOffset, text, {"/Pages"}, &pages))
        return false;
    if (!pages.Is(Value::Kind::Ref) || pages.integer > INT32_MAX) return false;
    facts.pages = pages.integer;
    if (!Locate(facts.pages, facts.pagesOffset) ||
        !ReadObjectDict(static_cast<std::int32_t>(facts.pages), facts.pagesOffset, text, {"/Count"}, &count))
        return false;
    Text countText;
    if (count.Is(Value::Kind::Ref)) {
        // A count kept in an object of its own.
        std::int64_t at = 0;
        if (count.integer > INT32_MAX || !Locate(count.integer, at) || at > INT32_MAX ||
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
    if (JudgeRootCount(claim, [&](std::size_t n) { return ObjectsInUseAtLeast(n); }) != CountRule::Answer)
        return false;
    facts.count = static_cast<std::int32_t>(*whole);
    return true;
}

bool Brastelv1::ObjectsInUseAtLeast(std::size_t n) {
    // Each object counts once, by its newest entry.
    const auto inUse = Xref().xref.ObjectsInUse(n);
    if (Xref().file.shrank()) state_.fileChanged = true;
    return inUse && !state_.fileChanged && *inUse >= n;
}

bool Brastelv1::TableRoute(std::int32_t& count) {
    const TreeFacts* facts = nullptr;
    if (!ReadTree(facts)) return false;
    count = facts->count;
    return true;
}

}  // namespace brastel
