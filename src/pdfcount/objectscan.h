// Last resort for files that neither the text route nor libqpdf can read
// (a damaged table together with a broken /Encrypt, for example): objects
// are found by scanning for their "N G obj" headers, and the page tree is
// walked from the catalog.  The answer counts only when the leaves of the
// tree agree with the root's /Count.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace brastel {

std::optional<std::int32_t> CountByObjectScan(std::string_view file);

}  // namespace brastel
