// Why a count ended below 1, told apart once every route has given up.
#include "brastelv1.h"
#include "pdflimits.h"

#include <component/read_fully.h>

#include <unistd.h>

#include <string_view>

namespace brastel {

void Brastelv1::ExplainFailure(std::int32_t result) {
    using component::CountReason;
    if (state_.fileChanged) {
        reason_.Set(CountReason::Changed);
        return;
    }
    if (state_.needsPassword) {
        reason_.Set(CountReason::NeedsPassword);
        return;
    }
    if (result == 0) {  // a page tree was read, and it has no leaves
        reason_.Set(CountReason::NoPages);
        return;
    }
    char head[limits::kHeaderWindow];
    std::int64_t got = -1;
    if (file_ >= 0) got = component::ReadFully(file_, head, sizeof head, 0);
    const bool header = got > 0 && std::string_view(head, static_cast<std::size_t>(got)).find("%PDF-") !=
                                       std::string_view::npos;
    reason_.Set(header ? CountReason::Damaged : CountReason::NotThisKind, "PDF");
}

}  // namespace brastel
