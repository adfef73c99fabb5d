#include "export/caret_text.h"

namespace exporting {

void AppendCaretLine(const ExportTable& table, std::size_t row, std::string& out) {
    for (std::size_t c = 0; c < table.Columns(); ++c) {
        out.append(table.Cell(c, row));
        out.push_back('^');
    }
    out.append("\r\n");
}

bool WriteCaretText(const ExportTable& table, std::FILE* file, const RowProgress& progress) {
    // Lines are gathered into a small buffer so a million short lines do not
    // cost a million write calls; the buffer never holds more than ~64 KiB
    // plus one line.
    constexpr std::size_t kFlushAt = 64 * 1024;
    std::string buffer;
    buffer.reserve(kFlushAt + 4096);
    const std::size_t rows = table.Rows();
    for (std::size_t r = 0; r < rows; ++r) {
        AppendCaretLine(table, r, buffer);
        if (buffer.size() >= kFlushAt || r + 1 == rows) {
            if (std::fwrite(buffer.data(), 1, buffer.size(), file) != buffer.size()) return false;
            buffer.clear();
        }
        if (progress) progress(r + 1);
    }
    return std::fflush(file) == 0;
}

std::size_t RowsCaretTextSplits(const ExportTable& table) {
    std::size_t rows = 0;
    for (std::size_t r = 1; r < table.Rows(); ++r)
        for (std::size_t c = 0; c < table.Columns(); ++c)
            if (table.Cell(c, r).find_first_of("^\r\n") != std::string_view::npos) {
                ++rows;
                break;
            }
    return rows;
}

std::string CaretText(const ExportTable& table) {
    std::string out;
    for (std::size_t r = 0; r < table.Rows(); ++r) AppendCaretLine(table, r, out);
    return out;
}

}  // namespace exporting
