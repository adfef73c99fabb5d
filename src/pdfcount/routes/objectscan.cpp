#include "routes/objectscan.h"

#include "syntax/lexer.h"
#include "pdflimits.h"

#include <component/read_fully.h>
#include "pagetree.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <set>
#include <string_view>

namespace brastel {

namespace {

using pdf::Dict;
using pdf::Value;

constexpr std::size_t kReadSize = std::size_t{1} << 20;  // one read per megabyte
constexpr std::size_t kBehind = 64;                      // kept before the scan point: a header's numbers
constexpr std::size_t kDictWindow = 4096;
// A /Length object is almost always written right before or after its
// stream; only the last few headers are looked at for one.
constexpr std::size_t kLengthLookBack = 16;
constexpr std::int64_t kNone = -1;

// Reads n bytes at `at` of a file whose length was `length` at open.  A read
// that ends before min(at + n, length) means the file shrank: false.
bool ReadExactly(int fd, std::int64_t length, std::int64_t at, std::size_t n, char* out, std::size_t& got) {
    const std::int64_t want = std::max<std::int64_t>(0, std::min<std::int64_t>(static_cast<std::int64_t>(n), length - at));
    const std::int64_t r = component::ReadFully(fd, out, static_cast<std::size_t>(want), at);
    got = r > 0 ? static_cast<std::size_t>(r) : 0;
    return r == want;
}

// The file seen through one buffer that moves forward.
class Stream {
public:
    // Sized to the file when it is small, so a small file costs no large
    // allocation; never filled before it is read into.
    Stream(int fd, std::int64_t length)
        : fd_(fd), length_(length),
          size_(static_cast<std::size_t>(std::min<std::int64_t>(length, kReadSize + limits::kScanDictWindow + kBehind))),
          buf_(new char[size_ + 1]) {}

    // Makes [at, at + need) available (less only at the end of the file) and
    // returns the loaded bytes from `at` on; false when the file shrank.
    bool Load(std::int64_t at, std::size_t need, std::string_view& view) {
        const std::int64_t want = std::min<std::int64_t>(at + static_cast<std::int64_t>(need), length_);
        if (at < base_ || want > end()) {
            base_ = std::max<std::int64_t>(0, at - static_cast<std::int64_t>(kBehind));
            ++generation_;
            if (!ReadExactly(fd_, length_, base_, size_, buf_.get(), len_)) return false;
        }
        view = std::string_view(buf_.get() + (at - base_), static_cast<std::size_t>(end() - at));
        return true;
    }
    std::int64_t base() const { return base_; }
    std::int64_t end() const { return base_ + static_cast<std::int64_t>(len_); }
    const char* data() const { return buf_.get(); }
    std::uint64_t generation() const { return generation_; }

private:
    int fd_;
    std::int64_t length_;
    std::size_t size_;
    std::unique_ptr<char[]> buf_;
    std::int64_t base_ = 0;
    std::size_t len_ = 0;
    std::uint64_t generation_ = 0;
};

class Scanner {
public:
    Scanner(int fd, std::int64_t length, ObjectIndex& index)
        : fd_(fd), length_(length), stream_(fd, length), index_(index) {}

    ScanStatus Run() {
        std::int64_t pos = 0;
        while (pos < length_) {
            std::string_view view;
            if (!stream_.Load(pos, 16, view)) return ScanStatus::Changed;
            const std::int64_t obj = Next("obj", pos, objAt_, objGen_);
            const std::int64_t trailer = Next("trailer", pos, trailerAt_, trailerGen_);
            if (obj == kNone && trailer == kNone) {
                if (stream_.end() >= length_) break;
                pos = std::max(pos + 1, stream_.end() - 8);  // a keyword across the border is seen
                continue;
            }
            std::int64_t after = 0;
            const bool ok = (trailer != kNone && (obj == kNone || trailer < obj)) ? Trailer(trailer, after)
                                                                                    : Object(obj, after);
            if (!ok) return ScanStatus::Changed;
            if (index_.objects.size() > limits::kScanObjects) return ScanStatus::TooLarge;
            pos = after;
        }
        Finish();
        return ScanStatus::Read;
    }

private:
    // Next occurrence of key at or after pos in the loaded bytes, cached so
    // that each byte is searched once per key.
    std::int64_t Next(std::string_view key, std::int64_t pos, std::int64_t& cached, std::uint64_t& gen) {
        if (gen == stream_.generation() && (cached == kNone || cached >= pos)) return cached;
        gen = stream_.generation();
        const std::string_view loaded(stream_.data(), static_cast<std::size_t>(stream_.end() - stream_.base()));
        const std::size_t at = loaded.find(key, static_cast<std::size_t>(pos - stream_.base()));
        cached = at == std::string_view::npos ? kNone : stream_.base() + static_cast<std::int64_t>(at);
        return cached;
    }
    char ByteAt(std::int64_t at) const { return stream_.data()[at - stream_.base()]; }
    bool Delimited(std::int64_t at) const {  // at the start of the file or after white space or a delimiter
        return at == 0 || (at > stream_.base() && !IsRegular(ByteAt(at - 1)));
    }

