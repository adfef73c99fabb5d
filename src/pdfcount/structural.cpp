#include "structural.h"

#include "fileinput.h"
#include "lexer.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <set>
#include <vector>

namespace brastel {

namespace {

// A root /Count is believed only when the file has room for that many page
// objects; one real file claims 9,999,999,999 pages and holds one.
bool SaneCount(long long count, std::size_t objects) {
    return count >= 1 && count <= INT32_MAX && static_cast<unsigned long long>(count) <= objects;
}

// Leaves of the page tree below pages.  Nodes are visited once each, so a
// /Kids cycle or a node listed twice cannot loop or count twice; the walk
// stops with no value past a bound tied to the file's object count.
std::optional<long long> CountLeaves(QPDFObjectHandle pages, std::size_t objects) {
    std::vector<QPDFObjectHandle> stack{pages};
    std::set<QPDFObjGen> seen;
    const std::size_t bound = 4 * objects + 1024;
    std::size_t steps = 0;
    long long leaves = 0;
    while (!stack.empty()) {
        if (++steps > bound) return std::nullopt;
        QPDFObjectHandle node = stack.back();
        stack.pop_back();
        if (node.isIndirect() && !seen.insert(node.getObjGen()).second) continue;
        if (!node.isDictionary()) continue;
        QPDFObjectHandle type = node.getKey("/Type");
        if (type.isNameAndEquals("/Page")) {
            ++leaves;
            continue;
        }
        QPDFObjectHandle kids = node.getKey("/Kids");
        if (kids.isArray()) {
            const int n = kids.getArrayNItems();
            for (int i = n - 1; i >= 0; --i) stack.push_back(kids.getArrayItem(i));
        } else if (!type.isNameAndEquals("/Pages")) {
            ++leaves;  // neither a node nor typed: readers treat it as a page
        }
    }
    return leaves;
}

// A count as readers take it: an integer, or a real with no fraction (2.0).
std::optional<long long> WholeCount(QPDFObjectHandle count) {
    if (count.isInteger()) return count.getIntValue();
    if (!count.isReal()) return std::nullopt;
    const std::string text = count.getRealValue();
    pdf::Lexer lex(text);
    return pdf::ReadValue(lex).Whole();
}

}  // namespace

std::optional<std::int32_t> CountStructural(int fd, const std::string& description, Recovery recovery) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    try {
        QPDF pdf;
        auto log = QPDFLogger::create();
        log->setInfo(log->discard());
        log->setWarn(log->discard());
        log->setError(log->discard());
        pdf.setLogger(log);
        pdf.setSuppressWarnings(true);
        pdf.setAttemptRecovery(recovery == Recovery::On);
        pdf.processInputSource(OpenFileInput(fd, st.st_size, description));
        QPDFObjectHandle pages = pdf.getRoot().getKey("/Pages");
        const std::size_t objects = pdf.getObjectCount();
        // Readers refuse a page tree whose root /Count is not a number.
        // (A reference to something that is no object shows as an indirect null.)
        if (pages.isDictionary()) {
            QPDFObjectHandle claimed = pages.getKey("/Count");
            if (!WholeCount(claimed) && (!claimed.isNull() || claimed.isIndirect())) return std::nullopt;
        }
        std::optional<long long> leaves;
        try {
            leaves = CountLeaves(pages, objects);
        } catch (...) {
            leaves.reset();
        }
        if (leaves && *leaves >= 1 && *leaves <= INT32_MAX) return static_cast<std::int32_t>(*leaves);
        // The walk failed or found nothing: the root's own claim, if sane.
        const auto count = pages.isDictionary() ? WholeCount(pages.getKey("/Count")) : std::nullopt;
        if (count && SaneCount(*count, objects)) return static_cast<std::int32_t>(*count);
        if (leaves && *leaves == 0) return 0;
        return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

std::optional<std::int32_t> CountStructural(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return std::nullopt;
    }
    auto result = CountStructural(fd, path);
    ::close(fd);
    return result;
}

}  // namespace brastel
