// The structural reader: libqpdf opens the file read-only with recovery on,
// and the page tree is counted by the rules every route follows (the root's
// /Count when plausible, else its leaves).
#pragma once

#include <component/page_sizes.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brastel {

// Page count of the PDF on the open descriptor (not taken over), or no value
// when the file cannot be read as a PDF.  description names the file in
// libqpdf's diagnostics, which are silenced.  With recovery off, a file
// whose cross-reference data is broken fails at once instead of being
// reconstructed by a parse of the whole file.
enum class Recovery { Off, On };
// What libqpdf found besides a count.
struct StructuralNotes {
    // The file reads whole, but its page tree gives no count (a root /Count
    // that is no number): a reconstruction would find the same.
    bool refused = false;
    // libqpdf refused the file for want of a password.
    bool needsPassword = false;
    // A read came back shorter than the file's length: it shrank meanwhile.
    bool changed = false;
};
std::optional<std::int32_t> CountStructural(int fd, const std::string& description,
                                            Recovery recovery = Recovery::On, StructuralNotes* notes = nullptr);

// The sizes of the first `pages` pages of the PDF on the open descriptor as
// libqpdf reads them (the cross-reference data reconstructed when broken),
// for files whose tree the native walk could not read; false when libqpdf
// cannot read the file.
bool SizesStructural(int fd, const std::string& description, std::int64_t pages,
                     std::vector<component::PageSizeRun>& runs);

// The same for a path, opened read-only.
std::optional<std::int32_t> CountStructural(const std::string& path);

}  // namespace brastel
