#include <search/unsearched.h>

#include <search/calendar_date.h>

#include <cstring>

namespace search {

namespace {

std::string Counted(std::int64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Very long paths are shortened in the middle so the box stays readable.
std::string Shortened(const std::string& path) {
    constexpr std::size_t kMax = 160;
    if (path.size() <= kMax) return path;
    std::size_t head = kMax / 2, tail = kMax / 2 - 3;
    // Cut between UTF-8 characters, never inside one.
    while (head > 0 && (static_cast<unsigned char>(path[head]) & 0xC0) == 0x80) --head;
    std::size_t from = path.size() - tail;
    while (from < path.size() && (static_cast<unsigned char>(path[from]) & 0xC0) == 0x80) ++from;
    return path.substr(0, head) + "..." + path.substr(from);
}

}  // namespace

void UnsearchedSummary::Add(const std::string& path, bool folder, int error) {
    ++(folder ? folders : files);
    if (first.size() < kNamed) first.push_back(Item{path, error});
}

std::string UndatedText(std::int64_t count, int dateField) {
    const char* date = dateField == kDateModified ? "modification date"
                       : dateField == kDateAccessed ? "access date" : "creation date";
    return Counted(count, "file", "files") + " had no " + date +
           " to compare (the file system does not record it); " + (count == 1 ? "it is" : "they are") +
           " not in the list.";
}

std::string OutsideWindowText(std::int64_t count, int dateField) {
    const char* date = dateField == kDateModified ? "modification date"
                       : dateField == kDateAccessed ? "access date" : "creation date";
    return Counted(count, "file", "files") + " of the chosen kinds " + (count == 1 ? "has a " : "have a ") + date +
           " outside the date window; " + (count == 1 ? "it is" : "they are") + " not in the list or the totals.";
}

std::string UnsearchedMessage(const UnsearchedSummary& s, int dateField) {
    std::string text;
    if (s.folders > 0 || s.files > 0) {
        if (s.folders > 0) text = Counted(s.folders, "folder", "folders");
        if (s.folders > 0 && s.files > 0) text += " and ";
        if (s.files > 0) text += Counted(s.files, "file", "files");
        text += " could not be searched; what they hold is not in the list or the totals:";
        for (const auto& item : s.first) text += "\n" + Shortened(item.path) + ": " + std::strerror(item.error);
        const std::int64_t rest = s.folders + s.files - static_cast<std::int64_t>(s.first.size());
        if (rest > 0) text += "\n... and " + std::to_string(rest) + " more.";
    }
    if (s.undated > 0) {
        if (!text.empty()) text += "\n\n";
        text += UndatedText(s.undated, dateField);
    }
    if (s.outsideWindow > 0) {
        if (!text.empty()) text += "\n\n";
        text += OutsideWindowText(s.outsideWindow, dateField);
    }
    return text;
}

}  // namespace search
