// The walker's tests for files handed over by name: what a walk of their
// folder would have made of each.
#pragma once

#include <search/search_view.h>

#include <string>
#include <vector>

namespace pyquillon {

enum class Listed { Accepted, Passed, Undated, Unreadable };

// Whether folder/name is a file a walk would accept: a regular file (or a link
// to one) whose chosen date lies in the window.  Passed: it is gone, is no
// regular file, or lies outside the window; Unreadable sets *error.
Listed CheckListed(const std::string& folder, const std::string& name, int dateField,
                   search::CalendarDate from, search::CalendarDate to, int* error);

// The names a walk would examine as candidates, in the order it examines
// them: one pass per pattern over the folder's entries as listed.
std::vector<std::string> CandidateNames(const std::vector<std::string>& names, bool tif, bool pdf);

}  // namespace pyquillon
