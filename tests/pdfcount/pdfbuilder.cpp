#include "pdfbuilder.h"

#include <cstdio>

namespace brastel::test {

PdfBuilder::PdfBuilder(std::string eol, std::string header) : eol_(std::move(eol)) {
    if (!header.empty()) out_ = header + eol_ + "%\xE2\xE3\xCF\xD3" + eol_;
}

std::size_t PdfBuilder::Object(int num, const std::string& body) {
    const std::size_t at = out_.size();
    offsets_[num] = at;
    out_ += std::to_string(num) + " 0 obj" + eol_ + body + eol_ + "endobj" + eol_;
    return at;
}

std::size_t PdfBuilder::Xref(const std::string& trailerEntries, std::vector<std::pair<int, int>> subsections) {
    if (subsections.empty()) {
        const int highest = offsets_.empty() ? 0 : offsets_.rbegin()->first;
        subsections.push_back({0, highest + 1});
    }
    // Entries are 20 bytes: with a one-byte line end a blank comes first.
    const std::string entryEnd = eol_.size() == 2 ? eol_ : " " + eol_;
    const std::size_t at = out_.size();
    out_ += "xref" + eol_;
    int size = 0;
    for (const auto& [first, count] : subsections) {
        out_ += std::to_string(first) + " " + std::to_string(count) + eol_;
        for (int num = first; num < first + count; ++num) {
            char entry[32];
            const auto it = offsets_.find(num);
            if (num == 0 || it == offsets_.end())
                std::snprintf(entry, sizeof entry, "%010d %05d f", 0, 65535);
            else
                std::snprintf(entry, sizeof entry, "%010zu %05d n", it->second, 0);
            out_ += entry + entryEnd;
        }
        size = std::max(size, first + count);
    }
    out_ += "trailer" + eol_ + "<< /Size " + std::to_string(size) + trailerEntries;
    if (hasXref_) out_ += " /Prev " + std::to_string(lastXref_);
    out_ += " >>" + eol_ + "startxref" + eol_ + std::to_string(at) + eol_ + "%%EOF" + eol_;
    lastXref_ = at;
    hasXref_ = true;
    return at;
}

std::string PageBody(const std::string& eol) {
    return "<< /Type /Page /Parent 2 0 R" + eol + "/MediaBox [0 0 612 792] >>";
}

std::string PagesRootBody(const DocOptions& o, int firstPage) {
    std::string kids;
    for (int i = 0; i < o.pages; ++i) kids += (i ? " " : "") + std::to_string(firstPage + i) + " 0 R";
    const std::string count = o.countText.empty() ? std::to_string(o.pages) : o.countText;
    std::string body = "<< /Type /Pages" + o.rootExtra + o.eol + "/Kids [" + kids + "]" + o.eol + "/Count " + count;
    body += o.countSuffix;
    if (o.countOnOwnLine) body += o.eol + ">>";
    return body;
}

PdfBuilder StandardDocument(const DocOptions& o) {
    PdfBuilder pdf(o.eol);
    pdf.Object(1, "<< /Type /Catalog" + o.eol + "/Pages 2 0 R" + o.eol + ">>");
    pdf.Object(2, PagesRootBody(o, 3));
    for (int i = 0; i < o.pages; ++i) pdf.Object(3 + i, PageBody(o.eol));
    pdf.Xref(" /Root 1 0 R");
    return pdf;
}

}  // namespace brastel::test