    // A dictionary at the start of view, read within `window` bytes and the
    // scan's lexing budget (so that no crafted file makes the pass read its
    // bytes many times over).
    std::optional<Dict> DictAt(std::string_view view, std::size_t window) {
        view = view.substr(0, window);
        if ((lexBudget_ -= static_cast<std::int64_t>(view.size())) < 0) return std::nullopt;
        return Dict::At(view);
    }

    bool Trailer(std::int64_t at, std::int64_t& after) {
        after = at + 7;
        std::string_view view;
        if (!stream_.Load(after, kDictWindow, view)) return false;
        if (!Delimited(at) || (!view.empty() && IsRegular(view[0]))) return true;
        const auto d = DictAt(view, kDictWindow);
        if (!d || !d->complete()) return true;
        const Value root = d->Get("/Root");
        if (root.Is(Value::Kind::Ref)) index_.trailerRoot = root.integer;
        if (!d->Get("/Encrypt").Is(Value::Kind::Missing)) index_.encrypted = true;
        after += static_cast<std::int64_t>(d->end());
        return true;
    }

    // "obj" at `at`: a header when "N G " stands right before it.
    bool Object(std::int64_t at, std::int64_t& after) {
        after = at + 3;
        std::string_view view;
        if (!stream_.Load(at, 4, view)) return false;
        if (view.size() > 3 && IsRegular(view[3])) return true;
        std::int64_t j = at;
        auto white = [&] {
            while (j > stream_.base() && IsPdfSpace(ByteAt(j - 1))) --j;
        };
        auto digits = [&](std::int64_t& value, int most) {
            const std::int64_t end = j;
            while (j > stream_.base() && IsDigit(ByteAt(j - 1)) && end - j < most) --j;
            if (j == end || (j > stream_.base() && IsDigit(ByteAt(j - 1)))) return false;
            value = 0;
            for (std::int64_t k = j; k < end; ++k) value = value * 10 + (ByteAt(k) - '0');
            return true;
        };
        const std::int64_t keyword = j;
        white();
        std::int64_t generation = 0, number = 0;
        if (j == keyword || !digits(generation, 5)) return true;
        const std::int64_t beforeGen = j;
        white();
        if (j == beforeGen || !digits(number, 10) || !Delimited(j)) return true;
        index_.objects.push_back({number, j});
        return Body(number, at + 3, after);
    }

