// The stream route: the cross-reference chain the last "startxref" leads to
// (cross-reference streams, classic tables and hybrid sections alike), the
// catalog and the page tree read through it, objects taken out of object
// streams where the chain says they are.  It runs when the text and table
// routes cannot confirm a count and before the structural reader: a file
// written with a cross-reference stream is decided from a few KB of it.
// Anything it cannot read with certainty (another filter, a decoding error,
// an encrypted object stream) is handed on; a root /Count that is no number
// ends the count, since readers give such a file none, and so does a tree
// in an object stream that inflates past kObjectStreamBomb.
#include "brastelv1.h"
#include "streams/decrypt.h"
#include "syntax/indirect.h"
#include "pdflimits.h"
#include "streams/objectstream.h"
#include "pagebox.h"
#include "pagetree.h"
#include "routes/structural.h"
#include "xref/xrefchain.h"

#include <map>
#include <set>
#include <memory>

namespace brastel {

using namespace pdf;

namespace {

constexpr std::size_t kTailBytes = 1024;
// Objects read whole up to this size; a larger one is first read as a
// large object.
constexpr std::size_t kLargeObject = std::size_t{256} << 10;
// An object stream with a predictor is decoded whole, up to
// limits::kWholeObjectStream; others are inflated as streams within the
// count's InflateWork.

// An object stream as the route holds it: decoded whole, or read as a stream.
struct HeldStream {
    std::optional<ObjectStream> whole;
    std::unique_ptr<StreamedObjectStream> streamed;
    std::size_t bytes() const { return whole ? whole->bytes() : streamed->bytes(); }
};

struct Ref {
    std::int64_t num = 0;
    std::int64_t gen = 0;
};

// An object's value as read: the bytes that hold it and the value's text.
struct Loaded {
    enum class State { Value, Null, Broken };
    State state = State::Broken;
    std::shared_ptr<const std::string> owner;
    std::string_view text;  // from the value's first byte on
    // An object too large to read whole, whose long arrays the file holds.
    std::shared_ptr<const LargeObject> large;

    Value Read() const {
        Lexer lex(text);
        return ReadValue(lex);
    }
    // The value could not be parsed: the object is damaged, not absent.
    static bool Unreadable(const Value& v) { return v.Is(Value::Kind::Bad) || v.Is(Value::Kind::Missing); }
    std::optional<Dict> AsDict() const {
        if (state != State::Value) return std::nullopt;
        auto d = Dict::At(text);
        if (!d || !d->complete()) return std::nullopt;
        return d;
    }
};

Loaded Null() {
    Loaded l;
    l.state = Loaded::State::Null;
    return l;
}

// A node's kids as a walk reads them, one at a time: from the node's text,
// or from the file a window at a time for an array too long to hold.
class KidList {
public:
    KidList() = default;
    static KidList Of(const Ref& only) {
        KidList k;
        k.only_ = only;
        return k;
    }
    KidStep Next(Ref& kid) {
        if (only_) {
            kid = *only_;
            only_.reset();
            none_ = true;
            return KidStep::Kid;
        }
        if (none_) return KidStep::End;
        if (refs_) {
            switch (refs_->Next(kid.num, kid.gen)) {
            case References::Step::Ref:
                return KidStep::Kid;
            case References::Step::End:
                return KidStep::End;
            case References::Step::Bad:
                break;
            }
            return KidStep::Broken;
        }
        Value item;
        for (;;) {
            switch (items_.Next(item)) {
            case ArrayItems::Step::End:
                return KidStep::End;
            case ArrayItems::Step::Bad:
                return KidStep::Broken;
            case ArrayItems::Step::Item:
                break;
            }
            if (item.Is(Value::Kind::Ref)) {
                kid = Ref{item.integer, item.generation};
                return KidStep::Kid;
            }
            // A kid written in place has no identity to guard a loop with;
            // such trees are rare enough to leave to the structural reader.
            if (item.Is(Value::Kind::Dict)) return KidStep::Broken;
        }
    }

