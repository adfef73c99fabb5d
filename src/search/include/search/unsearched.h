// What a walk could not search, gathered for the end-of-search message.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace search {

struct UnsearchedSummary {
    // How many paths are named in the message; the rest are only counted.
    static constexpr std::size_t kNamed = 5;

    std::int64_t folders = 0;
    std::int64_t files = 0;
    std::int64_t undated = 0;  // candidate files without the chosen date
    std::int64_t outsideWindow = 0;  // candidate files the date window left out
    struct Item {
        std::string path;
        int error = 0;
    };
    std::vector<Item> first;  // the first kNamed, in walk order

    void Add(const std::string& path, bool folder, int error);
    bool Empty() const { return folders == 0 && files == 0 && undated == 0 && outsideWindow == 0; }
};

// "N files had no creation date to compare" (date field 1..3 names the date).
std::string UndatedText(std::int64_t count, int dateField);
// "N files of the chosen kinds have a creation date outside the date window".
std::string OutsideWindowText(std::int64_t count, int dateField);

// The message shown after "Search Completed Successfully." when something
// could not be searched: the counts, the first few paths with the system's
// reason, the files without a date and those the date window left out;
// empty when there is nothing to say.
std::string UnsearchedMessage(const UnsearchedSummary& summary, int dateField);

}  // namespace search
