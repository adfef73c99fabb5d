// Builds the PDF files written with cross-reference streams that the tests
// count: plain objects, object streams, cross-reference streams with any
// field widths, /Index ranges and predictors, /Prev chains, hybrid sections
// (a classic table with /XRefStm), and the raw pieces for damaged variants.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace brastel::test {

// zlib-compressed bytes, as FlateDecode expects them.
std::string Deflate(const std::string& bytes);
// zlib data of head followed by n MiB of fill bytes.  After a full flush
// deflate refers to nothing before it, so one flushed MiB repeated makes a
// stream of any length in a few MB; its closing checksum is wrong, which
// matters only to a reader that gets to the end.
std::string DeflateRepeated(const std::string& head, std::size_t mebibytes, char fill);

class StreamPdfBuilder {
public:
    explicit StreamPdfBuilder(std::string header = "%PDF-1.5");

    // "num 0 obj", the body and "endobj"; returns the object's offset.
    std::size_t Object(int num, const std::string& body);
    // A stream object with the given dictionary entries (without /Length)
    // and data; /Length is the data's length unless length is given.
    std::size_t Stream(int num, const std::string& entries, const std::string& data,
                       const std::string& length = "");
    // An object stream holding the objects (number, value) in this order,
    // followed by padding blanks in its decoded data (whole MiB of them are
    // deflated cheaply, so padding can make a bomb).
    std::size_t ObjectStream(int num, const std::vector<std::pair<int, std::string>>& objects,
                             bool compress = true, std::size_t padding = 0);
    void Raw(const std::string& bytes) { out_ += bytes; }
    // Goes on from an existing file whose newest section is at lastSection:
    // the next section names it with /Prev.
    void Resume(const std::string& bytes, std::size_t lastSection);

    struct XrefOptions {
        int widths[3] = {1, 4, 2};
        int predictor = 0;  // 0 none, 12 PNG "Up", 2 TIFF
        bool compress = true;
        bool explicitIndex = true;  // write /Index of the runs of listed numbers
    };
    // A cross-reference stream object numbered num listing every object
    // written since the last section (and object 0 in the first), with
    // the trailer entries, /Prev of the last section, then "startxref" and
    // "%%EOF".  Returns the section's offset.
    std::size_t XrefStream(int num, const std::string& trailerEntries, const XrefOptions& options);
    std::size_t XrefStream(int num, const std::string& trailerEntries) { return XrefStream(num, trailerEntries, {}); }

    // A hybrid section: the cross-reference stream numbered streamNum lists
    // the objects in object streams (and the streams themselves); a classic
    // table lists the plain objects in use and the others as free, its
    // trailer naming the stream with /XRefStm.  Returns the table's offset.
    std::size_t Hybrid(int streamNum, const std::string& trailerEntries);

    const std::string& str() const { return out_; }
    std::size_t size() const { return out_.size(); }
    std::size_t OffsetOf(int num) const { return plain_.at(num); }

private:
    struct Entry {
        int type;
        long long field2;
        long long field3;
    };
    std::string EntryBytes(const Entry& e, const int widths[3]) const;
    std::string Tail(std::size_t at);

    std::string out_;
    std::map<int, Entry> pending_;      // written since the last section
    std::map<int, std::size_t> plain_;  // newest offset of each plain object
    long long lastSection_ = -1;
};

// A document of n pages in object streams: catalog 1 and page-tree root 2
// in object stream 10 with pages 3 .. 9 and 12 on (and their content
// streams as plain objects from 100, or past the pages), listed by
// cross-reference stream 11.
struct StreamDocOptions {
    int pages = 3;
    std::string countText;   // replaces the number after /Count when set
    std::string rootExtra;   // more entries of the tree root
    std::string trailerExtra;
    std::vector<std::pair<int, std::string>> plainObjects;  // written before the cross-reference stream
    StreamPdfBuilder::XrefOptions xref;
};
StreamPdfBuilder StreamDocument(const StreamDocOptions& options);

// A document whose single object stream 1 holds every object: catalog 2,
// page-tree root 3, nodes of up to 100 pages each, and pages of ~200 bytes,
// `objects` in all (about 200 decoded bytes each).  treeFirst puts the
// catalog and the tree's nodes at the start of the stream, else at its end
// (after every page); withCount writes the root's /Count.
struct ManyObjectsOptions {
    int objects = 65542;
    bool treeFirst = false;
    bool withCount = true;
};
std::string ManyObjectsDocument(const ManyObjectsOptions& options, int* pages = nullptr);

// Catalog 1 and a page-tree root 2 whose /Kids names pages 3 .. pages+2,
// with /Count when withCount, listed by a cross-reference stream (7 bytes
// an entry with the default options).
std::string WideTreeDocument(int pages, bool withCount, const StreamPdfBuilder::XrefOptions& xref = {});

}  // namespace brastel::test
