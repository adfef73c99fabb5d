#include "listed_files.h"

#include <search/walker.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace pyquillon {

Listed CheckListed(const std::string& folder, const std::string& name, int dateField,
                   search::CalendarDate from, search::CalendarDate to, int* error) {
    const std::string path = folder + name;
    struct stat st {};
    if (stat(path.c_str(), &st) != 0) {
        // Gone since it was listed (or a link to nothing): the walk says nothing.
        if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP) return Listed::Passed;
        *error = errno;
        return Listed::Unreadable;
    }
    if (!S_ISREG(st.st_mode)) return Listed::Passed;
    if (dateField < search::kDateModified) return Listed::Accepted;
    const search::FileDateAnswer a = search::SystemDates().Date(AT_FDCWD, path.c_str(), dateField);
    switch (a.status) {
        case search::FileDateAnswer::Status::Known:
            return search::DateInWindow(a.date, from, to) ? Listed::Accepted : Listed::Passed;
        case search::FileDateAnswer::Status::NotRecorded: return Listed::Undated;
        case search::FileDateAnswer::Status::Unreadable:
            if (a.error == ENOENT || a.error == ENOTDIR || a.error == ELOOP) return Listed::Passed;
            *error = a.error;
            return Listed::Unreadable;
    }
    return Listed::Passed;
}

std::vector<std::string> CandidateNames(const std::vector<std::string>& names, bool tif, bool pdf) {
    std::vector<std::string> out;
    for (const auto& pattern : search::BuildPatterns(tif, pdf))
        for (const auto& name : names)
            if (name != "." && name != ".." && search::MatchesPattern(name, pattern)) out.push_back(name);
    return out;
}

}  // namespace pyquillon
