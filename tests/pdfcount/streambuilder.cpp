#include "streambuilder.h"

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <stdexcept>

namespace brastel::test {

std::string Deflate(const std::string& bytes) {
    // Large inputs (a million cross-reference entries) at the fastest level:
    // the best one takes seconds on their repeated rows.
    uLongf size = compressBound(static_cast<uLong>(bytes.size()));
    std::string out(size, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &size, reinterpret_cast<const Bytef*>(bytes.data()),
                  static_cast<uLong>(bytes.size()), bytes.size() > (std::size_t{1} << 20) ? 1 : 9) != Z_OK)
        throw std::runtime_error("compress2 failed");
    out.resize(size);
    return out;
}

std::string DeflateRepeated(const std::string& head, std::size_t mebibytes, char fill) {
    z_stream z{};
    if (deflateInit(&z, 9) != Z_OK) throw std::runtime_error("deflateInit failed");
    const std::string block(std::size_t{1} << 20, fill);
    std::string buffer(std::size_t{2} << 20, '\0');
    auto step = [&](const std::string& in, int flush) {
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(in.data()));
        z.avail_in = static_cast<uInt>(in.size());
        z.next_out = reinterpret_cast<Bytef*>(buffer.data());
        z.avail_out = static_cast<uInt>(buffer.size());
        deflate(&z, flush);
        return buffer.substr(0, buffer.size() - z.avail_out);
    };
    std::string out = step(head, Z_FULL_FLUSH);
    const std::string again = step(block, Z_FULL_FLUSH);
    for (std::size_t i = 0; i < mebibytes; ++i) out += again;
    out += step("", Z_FINISH);
    deflateEnd(&z);
    return out;
}

StreamPdfBuilder::StreamPdfBuilder(std::string header) {
    if (!header.empty()) out_ = header + "\n%\xE2\xE3\xCF\xD3\n";
}

void StreamPdfBuilder::Resume(const std::string& bytes, std::size_t lastSection) {
    out_ = bytes;
    lastSection_ = static_cast<long long>(lastSection);
    pending_.clear();
}

std::size_t StreamPdfBuilder::Object(int num, const std::string& body) {
    const std::size_t at = out_.size();
    out_ += std::to_string(num) + " 0 obj\n" + body + "\nendobj\n";
    pending_[num] = Entry{1, static_cast<long long>(at), 0};
    plain_[num] = at;
    return at;
}

std::size_t StreamPdfBuilder::Stream(int num, const std::string& entries, const std::string& data,
                                     const std::string& length) {
    const std::string len = length.empty() ? std::to_string(data.size()) : length;
    return Object(num, "<< " + entries + " /Length " + len + " >>\nstream\n" + data + "\nendstream");
}

std::size_t StreamPdfBuilder::ObjectStream(int num, const std::vector<std::pair<int, std::string>>& objects,
                                           bool compress, std::size_t padding) {
    std::string pairs, bodies;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        pairs += std::to_string(objects[i].first) + " " + std::to_string(bodies.size()) + " ";
        bodies += objects[i].second + "\n";
    }
    const std::size_t mebibyte = std::size_t{1} << 20;
    std::string entries = "/Type /ObjStm /N " + std::to_string(objects.size()) + " /First " +
                          std::to_string(pairs.size());
    if (compress) entries += " /Filter /FlateDecode";
    std::string data;
    if (compress && padding > 0 && padding % mebibyte == 0)
        data = DeflateRepeated(pairs + bodies, padding / mebibyte, ' ');
    else if (compress)
        data = Deflate(pairs + bodies + std::string(padding, ' '));
    else
        data = pairs + bodies + std::string(padding, ' ');
    const std::size_t at = Stream(num, entries, data);
    for (std::size_t i = 0; i < objects.size(); ++i)
        pending_[objects[i].first] = Entry{2, num, static_cast<long long>(i)};
    return at;
}

std::string StreamPdfBuilder::EntryBytes(const Entry& e, const int widths[3]) const {
    const long long fields[3] = {e.type, e.field2, e.field3};
    std::string out;
    for (int f = 0; f < 3; ++f)
        for (int k = widths[f] - 1; k >= 0; --k) out += static_cast<char>((fields[f] >> (8 * k)) & 0xFF);
    return out;
}

std::string StreamPdfBuilder::Tail(std::size_t at) {
    lastSection_ = static_cast<long long>(at);
    pending_.clear();
    return "startxref\n" + std::to_string(at) + "\n%%EOF\n";
}

