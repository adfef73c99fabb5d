// Cell-level helpers shared by the workbook writers.
#pragma once

#include "export/utf8.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace exporting {

// The number a spreadsheet's "General" format reads from a typed cell: blanks
// around it are ignored, then an optional sign, digits with an optional
// decimal point, and an optional exponent.  Anything else (including "12 KB",
// "Error", an empty cell) is text: nullopt.
std::optional<double> GeneralNumber(std::string_view text);

// The Size column's cells ("   2753 KB", under the header "Size") go into a
// workbook as numbers shown through this format, so they read as the list
// shows them and still add up.
inline constexpr const char* kKilobyteFormat = "0 \"KB\"";
inline constexpr std::string_view kSizeHeader = "Size";
// The kilobytes of a Size cell: blanks, digits, " KB"; else nullopt.
std::optional<double> KilobyteCell(std::string_view text);

}  // namespace exporting
