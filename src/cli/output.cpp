#include "output.h"

#include <cstdio>

namespace cli {

std::string EscapeTsv(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '\t': out += "\\t"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\\': out += "\\\\"; break;
            default: out += c;
        }
    }
    return out;
}

std::string QuoteCsv(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    return out + "\"";
}

std::string QuoteJson(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : text) {
        switch (c) {
            case '"': out += "\\\""; break;
            case '\\': out += "\\\\"; break;
            case '\n': out += "\\n"; break;
            case '\r': out += "\\r"; break;
            case '\t': out += "\\t"; break;
            default:
                if (c < 0x20) {
                    char buf[8];
                    std::snprintf(buf, sizeof buf, "\\u%04x", c);
                    out += buf;
                } else {
                    out += static_cast<char>(c);
                }
        }
    }
    return out + "\"";
}

std::string PagesField(const search::ResultRow& row) {
    return row.hasPageCount ? row.pageCountText : std::string("Error");
}

void Writer::Begin() {
    if (format_ == Format::Csv) std::fputs("path,kind,size,pages\r\n", out_);
    if (format_ == Format::Json) std::fputs("{\"files\":[", out_);
}

void Writer::Row(const search::ResultRow& row) {
    const std::string pages = PagesField(row);
    const char* kind = search::KindText(row.kind);
    const std::string size = std::to_string(row.sizeBytes);
    std::string line;
    switch (format_) {
        case Format::Tsv:
            line = EscapeTsv(row.path) + "\t" + kind + "\t" + size + "\t" + pages + "\n";
            break;
        case Format::Csv:
            line = QuoteCsv(row.path) + "," + kind + "," + size + "," + pages + "\r\n";
            break;
        case Format::Json:
            line = std::string(first_ ? "\n" : ",\n") + "{\"path\":" + QuoteJson(row.path) + ",\"kind\":" +
                   QuoteJson(kind) + ",\"size\":" + size + ",\"pages\":" +
                   (row.hasPageCount && row.pages >= 1 ? std::to_string(row.pages) : std::string("null")) + "}";
            break;
        case Format::Caret:
            return;  // written from the export table at the end
    }
    first_ = false;
    std::fwrite(line.data(), 1, line.size(), out_);
}

void Writer::End(const Totals& t) {
    if (format_ == Format::Json) {
        std::fprintf(out_,
                     "\n],\"totals\":{\"files\":%lld,\"errors\":%lld,\"tifPages\":%lld,\"pdfPages\":%lld}}\n",
                     static_cast<long long>(t.files), static_cast<long long>(t.errors),
                     static_cast<long long>(t.tifPages), static_cast<long long>(t.pdfPages));
    }
}

}  // namespace cli
