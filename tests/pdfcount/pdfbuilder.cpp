#include "pdfbuilder.h"

#include <cstdio>
#include <stdexcept>

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

std::string Patch(std::string bytes, const std::string& from, const std::string& to) {
    const auto at = bytes.find(from);
    if (at == std::string::npos) throw std::runtime_error("patch target missing: " + from);
    return bytes.replace(at, from.size(), to);
}

// A linearized file as writers lay it out: the linearization dictionary
// first, then the first-page cross-reference section, whose trailer names
// the catalog and, through /Prev, the main section at the end; the last
// "startxref" leads back to the first-page section, and the last trailer
// has no /Root.
std::string Linearized(int pages, const std::string& eol, const std::string& rootExtra, int claimedPages) {
    const auto entry = [&](std::size_t offset, char type) {
        char e[32];
        std::snprintf(e, sizeof e, "%010zu %05d %c", offset, type == 'f' ? 65535 : 0, type);
        return std::string(e) + (eol.size() == 2 ? eol : " " + eol);
    };
    const auto padded = [](std::size_t v) {
        char t[16];
        std::snprintf(t, sizeof t, "%010zu", v);
        return std::string(t);
    };
    std::size_t length = 0, mainXref = 0;
    std::string bytes;
    for (int pass = 0; pass < 2; ++pass) {
        PdfBuilder pdf(eol);
        const std::size_t lin = pdf.Object(
            7, "<< /Linearized 1 /L " + padded(length) + " /N " + std::to_string(claimedPages < 0 ? pages : claimedPages) + " /T 0 >>");
        const std::size_t firstXref = pdf.size();
        pdf.Raw("xref" + eol + "7 1" + eol + entry(lin, 'n') + "trailer" + eol + "<< /Size " +
                std::to_string(pages + 3) + " /Root 1 0 R /Prev " + padded(mainXref) + " >>" + eol + "startxref" +
                eol + "0" + eol + "%%EOF" + eol);
        DocOptions o;
        o.eol = eol;
        o.pages = pages;
        o.rootExtra = rootExtra;
        std::vector<std::size_t> offsets;
        offsets.push_back(pdf.Object(1, "<< /Type /Catalog" + eol + "/Pages 2 0 R" + eol + ">>"));
        offsets.push_back(pdf.Object(2, PagesRootBody(o, 3)));
        for (int i = 0; i < pages; ++i) offsets.push_back(pdf.Object(3 + i, PageBody(eol)));
        mainXref = pdf.size();
        std::string main = "xref" + eol + "0 " + std::to_string(pages + 3) + eol + entry(0, 'f');
        for (std::size_t at : offsets) main += entry(at, 'n');
        pdf.Raw(main + "trailer" + eol + "<< /Size " + std::to_string(pages + 3) + " >>" + eol + "startxref" + eol +
                std::to_string(firstXref) + eol + "%%EOF" + eol);
        length = pdf.size();
        bytes = pdf.str();
    }
    return bytes;
}

// The offset after the file's last "startxref".
std::size_t LastStartxref(const std::string& bytes) {
    return std::stoul(bytes.substr(bytes.rfind("startxref") + 9));
}

}  // namespace brastel::test
