// The text route, first of the chain (chain.cpp): the tail, the
// cross-reference table and the catalog or linearization dictionary, read as
// text and confirmed object by object against the table reading.
#include "brastelv1.h"
#include "syntax/lexer.h"
#include "pdflimits.h"
#include "streams/objectstream.h"
#include "syntax/textops.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>
#include <set>
#include <string_view>

namespace brastel {

using component::HResult;
using component::S_OK;
using component::Text;

namespace {
constexpr std::int32_t kTailChunk = 256;


// The top-level /Count of the object whose text starts one byte before its
// header, as readers read it: an integer or a real with no fraction.
std::optional<std::int32_t> TopLevelCount(const Text& text) {
    const auto header = pdf::ReadObjectHeader(text, 1);
    if (!header) return std::nullopt;
    const auto dict = pdf::Dict::At(text, header->body);
    if (!dict) return std::nullopt;
    const auto whole = dict->Get("/Count").Whole();
    if (!whole || *whole < INT32_MIN || *whole > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(*whole);
}

// Cuts the text just after the "e" of its first "endobj", if any.
void CutAtEndobj(Text& text) {
    if (const auto at = text.find("endobj"); at != Text::npos) text.resize(at + 1);
}

// The key occurs in the text, and before the first "endobj" of it, which
// must be there: the value was read inside the object that starts the text.
bool InsideObject(const Text& text, const char* key) {
    const auto k = text.find(key);
    const auto e = text.find("endobj");
    return k != Text::npos && e != Text::npos && k < e;
}

// The linearization dictionary in text: an object whose dictionary holds
// "/Linearized" and, in the same dictionary, "/N ".
bool LinearizationConfirmed(const Text& text) {
    const auto lin = text.find("/Linearized");
    const auto n = text.find("/N ");
    if (lin == Text::npos || n == Text::npos || n < lin) return false;
    if (text.substr(lin, n - lin).find(">>") != Text::npos) return false;
    const auto obj = text.rfind("obj", lin);
    if (obj == Text::npos) return false;
    // Walk back from "obj" over "<num> <gen> " to check the header.
    std::size_t start = obj;
    int groups = 0;
    while (start > 0 && groups < 2) {
        std::size_t j = start;
        while (j > 0 && IsPdfSpace(text[j - 1])) --j;
        std::size_t d = j;
        while (d > 0 && IsDigit(text[d - 1])) --d;
        if (d == j) return false;
        start = d;
        ++groups;
    }
    return groups == 2 && pdf::ReadObjectHeader(text, start).has_value();
}

}  // namespace

bool Brastelv1::Open(const std::string& path) {
    // O_NONBLOCK keeps a named pipe from blocking the open; only regular
    // files are read.  Nothing is ever created or written.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        openError_ = errno;
        return false;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        openError_ = 0;
        ::close(fd);
        return false;
    }
    file_ = fd;
    fileLength_ = st.st_size;
    path_ = path;
    blocks_.clear();
    return true;
}

void Brastelv1::DropXref() {
    if (!state_.xref) return;
    state_.bytesRead += state_.xref->file.bytesRead();
    state_.sectionsParsed += state_.xref->xref.sectionsParsed();
    state_.xref.reset();
}

void Brastelv1::Close() {
    // The cross-reference reader holds the descriptor: it ends with the file.
    DropXref();
    if (file_ >= 0) ::close(file_);
    file_ = -1;
    fileLength_ = 0;
    blocks_.clear();
}

bool Brastelv1::ObjectStartsAt(std::int32_t obj, std::int32_t offset) {
    // Read from one byte before the object so a number that the offset
    // enters in its middle is seen as such.
    if (offset < 1) return false;
    Text window(40, '\0');
    if (ReadAt(offset, window) < 0) return false;
    if (IsDigit(window[0])) return false;
    const auto header = pdf::ReadObjectHeader(window, 1);
    return header && header->number == obj;
}

bool Brastelv1::LocateObject(std::int32_t obj, std::int32_t XrefStart, std::int32_t bufferLength,
                             std::int32_t& offset) {
    std::int32_t p = 0;
    if (GetCrossRef(obj, XrefStart, p) < 0) return false;
    // Entry at p: the first number after the first line end of a window.
    Text buffer(static_cast<std::size_t>(bufferLength), ' ');
    if (ReadAt(p, buffer) < 0) return false;
    Text blank = " ";
    std::int16_t mode = 0;
    std::int32_t w = 0;
    if (ExtractNumber(buffer, LineEnd, blank, mode, w, offset) < 0) return false;
    return ObjectStartsAt(obj, offset);
}

bool Brastelv1::TextRoute(std::int32_t& count) {
    if (fileLength_ > INT32_MAX) return false;  // positions are 32-bit
    const std::int32_t L = static_cast<std::int32_t>(fileLength_);

    // Tail scan: the end of the file read backwards in 256-byte chunks and
    // kept in file order, so a keyword across two chunks is seen and the
    // last "startxref" is the one that counts.
    Text tail;
    std::int32_t start = L;  // 0-based offset where the tail begins
    std::int32_t XrefStart = 0;
    bool xrefChecked = false, eofSeen = false;
    for (;;) {
        const std::size_t fresh = tail.size() >= kTailChunk ? kTailChunk : tail.size();
        if (Text(tail, 0, std::min(tail.size(), fresh + 6)).find("trailer") != Text::npos && xrefChecked) break;
        if (start == 0 || tail.size() >= limits::kTailLimit) return false;
        const std::int32_t from = start > kTailChunk ? start - kTailChunk : 0;
        Text chunk(static_cast<std::size_t>(start - from), ' ');
        if (ReadAt(from + 1, chunk) < 0) return false;
        tail.insert(0, chunk);
        start = from;
        if (!eofSeen) {
            eofSeen = Contains(tail, "%%EOF");
            if (!eofSeen && tail.size() > limits::kEofWindow) return false;
        }
        if (!xrefChecked) {
            const auto sx = tail.rfind("startxref");
            if (sx == Text::npos) continue;
            // The offset after the last "startxref", up to the next "%%".
            Text text = tail.substr(sx), key = "startxref", mark = "%%";
            std::int16_t mode = 0;
            std::int32_t w = 0;
            if (ExtractNumber(text, key, mark, mode, w, XrefStart) < 0) return false;
            // Only a classic table starts with "xref"; anything else (a
            // cross-reference stream) is the structural reader's at once.
            Text head(4, ' ');
            if (XrefStart < 0 || XrefStart == INT32_MAX || ReadAt(XrefStart + 1, head) < 0 || head != "xref")
                return false;
            xrefChecked = true;
            state_.answer.xrefStart = XrefStart;
        }
    }
    // The trailer that belongs to the last section: the last one in the tail.
    const Text trailerText = tail.substr(tail.rfind("trailer"));
    // A hybrid file lists part of its objects only in a cross-reference
    // stream; the classic table could then lead to an older version.
    if (Contains(trailerText, "/XRefStm")) return false;
    LineEnd = DetectLineEnd(tail);

    Text HeadText(500, ' ');
    if (ReadAt(1, HeadText) < 0) return false;
    {
        Text buffer(256, ' '), blank = " ";
        std::int16_t mode = 1;
        std::int32_t w = 20, at = 0;
        if (XrefStart > INT32_MAX - 7 || ReadAt(XrefStart + 7, buffer) < 0) return false;
        if (ExtractNumber(buffer, LineEnd, blank, mode, w, at) < 0) return false;
        state_.linearPos = at;
    }
    if (Contains(HeadText, "/Linearized") || state_.linearPos != 0) {
        if (Contains(HeadText, "/Linearized")) state_.linearPos = 1;
        Text dict(512, ' ');
        if (ReadAt(state_.linearPos, dict) < 0) return false;
        if (Contains(dict, "/Linearized")) return LinearizedRoute(trailerText, XrefStart, count);
    }
    if (!Contains(trailerText, "/Root")) return false;
    return CatalogRoute(trailerText, XrefStart, false, count);
}

bool Brastelv1::CatalogRoute(const std::string& rootText, std::int32_t XrefStart, bool linearized,
                             std::int32_t& count) {
    Text text = rootText, key = "/Root", blank = " ", none;
    std::int16_t mode = 0;
    std::int32_t w = 0, root = 0;
    if (ExtractNumber(text, key, blank, mode, w, root) < 0) return false;
    FirstObject = 0;
    std::int32_t catalog = 0;
    if (!LocateObject(root, XrefStart, 256, catalog)) return false;
    if (linearized) {
        Text probe(512, ' ');
        if (ReadAt(catalog, probe) < 0) return false;
    }
    std::int32_t chunk = 512;
    key = "/Pages";
    if (FindCase(key, catalog, chunk, none, text) < 0 || !InsideObject(text, "/Pages")) return false;
    std::int32_t pages = 0;
    w = 0;
    if (ExtractNumber(text, key, blank, mode, w, pages) < 0) return false;
    std::int32_t pagesPos = 0;
    if (!LocateObject(pages, XrefStart, 512, pagesPos)) return false;
    key = "/Count";
    if (FindCase(key, pagesPos, chunk, none, text) < 0 || !InsideObject(text, "/Count")) return false;
    w = 0;
    Text literal = text;
    CutAtEndobj(literal);
    if (!linearized) literal = text;
    // The object is confirmed where the table says; when the literal
    // extraction fails on the value's layout, the value is read as a token.
    const HResult read = linearized ? ExtractNumber(literal, key, blank, mode, w, count)  // ends at a blank
                                    : ExtractNumber(literal, key, LineEnd, mode, w, count);
    if (read < 0) {
        const auto token = TopLevelCount(text);
        if (!token) return false;
        count = *token;
    }
    state_.answer.kind = TextAnswer::Kind::Catalog;
    state_.answer.root = root;
    state_.answer.catalogOffset = catalog;
    state_.answer.pages = pages;
    state_.answer.pagesOffset = pagesPos;
    // Whether the count is believed is the table reading's to say (Confirm).
    return count >= 1;
}

bool Brastelv1::LinearizedRoute(const std::string& trailerText, std::int32_t XrefStart, std::int32_t& count) {
    Text buffer(256, ' '), key = "/N ", blank = " ", none;
    std::int16_t mode = 0;
    std::int32_t w = 0, N = 0, Lval = 0;
    if (ReadAt(state_.linearPos, buffer) < 0) return false;
    const bool dictConfirmed = LinearizationConfirmed(buffer);
    if (ExtractNumber(buffer, key, blank, mode, w, N) < 0) return false;
    buffer.assign(256, ' ');
    if (ReadAt(state_.linearPos, buffer) < 0) return false;
    key = "/L ";
    w = 0;
    if (ExtractNumber(buffer, key, blank, mode, w, Lval) < 0) return false;
    const std::int64_t L = fileLength_;
    if (L > Lval) {
        // The file grew after it was linearized: the first object written
        // after the linearized part.
        key = "endobj";
        std::int32_t chunk = 256;
        if (FindCase(key, Lval, chunk, none, buffer) < 0) return false;
        CutAtEndobj(buffer);
    }
    if (Contains(buffer, "/Type /Page")) return ClimbPageTree(Lval, XrefStart, count);
    if (!Contains(trailerText, "/Root")) {
        // /N is the count only while the file is as it was linearized.
        count = N;
        state_.answer.kind = TextAnswer::Kind::LinearizedN;
        return dictConfirmed && L == Lval && count >= 1;
    }
    return CatalogRoute(trailerText, XrefStart, true, count);
}

bool Brastelv1::ClimbPageTree(std::int32_t Lval, std::int32_t XrefStart, std::int32_t& count) {
    Text buffer(512, ' '), blank = " ";
    std::int16_t mode = 0;
    std::int32_t w = 0;
    if (ReadAt(Lval, buffer) < 0) return false;
    CutAtEndobj(buffer);
    std::set<std::int32_t> visited;
    auto climbStep = [&](std::int32_t obj) {
        if (!visited.insert(obj).second || static_cast<int>(visited.size()) > limits::kParentClimb) return false;
        std::int32_t off = 0;
        if (!LocateObject(obj, XrefStart, 256, off)) return false;
        state_.answer.pages = obj;
        state_.answer.pagesOffset = off;
        buffer.assign(512, ' ');
        if (ReadAt(off, buffer) < 0) return false;
        CutAtEndobj(buffer);
        return true;
    };
    if (Contains(buffer, "Parent")) {
        while (Contains(buffer, "Parent")) {
            Text key = "Parent";
            std::int32_t obj = 0;
            w = 0;
            if (ExtractNumber(buffer, key, blank, mode, w, obj) < 0 || !climbStep(obj)) return false;
        }
    } else {
        const auto sp = buffer.find(' ');
        const auto obj = ToWholeNumber(sp == Text::npos ? buffer : buffer.substr(0, sp + 1));
        if (!obj || !climbStep(*obj)) return false;
    }
    if (!Contains(buffer, "/Count")) return false;
    Text key = "/Count";
    mode = 2;
    w = 0;
    Text literal = buffer;
    if (ExtractNumber(literal, key, LineEnd, mode, w, count) < 0) {
        const auto token = TopLevelCount(buffer);
        if (!token) return false;
        count = *token;
    }
    state_.answer.kind = TextAnswer::Kind::Climb;
    return count >= 1;
}

}  // namespace brastel
