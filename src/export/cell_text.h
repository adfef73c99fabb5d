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

}  // namespace exporting