    // The object's dictionary, and its stream skipped where possible.
    bool Body(std::int64_t number, std::int64_t body, std::int64_t& after) {
        std::string_view view;
        if (!stream_.Load(body, kDictWindow, view)) return false;
        auto d = DictAt(view, kDictWindow);
        // Cut by the window rather than broken: a larger window once.
        if (d && !d->complete() && d->end() >= kDictWindow) {
            if (!stream_.Load(body, limits::kScanDictWindow, view)) return false;
            d = DictAt(view, limits::kScanDictWindow);
        }
        if (!d || !d->complete()) return true;  // scanning goes on inside it
        const Value type = d->Get("/Type");
        if (type.Is(Value::Kind::Name)) {
            if (pdf::NameEquals(type.text, "/Catalog")) {
                index_.lastCatalog = number;
            } else if (pdf::NameEquals(type.text, "/ObjStm")) {
                index_.objectStreams.push_back(index_.objects.back().offset);
            } else if (pdf::NameEquals(type.text, "/XRef")) {
                const Value root = d->Get("/Root");  // a cross-reference stream is a trailer too
                if (root.Is(Value::Kind::Ref)) index_.trailerRoot = root.integer;
                if (!d->Get("/Encrypt").Is(Value::Kind::Missing)) index_.encrypted = true;
            }
        }
        pdf::Lexer lex(view, d->end());
        const pdf::Token next = lex.Next();
        after = body + static_cast<std::int64_t>(d->end());
        if (next.kind != pdf::Token::Kind::Keyword || next.text != "stream") return true;
        // The data starts after the end of the line that holds "stream".
        std::size_t data = next.offset + 6;
        while (data < view.size() && (view[data] == ' ' || view[data] == '\t')) ++data;
        if (data < view.size() && view[data] == '\r') ++data;
        if (data < view.size() && view[data] == '\n') ++data;
        const std::int64_t start = body + static_cast<std::int64_t>(data);
        std::int64_t length = kNone;
        const Value len = d->Get("/Length");
        if (len.Is(Value::Kind::Integer)) {
            length = len.integer;
        } else if (len.Is(Value::Kind::Ref)) {
            if (!IndirectLength(len.integer, length)) return false;
        }
        bool right = false;
        if (length >= 0 && length <= length_ - start) {
            if (!EndstreamAt(start + length, right)) return false;
            if (right) {
                after = start + length;
                return true;
            }
        }
        return SearchEndstream(start, after);
    }

    // "endstream" at `at`, after at most one line end.
    bool EndstreamAt(std::int64_t at, bool& found) {
        std::string_view view;
        if (!stream_.Load(at, 16, view)) return false;
        std::size_t i = 0;
        while (i < view.size() && i < 4 && IsPdfSpace(view[i])) ++i;
        found = view.substr(i, 9) == "endstream";
        return true;
    }

    bool SearchEndstream(std::int64_t from, std::int64_t& after) {
        for (std::int64_t pos = from;;) {
            std::string_view view;
            if (!stream_.Load(pos, 16, view)) return false;
            const std::size_t at = view.find("endstream");
            if (at != std::string_view::npos) {
                after = pos + static_cast<std::int64_t>(at);
                return true;
            }
            if (stream_.end() >= length_) {
                after = length_;
                return true;
            }
            pos = std::max(pos + 1, stream_.end() - 8);
        }
    }

    // A /Length given as "N G R", from an object scanned shortly before.
    bool IndirectLength(std::int64_t number, std::int64_t& length) {
        const auto& objects = index_.objects;
        for (std::size_t k = 0; k < kLengthLookBack && k < objects.size(); ++k) {
            const ScannedObject& o = objects[objects.size() - 1 - k];
            if (o.number != number) continue;
            char text[64];
            std::size_t got = 0;
            if (!ReadExactly(fd_, length_, o.offset, sizeof text, text, got)) return false;
            const std::string_view window(text, got);
            const auto header = pdf::ReadObjectHeader(window, 0);
            if (!header) return true;
            pdf::Lexer lex(window, header->body);
            const pdf::Token t = lex.Next();
            if (t.kind == pdf::Token::Kind::Integer) length = t.integer;
            return true;
        }
        return true;
    }

    // Keeps the last definition of each number, sorted by number.
    void Finish() {
        auto& objects = index_.objects;
        std::stable_sort(objects.begin(), objects.end(),
                         [](const ScannedObject& a, const ScannedObject& b) { return a.number < b.number; });
        std::size_t out = 0;
        for (std::size_t i = 0; i < objects.size(); ++i) {
            if (out > 0 && objects[out - 1].number == objects[i].number)
                objects[out - 1] = objects[i];
            else
                objects[out++] = objects[i];
        }
        objects.resize(out);
    }

    int fd_;
    std::int64_t length_;
    Stream stream_;
    ObjectIndex& index_;
    std::int64_t lexBudget_ = 4 * length_ + (std::int64_t{64} << 20);
    std::int64_t objAt_ = kNone, trailerAt_ = kNone;
    std::uint64_t objGen_ = ~std::uint64_t{0}, trailerGen_ = ~std::uint64_t{0};
};

// Objects read back by number for the walk of the page tree, within a byte
// budget so that no crafted file makes the walk read more than a few times
// its own size.
class ObjectReader {
public:
    ObjectReader(int fd, std::int64_t length, const ObjectIndex& index, CompressedObjects compressed)
        : fd_(fd), length_(length), index_(index), compressed_(std::move(compressed)),
          budget_(2 * length + (std::int64_t{16} << 20)) {}

