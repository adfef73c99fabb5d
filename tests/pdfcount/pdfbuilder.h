// Builds the PDF files the tests count: classic cross-reference tables with
// any line end, several subsections, incremental updates with "/Prev",
// linearization dictionaries, and deliberately damaged variants.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace brastel::test {

class PdfBuilder {
public:
    explicit PdfBuilder(std::string eol = "\r\n", std::string header = "%PDF-1.4");

    // Appends "num 0 obj", the body and "endobj"; returns the byte offset.
    std::size_t Object(int num, const std::string& body);
    void Raw(const std::string& bytes) { out_ += bytes; }

    // Appends a classic cross-reference section for the objects written
    // since the previous one: "xref", the subsections (first, count) --
    // by default one from 0 over every object written so far -- with
    // 20-byte entries, then "trailer", the dictionary (with "/Prev" of the
    // previous section when there is one), "startxref" and "%%EOF".
    // Returns the section's offset.
    std::size_t Xref(const std::string& trailerEntries, std::vector<std::pair<int, int>> subsections = {});

    const std::string& str() const { return out_; }
    std::size_t size() const { return out_.size(); }
    const std::string& eol() const { return eol_; }
    std::size_t OffsetOf(int num) const { return offsets_.at(num); }

private:
    std::string eol_;
    std::string out_;
    std::map<int, std::size_t> offsets_;  // newest offset of each object
    std::size_t lastXref_ = 0;
    bool hasXref_ = false;
};

// A document of n pages: catalog 1, page tree root 2, pages 3 .. n+2.
// countLayout is written after "/Count n" in the root: the default puts
// the count alone before a line end.
struct DocOptions {
    std::string eol = "\r\n";
    int pages = 3;
    std::string countSuffix;       // e.g. " >>" to put the count on one line with ">>"
    std::string countText;         // replaces the number after "/Count" when set
    bool countOnOwnLine = true;    // "/Count n" followed by a line end
    std::string rootExtra;         // more entries of the tree root, after its /Type
};
PdfBuilder StandardDocument(const DocOptions& options);
std::string PagesRootBody(const DocOptions& options, int firstPage);
std::string PageBody(const std::string& eol);

// The bytes with the first occurrence of from replaced by to.
std::string Patch(std::string bytes, const std::string& from, const std::string& to);

// A linearized file as writers lay it out (see pdfbuilder.cpp); its
// linearization dictionary claims claimedPages (default: the true count).
std::string Linearized(int pages, const std::string& eol, const std::string& rootExtra = "", int claimedPages = -1);
// The offset written after the file's last "startxref".
std::size_t LastStartxref(const std::string& bytes);

}  // namespace brastel::test
