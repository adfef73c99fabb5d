// Why a count ended below 1, told apart once every route has given up.
#include "brastelv1.h"

#include <unistd.h>

#include <string_view>

namespace brastel {

namespace {
// Readers accept the "%PDF-" header anywhere in the first 1024 bytes.
constexpr std::size_t kHeaderWindow = 1024;
}  // namespace

void Brastelv1::ExplainFailure(std::int32_t result) {
    using component::CountReason;
    if (fileChanged_) {
        reason_.Set(CountReason::Changed);
        return;
    }
    if (needsPassword_) {
        reason_.Set(CountReason::NeedsPassword);
        return;
    }
    if (result == 0) {  // a page tree was read, and it has no leaves
        reason_.Set(CountReason::NoPages);
        return;
    }
    char head[kHeaderWindow];
    ssize_t got = -1;
    if (file_ >= 0) got = ::pread(file_, head, sizeof head, 0);
    const bool header = got > 0 && std::string_view(head, static_cast<std::size_t>(got)).find("%PDF-") !=
                                       std::string_view::npos;
    reason_.Set(header ? CountReason::Damaged : CountReason::NotThisKind, "PDF");
}

}  // namespace brastel
