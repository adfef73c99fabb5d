// Excel 2007+ workbook through libxlsxwriter.  Constant-memory mode writes
// each row out as soon as the next one starts, so the library holds one row,
// not the sheet.
#include "workbook_writers.h"

#include "cell_text.h"

#include <xlsxwriter.h>

#include <algorithm>
#include <vector>

namespace exporting {

std::string XlsxCellText(std::string_view text) {
    const std::string valid = ValidUtf8(text);
    std::string out;
    out.reserve(valid.size());
    for (std::size_t i = 0; i < valid.size(); ++i) {
        const char c = valid[i];
        // Readers take "_xHHHH_" for the escape of character HHHH (some
        // accept fewer digits), so every literal "_x" keeps its underscore
        // as the escape "_x005F_".
        if (c == '_' && i + 1 < valid.size() && valid[i + 1] == 'x') out += "_x005F";
        // U+FFFE and U+FFFF are not XML characters: written as escapes.
        if (c == '\xEF' && i + 2 < valid.size() && valid[i + 1] == '\xBF' &&
            (valid[i + 2] == '\xBE' || valid[i + 2] == '\xBF')) {
            out += valid[i + 2] == '\xBE' ? "_xFFFE_" : "_xFFFF_";
            i += 2;
            continue;
        }
        out += c;
    }
    return out;
}

std::string WriteXlsx(const ExportTable& table, const std::string& path, const RowProgress& progress) {
    if (table.Columns() > LXW_COL_MAX) return "the table has more columns than a workbook sheet holds";

    // Check every text first, so a cell the format cannot hold fails the
    // export before any byte is written.
    for (std::size_t r = 0; r < table.Rows(); ++r) {
        for (std::size_t c = 0; c < table.Columns(); ++c) {
            const std::string_view text = table.Cell(c, r);
            if (text.size() <= kMaxCellChars) continue;  // bytes >= characters
            std::size_t units = 0;
            ForEachCodePoint(text, [&](char32_t cp) { units += cp >= 0x10000 ? 2 : 1; });
            if (units > kMaxCellChars) {
                return "the cell in row " + std::to_string(r + 1) + ", column " + std::to_string(c + 1) +
                       " holds more than 32,767 characters, the most a workbook cell can hold";
            }
        }
    }

    lxw_workbook_options options{};
    options.constant_memory = LXW_TRUE;
    // The sheet XML of a very large table can pass the 4 GB a plain zip
    // entry may hold.
    options.use_zip64 = table.MemoryBytes() > (std::size_t{1} << 30) ? LXW_TRUE : LXW_FALSE;
    lxw_workbook* workbook = workbook_new_opt(path.c_str(), &options);
    if (!workbook) return "the workbook could not be created";

    lxw_format* kilobytes = workbook_add_format(workbook);
    format_set_num_format(kilobytes, kKilobyteFormat);
    std::vector<bool> sizeColumn(table.Columns());
    for (std::size_t c = 0; c < table.Columns(); ++c) sizeColumn[c] = table.Cell(c, 0) == kSizeHeader;

    std::string scratch;
    std::string err;
    auto writeRow = [&](lxw_worksheet* sheet, const ExportTable& from, std::size_t r, lxw_row_t at, bool list) {
        for (std::size_t c = 0; c < from.Columns() && err.empty(); ++c) {
            const std::string_view text = from.Cell(c, r);
            if (text.empty()) continue;
            lxw_error e;
            const auto kb = list && r > 0 && sizeColumn[c] ? KilobyteCell(text) : std::nullopt;
            if (kb) {
                e = worksheet_write_number(sheet, at, static_cast<lxw_col_t>(c), *kb, kilobytes);
            } else if (const auto number = GeneralNumber(text)) {
                e = worksheet_write_number(sheet, at, static_cast<lxw_col_t>(c), *number, nullptr);
            } else {
                scratch = XlsxCellText(text);
                e = worksheet_write_string(sheet, at, static_cast<lxw_col_t>(c), scratch.c_str(), nullptr);
            }
            if (e != LXW_NO_ERROR) err = lxw_strerror(e);
        }
    };

    const std::size_t perSheet = kXlsxRowsPerSheet - 1;  // data rows after the header
    const std::size_t dataRows = table.Rows() - 1;
    const std::size_t sheets = std::max<std::size_t>(1, (dataRows + perSheet - 1) / perSheet);
    for (std::size_t s = 0; s < sheets && err.empty(); ++s) {
        lxw_worksheet* sheet = workbook_add_worksheet(workbook, nullptr);
        if (!sheet) {
            err = "a worksheet could not be added";
            break;
        }
        const std::size_t first = 1 + s * perSheet;
        const std::size_t end = std::min(table.Rows(), first + perSheet);
        writeRow(sheet, table, 0, 0, true);
        if (progress && s == 0) progress(1);
        lxw_row_t at = 1;
        for (std::size_t r = first; r < end && err.empty(); ++r, ++at) {
            writeRow(sheet, table, r, at, true);
            if (progress) progress(r + 1);
        }
    }
    // The totals follow the list, each on a sheet of its name; they are a
    // few lines (one per size or folder), far below a sheet's rows.
    for (const NamedTable& extra : table.Sheets()) {
        if (!err.empty()) break;
        lxw_worksheet* sheet = workbook_add_worksheet(workbook, extra.name.c_str());
        if (!sheet) {
            err = "the sheet \"" + extra.name + "\" could not be added";
            break;
        }
        const std::size_t rows = std::min(extra.table.Rows(), kXlsxRowsPerSheet);
        for (std::size_t r = 0; r < rows && err.empty(); ++r) writeRow(sheet, extra.table, r, static_cast<lxw_row_t>(r), false);
    }
    const lxw_error closed = workbook_close(workbook);  // frees the workbook in every case
    if (err.empty() && closed != LXW_NO_ERROR) err = lxw_strerror(closed);
    return err;
}

}  // namespace exporting