    // Lets a long array's window go while the walk is below this node.
    void Park() {
        if (refs_) refs_->Park();
    }

private:
    friend class StreamCounter;
    Loaded holder_;  // owns the text items_ reads
    ArrayItems items_;
    std::optional<References> refs_;
    std::optional<Ref> only_;
    bool none_ = false;  // no array: no kids
};

class StreamCounter {
public:
    // Looks objects up in the count's cross-reference, which a route before
    // this one may have read already.
    explicit StreamCounter(CountXref& shared) : file_(shared.file), shared_(shared), xref_(shared.xref) {}

    enum class Verdict {
        Counted,  // count holds the pages (0 for a tree with none)
        NoCount,  // the tree was read, and readers give it no count
        Unsure,   // something could not be read: another reader decides
    };
    Verdict Count(std::int32_t& count);
    // The sizes of the first `pages` pages, in page order, walking the tree
    // once from the catalog with what nodes hand down to their pages.  Runs
    // end early where the tree cannot be read further.
    void Sizes(std::int64_t pages, std::vector<component::PageSizeRun>& runs);

    // The page tree as CountLeaves walks it.
    using Item = Ref;
    using Id = std::int64_t;
    using Kids = KidList;
    TreeItem Visit(const Ref& kid, std::optional<Id>& id, KidList& kids);

    // An object the count needed lies in an object stream that only the
    // file's key opens.
    bool neededKey() const { return neededKey_; }
    // An object the count needed lies in an object stream that is a bomb,
    // or past the inflating work a count may do.
    bool metBomb() const { return bomb_; }

private:
    // Opens the chain at the last "startxref" of the tail; one that leads
    // nowhere leaves the file to the readers that rebuild it.
    bool OpenChain();
    // The chain opened, the key of an encrypted file taken, the catalog read.
    bool OpenCatalog(Loaded& catalog);
    // A box entry of a node, through a reference where it is one.
    BoxEntry BoxOf(const Value& v, const Loaded& holder);
    Loaded Resolve(const Ref& ref);
    // A direct value where it stands, or the object a reference names.
    Loaded ResolveValue(const Value& v, const Loaded& holder);
    HeldStream* LoadObjectStream(std::int64_t num);
    bool StreamsEncrypted(const Value& encrypt, const Loaded& holder);
    // The kids in a node's /Kids value, to be read one at a time; false
    // when the value cannot be read.
    bool ReadKids(const Loaded& array, KidList& kids);
    std::optional<CountClaim> Claim(const Value& count, const Loaded& holder);