    // The object's value; text keeps the bytes the value points into.  The
    // newest definition wins: one in an object stream written after the
    // plain one replaces it.
    bool Read(std::int64_t number, std::string& text, Value& value) {
        const ScannedObject* o = index_.Find(number);
        const bool laterStream = !index_.objectStreams.empty() && (!o || index_.objectStreams.back() > o->offset);
        std::int64_t streamAt = -1;
        if (laterStream && compressed_.read && compressed_.read(number, text, streamAt) &&
            (!o || streamAt > o->offset)) {
            pdf::Lexer lex(text);
            value = pdf::ReadValue(lex);
            return !value.Is(Value::Kind::Bad) && !value.Is(Value::Kind::Missing);
        }
        if (!o) return false;
        for (std::size_t window = 512;; window *= 8) {
            text.resize(window);
            std::size_t got = 0;
            if ((budget_ -= static_cast<std::int64_t>(window)) < 0) return false;
            if (!ReadExactly(fd_, length_, o->offset, window, text.data(), got)) return false;
            text.resize(got);
            const auto header = pdf::ReadObjectHeader(text, 0);
            if (!header || header->number != number) return false;
            pdf::Lexer lex(text, header->body);
            value = pdf::ReadValue(lex);
            if (!value.Is(Value::Kind::Bad) || got < window || window >= (std::size_t{1} << 20)) break;
        }
        return !value.Is(Value::Kind::Bad) && !value.Is(Value::Kind::Missing);
    }

    // A dictionary object.
    std::optional<Dict> ReadDict(std::int64_t number, std::string& text) {
        Value value;
        if (!Read(number, text, value) || !value.Is(Value::Kind::Dict)) return std::nullopt;
        return Dict::At(value.text);
    }

    // Objects in use: the plain ones and those only object streams define.
    std::size_t Objects() {
        if (objects_) return *objects_;
        std::size_t n = index_.objects.size();
        if (compressed_.forEachNumber) {
            std::set<std::int64_t> extra;
            compressed_.forEachNumber([&](std::int64_t number) {
                if (!index_.Find(number)) extra.insert(number);
            });
            n += extra.size();
        }
        objects_ = n;
        return n;
    }

private:
    int fd_;
    std::int64_t length_;
    const ObjectIndex& index_;
    CompressedObjects compressed_;  // a copy: callers may pass a temporary
    std::int64_t budget_;
    std::optional<std::size_t> objects_;
};

// The page tree as CountLeaves walks it.  A kid no header defines cannot be
// told from damage here: no count.
struct ScanTree {
    using Item = std::int64_t;
    using Id = std::int64_t;
    // A node's kids read from the text that holds its /Kids array, one at a
    // time.
    struct Kids {
        std::unique_ptr<std::string> text;  // the array's bytes live here
        pdf::ArrayItems items;
        bool none = true;
        KidStep Next(Item& kid) {
            if (none) return KidStep::End;
            Value item;
            for (;;) {
                switch (items.Next(item)) {
                case pdf::ArrayItems::Step::End:
                    return KidStep::End;
                case pdf::ArrayItems::Step::Bad:
                    return KidStep::Broken;
                case pdf::ArrayItems::Step::Item:
                    break;
                }
                if (item.Is(Value::Kind::Ref)) {
                    kid = item.integer;
                    return KidStep::Kid;
                }
                // A kid written in place has no identity to guard a loop with.
                if (item.Is(Value::Kind::Dict)) return KidStep::Broken;
            }
        }
    };
    ObjectReader& reader;

    TreeItem Visit(const Item& kid, std::optional<Id>& id, Kids& kids) {
        auto text = std::make_unique<std::string>();
        Value value;
        if (!reader.Read(kid, *text, value)) return TreeItem::Broken;
        if (!value.Is(Value::Kind::Dict)) return TreeItem::Skip;
        const auto node = Dict::At(value.text);
        if (!node || !node->complete()) return TreeItem::Broken;
        return Node(*node, std::move(text), kid, id, kids);
    }

