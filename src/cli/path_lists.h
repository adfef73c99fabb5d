// The paths quillon-count is given: lists read from files or standard
// input.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace cli {

// Splits a list into paths: one a line (LF or CR LF) or, with nul, each
// ended by NUL (a last one without it is taken too).  Empty entries are
// skipped.  A NUL byte in a line list is refused (false, error set): such a
// list comes from find -print0 and needs --null.
bool SplitPathList(const std::string& bytes, bool nul, std::vector<std::string>& out, std::string& error);

// Reads the list named `name` ("-": standard input) and splits it.  A folder,
// an unreadable file or a NUL byte in a line list gives false with error.
bool ReadPathList(const std::string& name, bool nul, std::vector<std::string>& out, std::string& error);

}  // namespace cli