    FileReader& file_;
    CountXref& shared_;
    CrossReference& xref_;
    bool streamsEncrypted_ = false;
    bool neededKey_ = false;
    bool bomb_ = false;
    std::map<std::int64_t, HeldStream> streams_;
    std::size_t cachedBytes_ = 0;
    std::size_t decodedBytes_ = 0;
    InflateWork work_;
    // The key of an encrypted file that the empty password opens.
    std::unique_ptr<Decryptor> decryptor_;
};

bool StreamCounter::OpenChain() {
    std::string tail;
    const std::int64_t from = std::max<std::int64_t>(0, file_.length() - static_cast<std::int64_t>(kTailBytes));
    if (!file_.Read(from, kTailBytes, tail)) return false;
    const auto at = tail.rfind("startxref");
    if (at == std::string::npos) return false;
    Lexer lex(tail, at + 9);
    const Token t = lex.Next();
    return t.kind == Token::Kind::Integer && t.integer >= 0 && shared_.Open(t.integer);
}

HeldStream* StreamCounter::LoadObjectStream(std::int64_t num) {
    if (const auto it = streams_.find(num); it != streams_.end()) return &it->second;
    // Object streams of an encrypted file are read with the key the empty
    // password gives, or when the stream crypt filter leaves them as they are.
    if (streamsEncrypted_ && !decryptor_) {
        neededKey_ = true;
        return nullptr;
    }
    XrefEntry e;
    if (xref_.Find(num, e) != CrossReference::Lookup::Found || e.type != XrefEntry::InUse || e.field3 != 0)
        return nullptr;
    // An indirect /Length is followed only to a plain object, so reading
    // one object stream never needs another.
    auto indirectLength = [&](const Value& ref) -> std::optional<std::int64_t> {
        XrefEntry le;
        if (xref_.Find(ref.integer, le) != CrossReference::Lookup::Found || le.type != XrefEntry::InUse)
            return std::nullopt;
        const Loaded l = Resolve(Ref{ref.integer, ref.generation});
        if (l.state != Loaded::State::Value) return std::nullopt;
        return l.Read().Whole();
    };
    HeldStream held;
    const auto o = ReadIndirect(file_, e.field2, num);
    const auto dict = o ? Dict::At(o->text, o->body) : std::nullopt;
    bool flate = false;
    if (dict && dict->complete() && StreamableFilter(*dict, flate)) {
        const Value lengthValue = dict->Get("/Length");
        std::optional<std::int64_t> length = lengthValue.Whole();
        if (lengthValue.Is(Value::Kind::Ref)) length = indirectLength(lengthValue);
        const auto span = FindStreamSpan(file_, *o, *dict, length);
        if (!span) return nullptr;
        std::unique_ptr<ByteSource> source = std::make_unique<FileSpan>(file_, *span);
        if (streamsEncrypted_) source = decryptor_->Stream(std::move(source), num, 0);
        auto why = StreamedObjectStream::Fetched::Broken;
        held.streamed = StreamedObjectStream::Open(*dict, std::move(source), flate, work_, why);
        if (why == StreamedObjectStream::Fetched::OverBudget) bomb_ = true;
        if (!held.streamed) return nullptr;
    } else if (streamsEncrypted_) {
        return nullptr;  // a predictor or another filter: decrypted only by libqpdf
    } else {
        auto stream = ReadObjectStream(file_, e.field2, num, limits::kWholeObjectStream, indirectLength, &bomb_);
        if (!stream) return nullptr;
        decodedBytes_ += stream->bytes();
        if (decodedBytes_ > limits::kDecodedObjectStreams) return nullptr;
        held.whole = std::move(*stream);
    }
    if (cachedBytes_ + held.bytes() > limits::kCachedObjectStreams || streams_.size() >= limits::kHeldObjectStreams) {
        streams_.clear();  // what was read from them lives on in its own copies
        cachedBytes_ = 0;
    }
    cachedBytes_ += held.bytes();
    return &streams_.emplace(num, std::move(held)).first->second;
}

Loaded StreamCounter::Resolve(const Ref& ref) {
    XrefEntry e;
    switch (xref_.Find(ref.num, e)) {
    case CrossReference::Lookup::Broken:
        return {};
    case CrossReference::Lookup::Absent:
        return Null();  // a reference to no object is null, as readers take it
    case CrossReference::Lookup::Found:
        break;
    }
    Loaded l;
    switch (e.type) {
    case XrefEntry::Free:
        return Null();
    case XrefEntry::InUse: {
        if (e.field3 != ref.gen) return {};
        // An object past kLargeObject is read as a large one, its long
        // arrays of references left in the file, before it is read whole.
        bool tooLarge = false;
        auto o = ReadIndirect(file_, e.field2, ref.num, &tooLarge, kLargeObject);
        std::optional<LargeObject> large;
        if (!o && tooLarge) {
            large = ReadLargeIndirect(file_, e.field2, ref.num);
            if (!large) {
                tooLarge = false;
                o = ReadIndirect(file_, e.field2, ref.num, &tooLarge);
            }
        }
        if (large) {
            auto held = std::make_shared<LargeObject>(std::move(*large));
            l.text = std::string_view(held->object.text).substr(held->object.body);
            l.owner = std::shared_ptr<const std::string>(held, &held->object.text);
            l.large = std::move(held);
            break;
        }
        if (!o) return {};
        const std::size_t body = o->body;
        auto owner = std::make_shared<const std::string>(std::move(o->text));
        l.text = std::string_view(*owner).substr(body);
        l.owner = std::move(owner);
        break;
    }
    case XrefEntry::Compressed: {
        if (ref.gen != 0 || e.field3 < 0) return {};
        HeldStream* stream = LoadObjectStream(e.field2);
        if (!stream) return {};
        const auto index = static_cast<std::size_t>(e.field3);
        if (stream->whole) {
            const auto text = stream->whole->At(index, ref.num);
            if (!text) return {};
            l.text = *text;
            l.owner = stream->whole->data();
            break;
        }
        auto text = std::make_shared<std::string>();
        switch (stream->streamed->Fetch(index, ref.num, *text)) {
        case StreamedObjectStream::Fetched::Ok:
            break;
        case StreamedObjectStream::Fetched::Bomb:
        case StreamedObjectStream::Fetched::OverBudget:
            bomb_ = true;
            return {};
        case StreamedObjectStream::Fetched::Broken:
            return {};
        }
        l.text = *text;
        l.owner = std::move(text);
        break;
    }
    }
    l.state = Loaded::State::Value;
    return l;
}

Loaded StreamCounter::ResolveValue(const Value& v, const Loaded& holder) {
    if (v.Is(Value::Kind::Ref)) return Resolve(Ref{v.integer, v.generation});
    if (v.Is(Value::Kind::Missing) || v.Is(Value::Kind::Null)) return Null();
    if (v.Is(Value::Kind::Bad)) return {};
    Loaded l;
    l.state = Loaded::State::Value;
    l.owner = holder.owner;
    l.large = holder.large;
    l.text = v.text;
    return l;
}

bool StreamCounter::StreamsEncrypted(const Value& encrypt, const Loaded& holder) {
    if (encrypt.Is(Value::Kind::Missing) || encrypt.Is(Value::Kind::Null)) return false;
    // Until the dictionary says otherwise, streams are taken as encrypted.
    streamsEncrypted_ = true;
    const auto dict = ResolveValue(encrypt, holder);
    const auto d = dict.AsDict();
    if (!d) return true;
    // Only crypt filters (/V 4 and later) can leave streams as they are:
    // a /StmF that is absent or /Identity, or names a filter of /CFM /None.
    const auto [version, stmf, cf] = d->GetAll<3>({"/V", "/StmF", "/CF"});
    const auto v = version.Whole();
    if (!v || *v < 4) return true;
    if (stmf.Is(Value::Kind::Missing) || (stmf.Is(Value::Kind::Name) && NameEquals(stmf.text, "/Identity")))
        return false;
    if (!stmf.Is(Value::Kind::Name)) return true;
    const auto filters = cf.Is(Value::Kind::Dict) ? Dict::At(cf.text) : std::nullopt;
    if (!filters || !filters->complete()) return true;
    const Value named = filters->Get(stmf.text);
    const auto filter = named.Is(Value::Kind::Dict) ? Dict::At(named.text) : std::nullopt;
    if (!filter || !filter->complete()) return true;
    const Value cfm = filter->Get("/CFM");
    return !(cfm.Is(Value::Kind::Name) && NameEquals(cfm.text, "/None"));
}

bool StreamCounter::ReadKids(const Loaded& array, KidList& kids) {
    kids = KidList();
    if (array.state == Loaded::State::Broken) return false;
    kids.none_ = true;
    if (array.state == Loaded::State::Null) return true;
    const Value v = array.Read();
    // A long array is read from the file, one reference at a time.
    if (const auto k = array.large ? array.large->ArrayOf(v) : std::nullopt) {
        kids.refs_.emplace(file_, array.large->arrays[*k]);
        kids.none_ = false;
        return true;
    }
    if (!v.Is(Value::Kind::Array)) return !Loaded::Unreadable(v);  // no array: no kids
    kids.holder_ = array;
    kids.items_ = ArrayItems(v);
    kids.none_ = false;
    return true;
}

TreeItem StreamCounter::Visit(const Ref& kid, std::optional<Id>& id, KidList& kids) {
    const Loaded o = Resolve(kid);
    if (o.state == Loaded::State::Broken) return TreeItem::Broken;
    if (o.state == Loaded::State::Null) return TreeItem::Skip;
    // The dictionary read once (a million pages are a million of them).
    const auto d = o.AsDict();
    if (!d) {
        const Value v = o.Read();
        return v.Is(Value::Kind::Dict) || Loaded::Unreadable(v) ? TreeItem::Broken : TreeItem::Skip;
    }
    // A node is what has /Kids; a /Kids of null is no /Kids, as readers take it.
    const Loaded array = ResolveValue(d->Get("/Kids"), o);
    if (array.state == Loaded::State::Null) return TreeItem::Leaf;
    id = kid.num;
    return ReadKids(array, kids) ? TreeItem::Node : TreeItem::Broken;
}

std::optional<CountClaim> StreamCounter::Claim(const Value& raw, const Loaded& holder) {
    CountClaim claim;
    if (raw.Is(Value::Kind::Missing) || raw.Is(Value::Kind::Null)) return claim;
    const Loaded l = ResolveValue(raw, holder);
    if (l.state == Loaded::State::Broken) return std::nullopt;
    const Value v = l.state == Loaded::State::Value ? l.Read() : Value{};
    if (l.state == Loaded::State::Value && Loaded::Unreadable(v)) return std::nullopt;
    if (v.Is(Value::Kind::Integer) || v.Is(Value::Kind::Real)) {
        const auto whole = v.Whole();
        claim.kind = whole ? CountClaim::Whole : CountClaim::Fraction;
        claim.value = whole.value_or(0);
    } else {
        claim.kind = CountClaim::NotNumber;  // a reference to nothing included
    }
    return claim;
}

bool StreamCounter::OpenCatalog(Loaded& catalog) {
    if (!OpenChain()) return false;
    Loaded trailerText;
    trailerText.state = Loaded::State::Value;
    trailerText.owner = std::make_shared<const std::string>(xref_.trailer());
    trailerText.text = *trailerText.owner;
    const auto trailer = trailerText.AsDict();
    if (!trailer) return false;
    const auto [rootRef, encrypt] = trailer->GetAll<2>({"/Root", "/Encrypt"});
    if (!rootRef.Is(Value::Kind::Ref)) return false;
    streamsEncrypted_ = StreamsEncrypted(encrypt, trailerText);
    if (streamsEncrypted_) {
        const Loaded encryptObject = ResolveValue(encrypt, trailerText);
        const auto encryptDict = encryptObject.AsDict();
        Value firstId;
        ForEachItem(trailer->Get("/ID"), [&](const Value& item) {
            firstId = item;
            return false;
        });
        if (encryptDict) Decryptor::Open(*encryptDict, firstId, decryptor_);
    }

    catalog = Resolve(Ref{rootRef.integer, rootRef.generation});
    return true;
}

StreamCounter::Verdict StreamCounter::Count(std::int32_t& count) {
    Loaded catalog;
    if (!OpenCatalog(catalog)) return Verdict::Unsure;
    const auto catalogDict = catalog.AsDict();
    if (!catalogDict) return Verdict::Unsure;
    const Value pagesValue = catalogDict->Get("/Pages");
    const Loaded pages = ResolveValue(pagesValue, catalog);
    if (pages.state == Loaded::State::Broken) return Verdict::Unsure;
    // No invented pages: a /Pages that names nothing, or no page-tree node
    // (neither /Kids nor /Type /Pages), is a document of no pages.
    count = 0;
    if (pages.state == Loaded::State::Null) {
        // A catalog broken by a stray token hides the /Pages after it: no
        // tree seen through damage is an empty one.
        if (pagesValue.Is(Value::Kind::Missing) && catalogDict->text().find("/Pages") != std::string_view::npos)
            return Verdict::Unsure;
        return Verdict::Counted;
    }
    const Value pagesRead = pages.Read();
    if (Loaded::Unreadable(pagesRead)) return Verdict::Unsure;
    if (!pagesRead.Is(Value::Kind::Dict)) return Verdict::Counted;
    const auto root = pages.AsDict();
    if (!root) return Verdict::Unsure;
    const auto [type, kidsValue, countValue] = root->GetAll<3>({"/Type", "/Kids", "/Count"});
    const Loaded kidsArray = ResolveValue(kidsValue, pages);
    if (kidsArray.state == Loaded::State::Broken) return Verdict::Unsure;
    if (kidsArray.state == Loaded::State::Null && !(type.Is(Value::Kind::Name) && NameEquals(type.text, "/Pages")))
        return Verdict::Counted;

    const auto claim = Claim(countValue, pages);
    if (!claim) return Verdict::Unsure;
    bool xrefBroken = false;
    const CountRule rule = JudgeRootCount(*claim, [&](std::size_t n) {
        const auto inUse = xref_.ObjectsInUse(n);
        if (!inUse) xrefBroken = true;
        return inUse && *inUse >= n;
    });
    if (xrefBroken) return Verdict::Unsure;
    if (rule == CountRule::Answer) {
        count = static_cast<std::int32_t>(claim->value);
        return Verdict::Counted;
    }
    // A /Count that is no number: readers refuse the file.
    if (rule == CountRule::NoCount) return Verdict::NoCount;

    const auto objects = xref_.ObjectsInUse(SIZE_MAX);
    KidList kids;
    if (!objects || !ReadKids(kidsArray, kids)) return Verdict::Unsure;
    const std::optional<Id> rootId =
        pagesValue.Is(Value::Kind::Ref) ? std::optional<Id>(pagesValue.integer) : std::nullopt;
    const auto leaves = CountByLeaves(*claim, *objects, *this, rootId, std::move(kids));
    if (!leaves || *leaves > INT32_MAX) return Verdict::Unsure;
    count = static_cast<std::int32_t>(*leaves);
    return Verdict::Counted;
}

BoxEntry StreamCounter::BoxOf(const Value& v, const Loaded& holder) {
    if (v.Is(Value::Kind::Missing)) return {};
    const Loaded l = ResolveValue(v, holder);
    BoxEntry bad;
    bad.state = BoxEntry::State::Bad;
    if (l.state == Loaded::State::Broken) return bad;  // indirect through damage
    if (l.state == Loaded::State::Null) return {};
    return ReadBox(l.Read());
}

void StreamCounter::Sizes(std::int64_t pages, std::vector<component::PageSizeRun>& runs) {
    runs.clear();
    Loaded catalog;
    if (pages < 1 || !OpenCatalog(catalog)) return;
    const auto catalogDict = catalog.AsDict();
    if (!catalogDict) return;
    const Value pagesValue = catalogDict->Get("/Pages");
    if (!pagesValue.Is(Value::Kind::Ref)) return;
    const auto objects = xref_.ObjectsInUse(SIZE_MAX);
    if (!objects) return;
    // A depth-first walk in page order.  Each frame holds what its node
    // hands down (ISO 32000: /MediaBox, /CropBox and /Rotate are inherited;
    // /UserUnit is the page's own); loops and work are bounded as the count's
    // walk is.
    struct Frame {
        std::int64_t id;
        KidList kids;
        PageGeometry inherited;
    };
    std::vector<Frame> stack;
    std::set<std::int64_t> path;
    const std::size_t budget = LeafBudget(*objects, CountClaim{CountClaim::Whole, pages});
    std::size_t steps = 0;
    std::int64_t found = 0;
    stack.push_back(Frame{-1, KidList::Of(Ref{pagesValue.integer, pagesValue.generation}), {}});
    Ref kid;
    while (!stack.empty() && found < pages) {
        Frame& top = stack.back();
        const KidStep step = top.kids.Next(kid);
        if (step == KidStep::Broken) return;
        if (step == KidStep::End) {
            path.erase(top.id);
            stack.pop_back();
            continue;
        }
        if (++steps > budget) return;
        const Loaded o = Resolve(kid);
        if (o.state == Loaded::State::Broken) return;
        if (o.state == Loaded::State::Null) continue;
        const auto d = o.AsDict();
        if (!d) {
            if (Loaded::Unreadable(o.Read())) return;
            continue;  // not a dictionary: readers pass it by
        }
        const auto [kidsValue, media, crop, rotate, unit] =
            d->GetAll<5>({"/Kids", "/MediaBox", "/CropBox", "/Rotate", "/UserUnit"});
        PageGeometry g = top.inherited;
        if (const BoxEntry b = BoxOf(media, o); b.state != BoxEntry::State::Absent) g.media = b;
        if (const BoxEntry b = BoxOf(crop, o); b.state != BoxEntry::State::Absent) g.crop = b;
        if (const auto r = rotate.Whole()) g.rotate = *r;
        g.userUnit = 1;
        const Loaded kidsArray = ResolveValue(kidsValue, o);
        if (kidsArray.state == Loaded::State::Null) {
            if (const auto n = NumberOf(unit)) g.userUnit = *n;
            if (const auto size = ShownSize(g))
                component::AddPageRun(runs, size->first, size->second, component::PageSizeState::Known);
            else
                component::AddPageRun(runs, 0, 0, component::PageSizeState::Unknown);
            ++found;
            continue;
        }
        if (path.count(kid.num)) return;  // a loop
        Frame child{kid.num, {}, g};
        if (!ReadKids(kidsArray, child.kids)) return;
        path.insert(kid.num);
        top.kids.Park();
        stack.push_back(std::move(child));  // `top` is not used after this
    }
}

}  // namespace

void Brastelv1::ReadPageSizes(std::int32_t pages) {
    CountXref& xref = Xref();
    FileReader& file = xref.file;
    StreamCounter counter(xref);
    counter.Sizes(pages, sizes_);
    // Sizes read from a file that changed meanwhile are not its sizes.
    if (file.shrank()) {
        sizes_.clear();
        return;
    }
    // A tree the cross-reference chain does not lead through (a damaged
    // table, say) is read by libqpdf, which rebuilds it.
    std::int64_t sized = 0;
    for (const auto& run : sizes_) sized += run.pages;
    if (sized >= pages || SizeChanged()) return;
    std::vector<component::PageSizeRun> rebuilt;
    std::int64_t rebuiltPages = 0;
    if (SizesStructural(file_, path_, pages, rebuilt))
        for (const auto& run : rebuilt) rebuiltPages += run.pages;
    if (rebuiltPages > sized) sizes_ = std::move(rebuilt);
}

Brastelv1::Outcome Brastelv1::StreamStep(std::int32_t& count) {
    CountXref& xref = Xref();
    FileReader& file = xref.file;
    StreamCounter counter(xref);
    const StreamCounter::Verdict verdict = counter.Count(count);
    // A file that ends sooner than it did at the open is not counted from
    // what this route happened to read of it.
    if (file.shrank()) return {Outcome::Next, Outcome::Why::Changed};
    // Should no reader after this one count the file, it needs a password.
    const Outcome::Why why = verdict == StreamCounter::Verdict::Unsure && counter.neededKey()
                                 ? Outcome::Why::NeedsPassword
                                 : Outcome::Why::None;
    // A tree in a bomb is no tree, and the readers after this one would
    // decode the bomb whole.
    if (verdict == StreamCounter::Verdict::Unsure && counter.metBomb()) {
        count = -1;
        return {Outcome::Stop, why};
    }
    switch (verdict) {
    case StreamCounter::Verdict::Counted:
        return Outcome::Counted;
    case StreamCounter::Verdict::NoCount:
        count = -1;
        return Outcome::Stop;
    case StreamCounter::Verdict::Unsure:
        break;
    }
    return {Outcome::Next, why};
}

}  // namespace brastel
