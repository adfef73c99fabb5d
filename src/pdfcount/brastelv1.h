// Brastelv1: the PDF page counter behind the _Brastelv1 interface.
//
// PDF_PageCount runs a chain of six readers (chain.cpp), each only when the
// ones before could not decide: the plain-text route (tail, cross-reference
// arithmetic, catalog or linearization dictionary), which touches only a few
// KB of a typical file and counts only when the table reading confirms its
// objects and count; the classic table read by its tokens; the
// cross-reference chain read natively (streams, tables, hybrids, object
// streams, encryption); libqpdf without reconstruction; the object scan of
// damaged files; and libqpdf's reconstruction.
#pragma once

#include <brastel/brastel.h>
#include <component/count_reason.h>
#include <component/counted_file.h>
#include <component/page_sizes.h>
#include <component/server.h>

#include "syntax/lexer.h"
#include "xref/xrefchain.h"

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace brastel {

// Which reader decided the last count (for tests and the benchmark), in the
// order they are tried: the native routes (text, table, stream), then
// libqpdf without reconstruction (cheap, and enough for any file whose
// cross-reference data holds), then the object scan, and only then
// libqpdf's reconstruction, which parses the whole file.
enum class Route { None, Text, Table, Stream, Structural, ObjectScan, Reconstruction };

class Brastelv1 final : public component::RefCounted<_Brastelv1, component::ICountReason, component::ICountedFile,
                                                      component::IPageSizes> {
public:
    Brastelv1();

    component::HResult QueryInterface(const component::Guid& iid, void** out) override;

    component::HResult PDF_PageCount(component::Text& filenamess, std::int32_t& result) override;
    component::HResult FindCase(component::Text& SearchString, std::int32_t& StartPosition,
                                std::int32_t& SuggestedLength, component::Text& AlternateSearch,
                                component::Text& result) override;
    component::HResult GetCrossRef(std::int32_t& FindObject, std::int32_t& startxref,
                                   std::int32_t& result) override;

    // Why the last PDF_PageCount gave a result below 1.
    component::HResult LastCountReason(std::int32_t& code, component::Text& text) override;
    // Size of the file the last PDF_PageCount opened, -1 when it opened none.
    component::HResult LastFileSize(std::int64_t& bytes) override;
    // Sizes of the pages, read by the next counts only when asked.
    component::HResult WantPageSizes(bool want) override;
    component::HResult LastPageSizes(std::vector<component::PageSizeRun>& runs) override;

private:
    ~Brastelv1();

    component::HResult ExtractNumber(component::Text& Text, component::Text& StartMark,
                                     component::Text& EndMark, std::int16_t& LineEndMode,
                                     std::int32_t& Window, std::int32_t& result);
    // Reads buffer.size() bytes at the 1-based position; characters whose
    // positions lie past the end of the file keep their previous content.
    component::HResult ReadAt(std::int32_t position, component::Text& buffer);

    // The routes of a count.  Each returns true with a count it could
    // confirm, false when the next reader of the chain must decide.
    bool TextRoute(std::int32_t& count);
    bool CatalogRoute(const std::string& root, std::int32_t XrefStart, bool cutAtEndobj,
                      std::int32_t& count);
    bool LinearizedRoute(const std::string& trailerText, std::int32_t XrefStart, std::int32_t& count);
    bool ClimbPageTree(std::int32_t Lval, std::int32_t XrefStart, std::int32_t& count);
    // Offset of object obj through the cross-reference walk, checked to be
    // where that object begins.
    bool LocateObject(std::int32_t obj, std::int32_t XrefStart, std::int32_t bufferLength,
                      std::int32_t& offset);
    bool ObjectStartsAt(std::int32_t obj, std::int32_t offset);

    // The classic table read by its tokens (any line ends); false when it
    // cannot confirm a count either.
    bool TableRoute(std::int32_t& count);
    // Up to n bytes at a 0-based offset, fewer at the end of the file.
    bool ReadBytes(std::int64_t offset, std::size_t n, component::Text& out);

    // The cross-reference of this count, made on first use; every route
    // that follows the file's sections looks them up here.
    pdf::CountXref& Xref();
    // Lets it go, leaving what it read in the count's figures: the readers
    // after the native routes never look it up, and a long table need not
    // be held while libqpdf holds the document.
    void DropXref();
    // An object with /Type /XRef starts at offset.
    bool IsXrefStream(std::int64_t offset);
    // Opens the count's cross-reference at the classic table the last
    // "startxref" leads to (false when that is a cross-reference stream, or
    // none does, or the section cannot be read); startxref is its offset.
    bool FindLastSection(std::int64_t& startxref);
    // The newest entry of obj in use, read from a table or a hybrid
    // section's stream; false for a free, absent or compressed one.
    bool Locate(std::int64_t obj, std::int64_t& offset);
    // The sections' newest entries put at least n objects in use.
    bool ObjectsInUseAtLeast(std::size_t n);
    // The top-level values of keys in the dictionary at `skip` bytes into a
    // window read at offset, growing the window until it closes; values
    // point into text.  tolerateBreak accepts a dictionary broken off by a
    // stray token, with the entries before the break.
    using Keys = std::initializer_list<std::string_view>;
    bool ReadDictAt(std::int64_t offset, std::size_t skip, component::Text& text, const Keys& keys,
                    pdf::Value* values, bool tolerateBreak);
    // The same for the dictionary of object obj, whose header must stand at offset.
    bool ReadObjectDict(std::int32_t obj, std::int64_t offset, component::Text& text, const Keys& keys,
                        pdf::Value* values);

    // What the table reading gives: the catalog and page-tree root at their
    // newest offsets, and the root's /Count.
    struct TreeFacts {
        std::int64_t xref = -1;
        std::int64_t root = -1, catalogOffset = -1;
        std::int64_t pages = -1, pagesOffset = -1;
        std::int32_t count = -1;
    };
    // Read once per count and kept; false when the table cannot give them.
    bool ReadTree(const TreeFacts*& facts);
    bool ReadTreeOnce(TreeFacts& facts);
    enum class TreeState { Unread, Read, Failed };
    bool XrefFound();

    // What the text route read, for its confirmation.
    struct TextAnswer {
        enum class Kind { Catalog, LinearizedN, Climb } kind = Kind::Catalog;
        std::int32_t xrefStart = -1;
        std::int32_t root = -1, catalogOffset = -1;  // Catalog
        std::int32_t pages = -1, pagesOffset = -1;   // Catalog; Climb: the node whose /Count was read
        std::int32_t count = -1;
    };
    // The text route's answer stands only where the table reading gives the
    // same objects and count: keys at the top level of their dictionaries,
    // the newest revision of every object, the catalog's own page tree.
    bool Confirm(const TextAnswer& answer);

    // Everything one count learns on its way, reset at once when the next
    // count starts.
    struct CountState {
        std::int32_t linearPos = 0;
        Route route = Route::None;    // the reader that decided
        std::int64_t bytesRead = 0;   // bytes the native routes read
        bool fileChanged = false;     // a read came back shorter than the length seen at open
        bool needsPassword = false;   // a reader was refused the file for want of a password
        TreeState treeState = TreeState::Unread;
        TreeFacts tree;
        // Some "startxref" of the file leads to a cross-reference section or
        // stream; false once the table reading found none, so that libqpdf is
        // not asked to read what it can only reconstruct.
        bool xrefFound = false;
        // Where the last "startxref" led to something other than a table: a
        // cross-reference stream there counts as found, looked at only when a
        // later reader needs to know (the stream route usually decides first).
        std::int64_t otherSectionAt = -1;
        TextAnswer answer;  // what the text route read, for its confirmation
        // The cross-reference sections read by the first route that needed
        // them, looked up by the routes after it.
        std::unique_ptr<pdf::CountXref> xref;
        std::size_t sectionsParsed = 0;  // by xref, once the file is closed
    };
    CountState state_;

    // What a reader of the chain tells the count: its verdict, and why,
    // which the chain keeps for the failure's reason.
    struct Outcome {
        enum Verdict {
            Counted,  // the count stands (it may be 0: a file with no pages)
            Next,     // the next reader decides
            Stop,     // nobody can count the file
        } verdict = Next;
        enum class Why { None, Changed, NeedsPassword } why = Why::None;
        Outcome(Verdict v, Why w = Why::None) : verdict(v), why(w) {}
        // A libqpdf reader's notes as one reason.
        static Why Told(bool changed, bool needsPassword);
    };
    // Keeps what an outcome tells of the file in the count's state.
    void Learn(const Outcome& outcome);
    Outcome TextStep(std::int32_t& count);
    Outcome TableStep(std::int32_t& count);
    // The cross-reference chain read natively (streams, tables, hybrids),
    // objects taken out of object streams: before the structural reader.
    Outcome StreamStep(std::int32_t& count);
    Outcome StructuralStep(std::int32_t& count);
    Outcome ObjectScanStep(std::int32_t& count);
    Outcome ReconstructionStep(std::int32_t& count);

    bool Open(const std::string& path);
    void Close();
    // Reads the sizes of the counted file's pages into sizes_, walking its
    // page tree through the cross-reference chain; pages it cannot reach
    // are left out (the host takes them as of unknown size).
    void ReadPageSizes(std::int32_t pages);
    bool wantSizes_ = false;
    std::vector<component::PageSizeRun> sizes_;
    // Sets the reason of a count that ended below 1, with the file still
    // open: changed while read, needs a password, no pages, not a PDF, or
    // damaged.
    void ExplainFailure(std::int32_t result);

    component::Text LineEnd;
    std::int32_t FirstObject = 0;

    // Small read cache: the text route reads many short windows close to
    // each other (tail, table, objects); serving them from 1 KB blocks keeps
    // it to a few system calls per file.
    struct Block {
        std::int64_t index;
        std::string bytes;  // shorter than kBlockSize only at the end of the file
    };
    static constexpr std::int64_t kBlockSize = 1024;
    const Block* FetchBlocks(std::int64_t first, std::int64_t last);
    // The cached blocks that run without a gap to the end of the file, at
    // most `limit` bytes of them; *at is where they begin.
    std::string CachedTail(std::size_t limit, std::int64_t* at) const;
    std::vector<Block> blocks_;

    int file_ = -1;               // the one file slot; -1 when no count runs
    std::string path_;            // of the open file, for libqpdf's diagnostics
    std::int64_t fileLength_ = 0;
    std::int64_t countedSize_ = -1;  // fileLength_ of the last count's file, kept after it closes
    // The file's length differs from the one seen at open (sets state_.fileChanged).
    bool SizeChanged();
    int openError_ = 0;           // errno of the last failed Open; 0 when it was no regular file
    component::ReasonSlot reason_;
    std::function<void(Route)> beforeRoute_;  // test hook: runs before each reader
    std::optional<Route> onlyRoute_;          // test hook: the one reader of the chain that runs

    friend struct BrastelPeer;
};

// Live objects of the library (instances and class factories) and server
// locks; DllCanUnloadNow reports whether both are zero.
component::ServerState& LibraryServer();

}  // namespace brastel
