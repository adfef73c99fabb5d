// The chain of cross-reference sections a file's last "startxref" leads to:
// classic tables, cross-reference streams and hybrid sections (a table whose
// trailer names a stream with /XRefStm), followed through /Prev from the
// newest to the oldest, each read once and only when a lookup needs it.
// It is the one reader of classic tables: the table route and the stream
// route look objects up through the same chain, read once per count.
#pragma once

#include "io/filereader.h"
#include "xref/xrefstream.h"

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace brastel::pdf {

// How a pass over a dictionary's top-level entries ended: closed with
// nothing but name-value pairs, broken by a stray token, cut by the end of
// the window, or no dictionary there at all.
enum class DictEnd { Closed, Broken, Cut, None };
// The top-level values of keys in the dictionary at pos (the last occurrence
// wins, as readers take it; Missing for absent keys).  goodEnd, when given,
// is set to just past the last whole entry before a break.
DictEnd ReadDictEntries(std::string_view text, std::size_t pos, std::initializer_list<std::string_view> keys,
                        Value* values, std::size_t* goodEnd = nullptr);

class CrossReference {
public:
    explicit CrossReference(FileReader& file) : file_(file) {}

    // Reads the section at offset startxref (forgetting any chain read
    // before); false when neither a table nor a cross-reference stream
    // starts there.
    bool Open(std::int64_t startxref);

    // The newest trailer: a table's trailer dictionary or the newest stream's
    // dictionary, starting at its "<<".  A table's trailer broken by a stray
    // token holds the entries before the break, closed where it broke.
    const std::string& trailer() const { return sections_.front().trailer; }
    // The newest section is a classic table (perhaps a hybrid one).
    bool newestIsTable() const { return sections_.front().table; }

    enum class Lookup { Found, Absent, Broken };
    // The newest entry of object num (a free one included).  Absent when no
    // section of the whole chain lists it; Broken when a section on the way
    // cannot be read.
    Lookup Find(std::int64_t num, XrefEntry& entry);

    // How many objects the cross-reference names as in use, counting each
    // object once by its newest entry.  A count up to `atLeast` is settled by
    // the newest section alone (the figure may then stop at atLeast, once
    // that many table entries are in use, newest first); beyond it the whole
    // chain is read.  No value when a section cannot be read.
    std::optional<std::size_t> ObjectsInUse(std::size_t atLeast);

    std::size_t sections() const { return sections_.size(); }
    // Sections parsed since this reader was made, re-opened chains included.
    std::size_t sectionsParsed() const { return parsed_; }

private:
    // The entries of one subsection, in the file.
    struct TableRun {
        std::int64_t entries;  // offset of the first entry
        std::int64_t width;    // of an entry
        std::size_t row;       // row of the first entry in the section
        std::int64_t first;    // object number of the first entry
        std::int64_t count;
    };
    struct Section {
        // A classic table, if the section is one: its subsections' ranges,
        // and where their entries lie in the file (20 bytes each, or 19).
        bool table = false;
        std::vector<TableRun> tableRuns;  // in the order of their rows
        NumberRanges tableRanges;
        std::optional<XrefStreamSection> stream;  // the stream, or a hybrid's /XRefStm
        std::string trailer;
        std::int64_t prev = -1;
    };
    enum class Entry { None, InUse, Free, Bad };

    bool ReadSection(std::int64_t offset, Section& section);
    bool ReadTable(std::int64_t offset, Section& section);
    bool ReadTrailer(std::int64_t at, Section& section);
    bool ReadStream(std::int64_t offset, std::optional<XrefStreamSection>& stream, std::string* dict,
                    std::int64_t* prev);
    bool NextSection();
    Entry TableEntry(const Section& s, std::int64_t num, XrefEntry& entry);
    // The run that holds a row of the section, and the offset of its entry.
    static std::vector<TableRun>::const_iterator RunOf(const Section& s, std::size_t row);
    static std::int64_t EntryOffset(const Section& s, std::size_t row);
    static Entry ParseTableEntry(const char* e, XrefEntry& entry);
    std::optional<XrefEntry> SectionEntry(const Section& s, std::int64_t num, bool& bad);
    // Objects in use by their newest entries in sections [0, upTo).
    bool CollectInUse(std::size_t upTo, std::size_t& inUse);
    // The entries in use that are their objects' newest, counted through
    // the tables newest first until there are n (Enough), or through the
    // whole chain (Exact); Unsure where only sorting every entry can tell.
    enum class TablePass { Enough, Exact, Unsure };
    TablePass CountTablesInUse(std::size_t n, std::size_t& inUse);

    FileReader& file_;
    std::vector<Section> sections_;
    std::set<std::int64_t> seen_;  // section offsets, so a /Prev loop ends
    std::size_t heldBytes_ = 0;
    std::size_t probes_ = 0;  // sections looked into by all lookups
    std::size_t parsed_ = 0;
    // Objects in use by the newest section, and by the whole chain.
    std::optional<std::size_t> inUseNewest_, inUseAll_;
    bool tablePassUnsure_ = false;
    bool chainEnded_ = false;
    bool broken_ = false;
};

// The cross-reference of one count: the reader and the chain opened at one
// "startxref" offset, shared by every route that needs it, so that a route
// after a failed one looks up what that one read instead of parsing it
// again.
struct CountXref {
    CountXref(int fd, std::int64_t length) : file(fd, length), xref(file) {}
    CountXref(const CountXref&) = delete;
    CountXref& operator=(const CountXref&) = delete;

    // The chain at startxref, opened once: a second call for the same
    // offset gives the first call's answer without reading anything.
    bool Open(std::int64_t startxref) {
        if (startxref != openedAt_) {
            openedAt_ = startxref;
            opened_ = xref.Open(startxref);
        }
        return opened_;
    }

    FileReader file;
    CrossReference xref;

private:
    std::int64_t openedAt_ = -1;
    bool opened_ = false;
};

}  // namespace brastel::pdf