std::size_t StreamPdfBuilder::XrefStream(int num, const std::string& trailerEntries, const XrefOptions& o) {
    const std::size_t at = out_.size();
    pending_[num] = Entry{1, static_cast<long long>(at), 0};
    if (lastSection_ < 0) pending_[0] = Entry{0, 0, 65535};
    const int highest = pending_.rbegin()->first;
    // The runs of listed numbers, or every number from 0 when /Index is left out.
    std::vector<std::pair<int, int>> runs;
    if (o.explicitIndex) {
        for (const auto& [n, e] : pending_) {
            if (!runs.empty() && runs.back().first + runs.back().second == n) ++runs.back().second;
            else runs.push_back({n, 1});
        }
    } else {
        runs.push_back({0, highest + 1});
    }
    const int rowBytes = o.widths[0] + o.widths[1] + o.widths[2];
    // Predictors belong to the Flate filter: without it there is none.
    const int predictor = o.compress ? o.predictor : 0;
    std::string data, prior(static_cast<std::size_t>(rowBytes), '\0');
    for (const auto& [first, count] : runs)
        for (int n = first; n < first + count; ++n) {
            const auto it = pending_.find(n);
            const std::string row = EntryBytes(it == pending_.end() ? Entry{0, 0, 0} : it->second, o.widths);
            if (predictor == 12) {  // PNG "Up": each byte less the byte above it
                data += '\2';
                for (int i = 0; i < rowBytes; ++i) data += static_cast<char>(row[i] - prior[i]);
            } else if (predictor == 2) {  // TIFF: each byte less the byte to its left
                for (int i = 0; i < rowBytes; ++i) data += static_cast<char>(row[i] - (i ? row[i - 1] : 0));
            } else {
                data += row;
            }
            prior = row;
        }
    std::string entries = "/Type /XRef /Size " + std::to_string(highest + 1) + " /W [" +
                          std::to_string(o.widths[0]) + " " + std::to_string(o.widths[1]) + " " +
                          std::to_string(o.widths[2]) + "]";
    if (o.explicitIndex) {
        entries += " /Index [";
        for (const auto& [first, count] : runs) entries += std::to_string(first) + " " + std::to_string(count) + " ";
        entries += "]";
    }
    if (o.compress) entries += " /Filter /FlateDecode";
    if (predictor != 0)
        entries += " /DecodeParms << /Predictor " + std::to_string(predictor) + " /Columns " +
                   std::to_string(rowBytes) + " >>";
    if (lastSection_ >= 0) entries += " /Prev " + std::to_string(lastSection_);
    entries += trailerEntries;
    // Stream() would record the object again: write it directly.
    const std::string body = o.compress ? Deflate(data) : data;
    out_ += std::to_string(num) + " 0 obj\n<< " + entries + " /Length " + std::to_string(body.size()) +
            " >>\nstream\n" + body + "\nendstream\nendobj\n";
    plain_[num] = at;
    out_ += Tail(at);
    return at;
}

std::size_t StreamPdfBuilder::Hybrid(int streamNum, const std::string& trailerEntries) {
    std::set<long long> objectStreams;
    for (const auto& [n, e] : pending_)
        if (e.type == 2) objectStreams.insert(e.field2);
    // The stream: the compressed objects and their object streams.
    const std::size_t streamAt = out_.size();
    std::map<int, Entry> inStream;
    for (const auto& [n, e] : pending_)
        if (e.type == 2 || objectStreams.count(n)) inStream[n] = e;
    inStream[streamNum] = Entry{1, static_cast<long long>(streamAt), 0};
    const int widths[3] = {1, 4, 2};
    std::string data, index;
    for (const auto& [n, e] : inStream) {
        data += EntryBytes(e, widths);
        index += std::to_string(n) + " 1 ";
    }
    int highest = std::max(pending_.empty() ? 0 : pending_.rbegin()->first, streamNum);
    const std::string body = Deflate(data);
    out_ += std::to_string(streamNum) + " 0 obj\n<< /Type /XRef /Size " + std::to_string(highest + 1) +
            " /W [1 4 2] /Index [" + index + "] /Filter /FlateDecode /Length " + std::to_string(body.size()) +
            " >>\nstream\n" + body + "\nendstream\nendobj\n";
    // The table: plain objects in use, everything else free.
    const std::size_t at = out_.size();
    out_ += "xref\n0 " + std::to_string(highest + 1) + "\n";
    for (int n = 0; n <= highest; ++n) {
        const auto it = pending_.find(n);
        char entry[32];
        if (it != pending_.end() && it->second.type == 1 && !objectStreams.count(n))
            std::snprintf(entry, sizeof entry, "%010lld 00000 n\r\n", it->second.field2);
        else
            std::snprintf(entry, sizeof entry, "%010d 65535 f\r\n", 0);
        out_ += entry;
    }
    out_ += "trailer\n<< /Size " + std::to_string(highest + 1) + " /XRefStm " + std::to_string(streamAt) +
            trailerEntries;
    if (lastSection_ >= 0) out_ += " /Prev " + std::to_string(lastSection_);
    out_ += " >>\n";
    out_ += Tail(at);
    return at;
}

