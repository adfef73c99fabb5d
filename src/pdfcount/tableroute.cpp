// The table route: the classic cross-reference table read by its tokens
// rather than by fixed position arithmetic, so header lines and entries may
// use any line ends.  It runs when the text route cannot confirm a count and
// before the structural reader, which parses the whole file: most files
// written with a classic table are decided here from a few KB.  Like the
// text route, it trusts a count only from objects whose headers stand at the
// offsets the table gives.
#include "brastelv1.h"
#include "textops.h"

#include <algorithm>
#include <set>
#include <vector>

namespace brastel {

using component::Text;

namespace {
constexpr std::int64_t kTailWindow = 1024;
constexpr int kMaxSections = 1024;
constexpr int kMaxSubsections = 65536;
constexpr std::int64_t kEntryLength = 20;
constexpr std::size_t kTrailerWindow = 4096;
// Objects are read in growing windows until "endobj"; a page-tree root with
// a very long /Kids array is the largest object this route reads.
constexpr std::size_t kFirstObjectWindow = 4096;
constexpr std::size_t kMaxObjectWindow = std::size_t{1} << 20;

struct Subsection {
    std::int64_t first;
    std::int64_t count;
    std::int64_t entries;  // offset of the first entry
};
}  // namespace

bool Brastelv1::ReadBytes(std::int64_t offset, std::size_t n, Text& out) {
    if (offset < 0 || offset >= fileLength_ || offset >= INT32_MAX) return false;
    n = static_cast<std::size_t>(std::min<std::int64_t>(static_cast<std::int64_t>(n), fileLength_ - offset));
    out.assign(n, ' ');
    return ReadAt(static_cast<std::int32_t>(offset + 1), out) >= 0;
}

bool Brastelv1::ReadObjectText(std::int32_t obj, std::int64_t offset, Text& text) {
    if (offset > INT32_MAX || !ObjectStartsAt(obj, static_cast<std::int32_t>(offset))) return false;
    for (std::size_t n = kFirstObjectWindow; n <= kMaxObjectWindow; n *= 4) {
        if (!ReadBytes(offset, n, text)) return false;
        if (const auto end = text.find("endobj"); end != Text::npos) {
            text.resize(end);
            return true;
        }
        if (static_cast<std::int64_t>(text.size()) < static_cast<std::int64_t>(n)) return false;  // end of file
    }
    return false;
}

bool Brastelv1::TableRoute(std::int32_t& count) {
    if (fileLength_ > INT32_MAX) return false;
    Text tail;
    const std::int64_t tailAt = std::max<std::int64_t>(0, fileLength_ - kTailWindow);
    if (!ReadBytes(tailAt, kTailWindow, tail)) return false;
    const auto sx = tail.rfind("startxref");
    if (sx == Text::npos) return false;
    const auto first = IntegerAfterKey(std::string_view(tail).substr(sx), "startxref");
    if (!first) return false;

    // Sections newest first along the /Prev chain, each read once.
    std::vector<std::vector<Subsection>> sections;
    Text rootTrailer;
    std::set<std::int64_t> seen;
    auto readSection = [&](std::int64_t at, std::vector<Subsection>& subs, Text& trailer) {
        Text w;
        if (!seen.insert(at).second || !ReadBytes(at, 64, w) || w.compare(0, 4, "xref") != 0) return false;
        std::int64_t pos = at + 4;
        for (int n = 0; n <= kMaxSubsections; ++n) {
            if (!ReadBytes(pos, 64, w)) return false;
            std::size_t i = 0;
            while (i < w.size() && IsPdfSpace(w[i])) ++i;
            if (w.compare(i, 7, "trailer") == 0) {
                if (!ReadBytes(pos + static_cast<std::int64_t>(i), kTrailerWindow, trailer)) return false;
                if (const auto end = trailer.find("startxref"); end != Text::npos) trailer.resize(end);
                return true;
            }
            // "first count", then the line end before the first entry.
            auto number = [&](std::int64_t& v) {
                const std::size_t from = i;
                v = 0;
                while (i < w.size() && IsDigit(w[i]) && i - from < 10) v = v * 10 + (w[i++] - '0');
                return i > from && i < w.size() && !IsDigit(w[i]);
            };
            Subsection s{};
            if (!number(s.first) || (w[i] != ' ' && w[i] != '\t')) return false;
            while (i < w.size() && (w[i] == ' ' || w[i] == '\t')) ++i;
            if (!number(s.count)) return false;
            while (i < w.size() && IsPdfSpace(w[i])) ++i;
            s.entries = pos + static_cast<std::int64_t>(i);
            if (s.entries + kEntryLength * s.count > fileLength_) return false;
            subs.push_back(s);
            pos = s.entries + kEntryLength * s.count;
        }
        return false;
    };
    std::int64_t next = *first;
    auto nextSection = [&]() {
        if (next < 0 || static_cast<int>(sections.size()) >= kMaxSections) return false;
        std::vector<Subsection> subs;
        Text trailer;
        if (!readSection(next, subs, trailer)) return false;
        // A hybrid file lists objects in a cross-reference stream too.
        if (FindKey(trailer, "/XRefStm")) return false;
        if (sections.empty()) rootTrailer = trailer;
        sections.push_back(std::move(subs));
        const auto prev = IntegerAfterKey(trailer, "/Prev");
        next = prev ? *prev : -1;
        return true;
    };
    if (!nextSection()) return false;

    // The newest entry of an object decides: in use with its offset, or free.
    auto locate = [&](std::int32_t obj, std::int64_t& offset) {
        for (std::size_t k = 0;; ++k) {
            if (k == sections.size() && !nextSection()) return false;
            for (const Subsection& s : sections[k]) {
                if (obj < s.first || obj >= s.first + s.count) continue;
                Text e;
                if (!ReadBytes(s.entries + kEntryLength * (obj - s.first), 18, e) || e.size() < 18) return false;
                for (int j = 0; j < 10; ++j)
                    if (!IsDigit(e[j])) return false;
                if (e[10] != ' ' || e[16] != ' ' || e[17] != 'n') return false;
                offset = std::stoll(e.substr(0, 10));
                return true;
            }
        }
    };

    const auto root = ReferenceAfterKey(rootTrailer, "/Root");
    std::int64_t at = 0;
    Text catalog, pages;
    if (!root || !locate(*root, at) || !ReadObjectText(*root, at, catalog)) return false;
    const auto pagesObj = ReferenceAfterKey(catalog, "/Pages");
    if (!pagesObj || !locate(*pagesObj, at) || !ReadObjectText(*pagesObj, at, pages)) return false;
    const auto counted = IntegerAfterKey(pages, "/Count");
    if (!counted || !Plausible(*counted, fileLength_)) return false;
    count = *counted;
    return true;
}

}  // namespace brastel
