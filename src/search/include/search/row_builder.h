// AddGeneral's work without the window: one found file -> one ResultRow,
// its page count asked of a fresh counter instance.  Thread-safe.
#pragma once

#include <search/component_loader.h>
#include <search/result_row.h>

#include <component/page_sizes.h>

#include <string>
#include <vector>

namespace search {

struct RowOutcome {
    ResultRow row;
    // The path no longer resolves to a file (it or a folder on its way is
    // gone, or it is no regular file any more): no row.
    bool vanished = false;
    // Non-empty: the row builder's critical message ("Unexpected error in
    // procedure: AddGeneral" ...); the row has no Page Count cell.
    std::string error;
};

// The row builder's message for an error number and description.
std::string AddGeneralMessage(long long number, const std::string& description);

// Error number given when a counter cannot be created.
constexpr int kCannotCreateObject = 429;

class RowBuilder {
public:
    // sizes: rows carry their pages' sizes (ResultRow::pageSizes), which
    // costs the counters reading every page.
    explicit RowBuilder(ComponentLoader& loader, bool sizes = false) : loader_(loader), sizes_(sizes) {}
    RowOutcome Build(const std::string& fullPath) const;
    // Loads the libraries of the counters of the kinds asked for, so that
    // the first file does not wait for them; failures are left for the
    // files to report.  Safe beside Build on other threads.
    void Preload(bool tif, bool pdf) const;
    // Page count of a file of the kind, or the error (number, description).
    // A count below 1 comes with the counter's reason where it gives one;
    // *sizeRead gets the size of the regular file the counter opened, or -1
    // when it opened none or cannot tell; a count of 1 or more leaves the
    // counter's note in *warning ("Damaged after page 3"), empty when whole;
    // *sizes, when given, gets the pages' sizes as runs that hold exactly
    // the count (pages the counter gives no size are of unknown size).
    bool Count(FileKind kind, const std::string& fullPath, std::int32_t& pages, std::string& reason,
               long long& errorNumber, std::string& errorText, std::int64_t* sizeRead = nullptr,
               std::string* warning = nullptr, std::vector<component::PageSizeRun>* sizes = nullptr) const;

private:
    ComponentLoader& loader_;
    bool sizes_ = false;
};

}  // namespace search
