#include "output.h"

#include <export/utf8.h>

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

std::string CsvCell(const std::string& text) {
    const std::string valid = exporting::ValidUtf8(text);
    // A spreadsheet runs a cell that begins like this as a formula.
    if (!valid.empty() && std::string_view("=+-@\t\r").find(valid[0]) != std::string_view::npos)
        return QuoteCsv("'" + valid);
    return QuoteCsv(valid);
}

std::string QuoteJson(const std::string& text) {
    std::string out = "\"";
    for (unsigned char c : exporting::ValidUtf8(text)) {
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

bool Counted(const search::ResultRow& row) { return row.hasPageCount && row.pages >= 1; }

void Writer::Begin() {
    if (format_ == Format::Csv) std::fputs("path,kind,size,pages,reason\r\n", out_);
    // Each jsonl line is flushed whole: a pipeline reads whole objects.
    if (format_ == Format::Json) std::fputs("{\"files\":[", out_);
}

void Writer::Row(const search::ResultRow& row) {
    const std::string pages = PagesField(row);
    const char* kind = search::KindText(row.kind);
    const std::string size = std::to_string(row.sizeBytes);
    const bool counted = Counted(row);
    std::string line;
    switch (format_) {
        case Format::Tsv:
            // Counted lines keep their four columns, so a reader that takes
            // the last column for the pages reads the same; an Error line
            // adds the reason.
            line = EscapeTsv(row.path) + "\t" + kind + "\t" + size + "\t" + pages;
            if (!counted) line += "\t" + EscapeTsv(row.reason);
            line += "\n";
            break;
        case Format::Csv:
            line = CsvCell(row.path) + "," + kind + "," + size + "," + pages + "," +
                   (counted ? std::string() : CsvCell(row.reason)) + "\r\n";
            break;
        case Format::Json:
        case Format::Jsonl:
            line = "{\"path\":" + QuoteJson(row.path) + ",\"kind\":" + QuoteJson(kind) + ",\"size\":" + size +
                   ",\"pages\":" +
                   (counted ? std::to_string(row.pages) : "null,\"reason\":" + QuoteJson(row.reason)) +
                   (counted && !row.warning.empty() ? ",\"warning\":" + QuoteJson(row.warning) : "") + "}";
            line = format_ == Format::Json ? (first_ ? "\n" : ",\n") + line : line + "\n";
            break;
        case Format::Caret:
            return;  // written from the export table at the end
    }
    first_ = false;
    std::fwrite(line.data(), 1, line.size(), out_);
    if (format_ == Format::Jsonl) std::fflush(out_);
}

void Writer::End(const Totals& t, const std::vector<SkippedPath>& skipped) {
    if (format_ == Format::Jsonl) {
        // A line of its own for each path that could not be searched: no
        // "pages", so a reader that picks the files without a count sees it.
        for (const auto& k : skipped) {
            const std::string line = "{\"path\":" + QuoteJson(k.path) + ",\"skipped\":true,\"folder\":" +
                                     (k.folder ? "true" : "false") + ",\"reason\":" + QuoteJson(k.reason) + "}\n";
            std::fwrite(line.data(), 1, line.size(), out_);
        }
        return;
    }
    if (format_ != Format::Json) return;
    std::string text = "\n],\"skipped\":[";
    for (std::size_t i = 0; i < skipped.size(); ++i)
        text += std::string(i ? ",\n" : "\n") + "{\"path\":" + QuoteJson(skipped[i].path) +
                ",\"folder\":" + (skipped[i].folder ? "true" : "false") + ",\"reason\":" +
                QuoteJson(skipped[i].reason) + "}";
    text += std::string(skipped.empty() ? "" : "\n") + "],\"totals\":{\"files\":" + std::to_string(t.files) +
            ",\"errors\":" + std::to_string(t.errors) + ",\"tifPages\":" + std::to_string(t.tifPages) +
            ",\"pdfPages\":" + std::to_string(t.pdfPages) + ",\"skipped\":" + std::to_string(skipped.size()) +
            ",\"undated\":" + std::to_string(t.undated) + "}}\n";
    std::fwrite(text.data(), 1, text.size(), out_);
}

}  // namespace cli
