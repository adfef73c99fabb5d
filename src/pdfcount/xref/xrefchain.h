// The chain of cross-reference sections a file's last "startxref" leads to:
// classic tables, cross-reference streams and hybrid sections (a table whose
// trailer names a stream with /XRefStm), followed through /Prev from the
// newest to the oldest, each read once and only when a lookup needs it.
#pragma once

#include "io/filereader.h"
#include "xref/xrefstream.h"

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace brastel::pdf {

class CrossReference {
public:
    explicit CrossReference(FileReader& file) : file_(file) {}

    // Reads the section at offset startxref (forgetting any chain read
    // before); false when neither a table nor a cross-reference stream
    // starts there.
    bool Open(std::int64_t startxref);

    // The newest trailer: a table's trailer dictionary or the newest stream's
    // dictionary, starting at its "<<".
    const std::string& trailer() const { return sections_.front().trailer; }

    enum class Lookup { Found, Absent, Broken };
    // The newest entry of object num (a free one included).  Absent when no
    // section of the whole chain lists it; Broken when a section on the way
    // cannot be read.
    Lookup Find(std::int64_t num, XrefEntry& entry);

    // How many objects the cross-reference names as in use, counting each
    // object once by its newest entry.  A count up to `atLeast` is settled by
    // the newest section alone; beyond it the whole chain is read.  No value
    // when a section cannot be read.
    std::optional<std::size_t> ObjectsInUse(std::size_t atLeast);

    std::size_t sections() const { return sections_.size(); }

private:
    struct Section {
        // A classic table, if the section is one: its 20-byte entries in
        // the order of its subsections, found through their ranges.
        std::string tableEntries;
        NumberRanges tableRanges;
        std::optional<XrefStreamSection> stream;  // the stream, or a hybrid's /XRefStm
        std::string trailer;
        std::int64_t prev = -1;
    };
    enum class Entry { None, InUse, Free, Bad };

    bool ReadSection(std::int64_t offset, Section& section);
    bool ReadTable(std::int64_t offset, Section& section);
    bool ReadStream(std::int64_t offset, std::optional<XrefStreamSection>& stream, std::string* dict,
                    std::int64_t* prev);
    bool NextSection();
    static Entry TableEntry(const Section& s, std::int64_t num, XrefEntry& entry);
    static Entry ParseTableEntry(const char* e, XrefEntry& entry);
    static std::optional<XrefEntry> SectionEntry(const Section& s, std::int64_t num, bool& bad);
    // Objects in use by their newest entries in sections [0, upTo).
    bool CollectInUse(std::size_t upTo, std::size_t& inUse) const;

    FileReader& file_;
    std::vector<Section> sections_;
    std::set<std::int64_t> seen_;  // section offsets, so a /Prev loop ends
    std::size_t heldBytes_ = 0;
    std::size_t probes_ = 0;  // sections looked into by all lookups
    bool chainEnded_ = false;
    bool broken_ = false;
};

}  // namespace brastel::pdf