StreamPdfBuilder StreamDocument(const StreamDocOptions& o) {
    StreamPdfBuilder pdf;
    std::vector<std::pair<int, std::string>> objects;
    std::string kids;
    // Pages 3 to 9, then 12 on (clear of object stream 10 and the
    // cross-reference stream 11); contents from 100, or past the pages.
    const auto page = [](int i) { return i < 7 ? 3 + i : 5 + i; };
    const int contents = std::max(100, o.pages + 12);
    for (int i = 0; i < o.pages; ++i) kids += std::to_string(page(i)) + " 0 R ";
    objects.push_back({1, "<< /Type /Catalog /Pages 2 0 R >>"});
    const std::string count = o.countText.empty() ? std::to_string(o.pages) : o.countText;
    objects.push_back({2, "<< /Type /Pages /Kids [" + kids + "] /Count " + count + o.rootExtra + " >>"});
    for (int i = 0; i < o.pages; ++i)
        objects.push_back({page(i), "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents " +
                                      std::to_string(contents + i) + " 0 R >>"});
    for (int i = 0; i < o.pages; ++i) pdf.Stream(contents + i, "", "BT /F1 12 Tf (page) Tj ET");
    pdf.ObjectStream(10, objects);
    for (const auto& [num, body] : o.plainObjects) pdf.Object(num, body);
    pdf.XrefStream(11, " /Root 1 0 R" + o.trailerExtra, o.xref);
    return pdf;
}

std::string ManyObjectsDocument(const ManyObjectsOptions& o, int* pagesOut) {
    // objects = 2 + nodes + pages with nodes = ceil(pages / 100).
    const int pages = (o.objects - 2) * 100 / 101;
    const int nodes = (pages + 99) / 100;
    const int firstNode = 4, firstPage = firstNode + nodes;
    std::vector<std::pair<int, std::string>> tree, leaves;
    tree.push_back({2, "<< /Type /Catalog /Pages 3 0 R >>"});
    std::string rootKids;
    for (int n = 0; n < nodes; ++n) {
        std::string kids;
        const int from = n * 100, to = std::min(pages, from + 100);
        for (int p = from; p < to; ++p) kids += std::to_string(firstPage + p) + " 0 R ";
        tree.push_back({firstNode + n, "<< /Type /Pages /Parent 3 0 R /Kids [" + kids + "] /Count " +
                                           std::to_string(to - from) + " >>"});
        rootKids += std::to_string(firstNode + n) + " 0 R ";
    }
    tree.insert(tree.begin() + 1, {3, "<< /Type /Pages /Kids [" + rootKids + "]" +
                                          (o.withCount ? " /Count " + std::to_string(pages) : "") + " >>"});
    for (int p = 0; p < pages; ++p)
        leaves.push_back({firstPage + p, "<< /Type /Page /Parent " + std::to_string(firstNode + p / 100) +
                                             " 0 R /MediaBox [0 0 612 792] /Resources << /Font << /F1 << /Type "
                                             "/Font /Subtype /Type1 /BaseFont /Helvetica >> >> >> /Rotate 0 >>"});
    std::vector<std::pair<int, std::string>> all = o.treeFirst ? tree : leaves;
    const auto& second = o.treeFirst ? leaves : tree;
    all.insert(all.end(), second.begin(), second.end());
    StreamPdfBuilder pdf;
    pdf.ObjectStream(1, all);
    StreamPdfBuilder::XrefOptions wide;
    wide.widths[2] = 3;  // indexes in the stream past 65,535
    pdf.XrefStream(firstPage + pages, " /Root 2 0 R", wide);
    if (pagesOut) *pagesOut = pages;
    return pdf.str();
}

std::string WideTreeDocument(int pages, bool withCount, const StreamPdfBuilder::XrefOptions& xref) {
    StreamPdfBuilder pdf;
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    kids.reserve(static_cast<std::size_t>(pages) * 12);
    for (int i = 0; i < pages; ++i) (kids += std::to_string(3 + i)) += " 0 R ";
    pdf.Object(2, "<< /Type /Pages /Kids [" + kids + "]" + (withCount ? " /Count " + std::to_string(pages) : "") +
                      " >>");
    for (int i = 0; i < pages; ++i) pdf.Object(3 + i, "<</Type/Page>>");
    pdf.XrefStream(pages + 3, " /Root 1 0 R", xref);
    return pdf.str();
}

}  // namespace brastel::test
