// The process-wide memory budget of the counts that go to libqpdf, which
// holds every object of a document it parses: several times the file's
// size (327 MB for a 1.1 MB file of 65,000 objects), far beyond the rest of
// the counter.  A file larger than kFreeBytes (limits::kQpdfFreeBytes)
// counts only when no other such file is with libqpdf, so the jobs of a
// search never hold several of them at once, and the memory it freed is given back to the system before the
// next one starts; smaller files go freely.
#pragma once

#include "pdflimits.h"

#include <cstddef>
#include <cstdint>

namespace brastel {

class QpdfBudget {
public:
    static constexpr std::int64_t kFreeBytes = limits::kQpdfFreeBytes;

    // Waits, for a file of fileBytes larger than kFreeBytes, until no other
    // such file is with libqpdf; released when it goes out of scope.
    explicit QpdfBudget(std::int64_t fileBytes);
    ~QpdfBudget();
    QpdfBudget(const QpdfBudget&) = delete;
    QpdfBudget& operator=(const QpdfBudget&) = delete;

    // The most files larger than kFreeBytes that were ever with libqpdf at once.
    static std::size_t PeakLarge();

private:
    bool large_;
};

}  // namespace brastel
