// Dates as the date window compares them, and the date fields it can use.
#pragma once

#include <compare>

namespace search {

// A local calendar date (time of day dropped).
struct CalendarDate {
    int year = 1970;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    friend auto operator<=>(const CalendarDate&, const CalendarDate&) = default;
};

// cboDateFields indexes.
enum DateFieldIndex : int { kDateNone = 0, kDateModified = 1, kDateCreated = 2, kDateAccessed = 3 };

}  // namespace search
