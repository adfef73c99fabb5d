#include "output.h"

#include <export/utf8.h>

#include <cmath>
#include <cstdio>

namespace cli {

std::string Decimal(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", std::isfinite(value) ? value : 0.0);
    std::string out = text;
    while (!out.empty() && out.back() == '0') out.pop_back();
    if (!out.empty() && out.back() == '.') out.pop_back();
    return out == "-0" ? "0" : out;
}

namespace {

// The sizes of a file as json: [{"name","width_mm","height_mm","pages"}...].
std::string SizesJson(const search::FileSizes& f) {
    std::string out = "[";
    for (std::size_t i = 0; i < f.groups.size(); ++i) {
        const auto& g = f.groups[i];
        const bool known = g.name != search::kUnknownSize;
        out += std::string(i ? "," : "") + "{\"name\":" + QuoteJson(g.name) +
               ",\"width_mm\":" + (known ? Decimal(g.widthMm) : "null") +
               ",\"height_mm\":" + (known ? Decimal(g.heightMm) : "null") + ",\"pages\":" + std::to_string(g.pages) +
               "}";
    }
    return out + "]";
}

std::string SizeTotalsJson(const search::SizeTotals& t) {
    std::string out = "[";
    for (std::size_t i = 0; i < t.Lines().size(); ++i) {
        const auto& l = t.Lines()[i];
        const bool known = l.name != search::kUnknownSize;
        out += std::string(i ? "," : "") + "{\"name\":" + QuoteJson(l.name) +
               ",\"width_mm\":" + (known ? Decimal(l.widthMm) : "null") +
               ",\"height_mm\":" + (known ? Decimal(l.heightMm) : "null") + ",\"files\":" + std::to_string(l.files) +
               ",\"pages\":" + std::to_string(l.pages) + ",\"a4_equivalents\":" + std::to_string(l.a4Equivalents) +
               ",\"area_m2\":" + Decimal(l.areaM2) + "}";
    }
    return out + "]";
}

std::string FolderJson(const search::FolderTotals::Line& l) {
    return "{\"folder\":" + QuoteJson(l.folder) + ",\"files\":" + std::to_string(l.files) +
           ",\"pages\":" + std::to_string(l.pages) + ",\"a4_equivalents\":" + std::to_string(l.a4Equivalents) +
           ",\"area_m2\":" + Decimal(l.areaM2) + "}";
}

}  // namespace

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

void Writer::Row(const search::ResultRow& row, const search::FileSizes* sizes) {
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
            // Totals by folder stand in for the file lines.
            if (folders_) return;
            line = EscapeTsv(row.path) + "\t" + kind + "\t" + size + "\t" + pages;
            // The size columns come before the reason, which stays last.
            if (sizes_)
                line += counted && sizes ? "\t" + EscapeTsv(search::SizeSummaryText(*sizes)) + "\t" +
                                               std::to_string(sizes->a4Equivalents)
                                         : std::string("\t\t");
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
                   (counted && !row.warning.empty() ? ",\"warning\":" + QuoteJson(row.warning) : "") +
                   (sizes_ && counted && sizes
                        ? ",\"sizes\":" + SizesJson(*sizes) + ",\"a4_equivalents\":" +
                              std::to_string(sizes->a4Equivalents) + ",\"area_m2\":" + Decimal(sizes->areaM2) +
                              ",\"unknown_size_pages\":" + std::to_string(sizes->unknownPages)
                        : std::string()) +
                   "}";
            line = format_ == Format::Json ? (first_ ? "\n" : ",\n") + line : line + "\n";
            break;
        case Format::Caret:
            return;  // written from the export table at the end
    }
    first_ = false;
    std::fwrite(line.data(), 1, line.size(), out_);
    if (format_ == Format::Jsonl) std::fflush(out_);
}

void Writer::End(const Totals& t, const std::vector<SkippedPath>& skipped, const search::SizeTotals* sizes,
                 const search::FolderTotals* folders) {
    if (format_ == Format::Tsv && folders) {
        for (const auto& [name, l] : folders->Lines()) {
            const std::string line = EscapeTsv(l.folder) + "\t" + std::to_string(l.files) + "\t" +
                                     std::to_string(l.pages) + "\t" + std::to_string(l.a4Equivalents) + "\t" +
                                     Decimal(l.areaM2) + "\n";
            std::fwrite(line.data(), 1, line.size(), out_);
        }
    }
    if (format_ == Format::Jsonl) {
        if (folders)
            for (const auto& [name, l] : folders->Lines()) {
                const std::string line = FolderJson(l) + "\n";
                std::fwrite(line.data(), 1, line.size(), out_);
            }
        if (sizes) {
            const std::string line = "{\"totals\":{\"sizes\":" + SizeTotalsJson(*sizes) +
                                     ",\"a4_equivalents\":" + std::to_string(sizes->a4Equivalents()) +
                                     ",\"area_m2\":" + Decimal(sizes->areaM2()) +
                                     ",\"unknown_size_pages\":" + std::to_string(sizes->unknownPages()) + "}}\n";
            std::fwrite(line.data(), 1, line.size(), out_);
        }
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
            ",\"undated\":" + std::to_string(t.undated) +
            (sizes ? ",\"sizes\":" + SizeTotalsJson(*sizes) + ",\"a4_equivalents\":" +
                         std::to_string(sizes->a4Equivalents()) + ",\"area_m2\":" + Decimal(sizes->areaM2()) +
                         ",\"unknown_size_pages\":" + std::to_string(sizes->unknownPages())
                   : std::string()) +
            "}";
    if (folders) {
        text += ",\"folders\":[";
        bool first = true;
        for (const auto& [name, l] : folders->Lines()) {
            text += std::string(first ? "\n" : ",\n") + FolderJson(l);
            first = false;
        }
        text += std::string(first ? "" : "\n") + "]";
    }
    text += "}\n";
    std::fwrite(text.data(), 1, text.size(), out_);
}

}  // namespace cli