    // A node is what has /Kids, kids given by reference; text holds the
    // node's bytes.
    TreeItem Node(const Dict& node, std::unique_ptr<std::string> text, Id number, std::optional<Id>& id, Kids& kids) {
        Value array = node.Get("/Kids");
        if (array.Is(Value::Kind::Ref)) {
            text = std::make_unique<std::string>();
            if (!reader.Read(array.integer, *text, array)) return TreeItem::Broken;
        }
        if (array.Is(Value::Kind::Missing) || array.Is(Value::Kind::Null)) return TreeItem::Leaf;
        id = number;
        if (!array.Is(Value::Kind::Array)) return TreeItem::Node;  // no array: no kids
        kids.items = pdf::ArrayItems(array);
        kids.text = std::move(text);
        kids.none = false;
        return TreeItem::Node;
    }
};

}  // namespace

const ScannedObject* ObjectIndex::Find(std::int64_t number) const {
    const auto it = std::lower_bound(objects.begin(), objects.end(), number,
                                     [](const ScannedObject& o, std::int64_t n) { return o.number < n; });
    return it != objects.end() && it->number == number ? &*it : nullptr;
}

ScanStatus ScanObjects(int fd, std::int64_t length, ObjectIndex& index) {
    return Scanner(fd, length, index).Run();
}

bool TreeRootNotPlain(int fd, std::int64_t length, const ObjectIndex& index) {
    const auto root = index.trailerRoot ? index.trailerRoot : index.lastCatalog;
    if (!root) return true;
    ObjectReader reader(fd, length, index, {});
    std::string text;
    const auto catalog = reader.ReadDict(*root, text);
    if (!catalog) return !index.Find(*root);
    const Value pages = catalog->Get("/Pages");
    return pages.Is(Value::Kind::Ref) && !index.Find(pages.integer);
}

ScanVerdict CountFromIndex(int fd, std::int64_t length, const ObjectIndex& index, std::int32_t& count,
                           const CompressedObjects& compressed) {
    const auto root = index.trailerRoot ? index.trailerRoot : index.lastCatalog;
    if (!root) return ScanVerdict::NoTree;
    ObjectReader reader(fd, length, index, compressed);
    std::string text;
    const auto catalog = reader.ReadDict(*root, text);
    if (!catalog) return ScanVerdict::Unconfirmed;
    const Value pagesRef = catalog->Get("/Pages");
    if (!pagesRef.Is(Value::Kind::Ref)) return ScanVerdict::Unconfirmed;
    const std::int64_t pages = pagesRef.integer;
    auto rootText = std::make_unique<std::string>();
    const auto rootNode = reader.ReadDict(pages, *rootText);
    if (!rootNode || !rootNode->complete()) return ScanVerdict::Unconfirmed;
    CountClaim claim;
    Value claimed = rootNode->Get("/Count");
    std::string countText;
    if (claimed.Is(Value::Kind::Ref) && !reader.Read(claimed.integer, countText, claimed))
        return ScanVerdict::Unconfirmed;
    if (claimed.Is(Value::Kind::Integer) || claimed.Is(Value::Kind::Real)) {
        const auto whole = claimed.Whole();
        claim.kind = whole ? CountClaim::Whole : CountClaim::Fraction;
        claim.value = whole.value_or(0);
    } else if (!claimed.Is(Value::Kind::Missing) && !claimed.Is(Value::Kind::Null)) {
        claim.kind = CountClaim::NotNumber;
    }
    std::optional<std::int64_t> pagesCounted;
    switch (JudgeRootCount(claim, [&](std::size_t n) { return reader.Objects() >= n; })) {
    case CountRule::Answer:
        pagesCounted = claim.value;
        break;
    case CountRule::NoCount:
        return ScanVerdict::Unconfirmed;  // a reader that rebuilds the file says so
    case CountRule::Leaves: {
        ScanTree tree{reader};
        std::optional<std::int64_t> rootId;
        ScanTree::Kids kids;
        if (tree.Node(*rootNode, std::move(rootText), pages, rootId, kids) == TreeItem::Broken)
            return ScanVerdict::Unconfirmed;
        pagesCounted = CountByLeaves(claim, reader.Objects(), tree, rootId, std::move(kids));
        break;
    }
    }
    if (!pagesCounted || *pagesCounted < 1 || *pagesCounted > INT32_MAX) return ScanVerdict::Unconfirmed;
    count = static_cast<std::int32_t>(*pagesCounted);
    return ScanVerdict::Counted;
}

}  // namespace brastel
