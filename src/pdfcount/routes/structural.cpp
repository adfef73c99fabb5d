#include "routes/structural.h"

#include "io/fileinput.h"
#include "syntax/lexer.h"
#include "pagebox.h"
#include "pagetree.h"
#include "routes/qpdfbudget.h"

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFExc.hh>
#include <qpdf/QPDFLogger.hh>
#include <qpdf/QPDFObjectHandle.hh>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

namespace brastel {

namespace {

// The page tree as libqpdf holds it, for the walk every route shares.
struct QpdfTree {
    using Item = QPDFObjectHandle;
    using Id = QPDFObjGen;
    // A node's /Kids array, an item at a time (no copy of the array).
    struct Kids {
        QPDFObjectHandle array;
        int next = 0;
        int size = 0;
        KidStep Next(QPDFObjectHandle& kid) {
            if (next >= size) return KidStep::End;
            kid = array.getArrayItem(next++);
            return KidStep::Kid;
        }
    };
    TreeItem Visit(const QPDFObjectHandle& kid, std::optional<Id>& id, Kids& kids) {
        QPDFObjectHandle node = kid;
        if (!node.isDictionary()) return TreeItem::Skip;  // readers ignore it
        if (!node.hasKey("/Kids")) return TreeItem::Leaf;
        if (node.isIndirect()) id = node.getObjGen();
        QPDFObjectHandle array = node.getKey("/Kids");
        if (array.isArray()) kids = Kids{array, 0, array.getArrayNItems()};
        return TreeItem::Node;
    }
};

CountClaim ClaimOf(QPDFObjectHandle count) {
    CountClaim claim;
    if (count.isInteger()) {
        claim.kind = CountClaim::Whole;
        claim.value = count.getIntValue();
    } else if (count.isReal()) {
        const std::string text = count.getRealValue();
        pdf::Value real;
        real.kind = pdf::Value::Kind::Real;
        real.text = text;
        const auto whole = real.Whole();
        claim.kind = whole ? CountClaim::Whole : CountClaim::Fraction;
        claim.value = whole.value_or(0);
    } else if (count.isNull() && !count.isIndirect()) {
        claim.kind = CountClaim::Missing;
    } else {
        claim.kind = CountClaim::NotNumber;  // a reference to nothing included
    }
    return claim;
}

// The count of an opened document by the rules all routes share.
std::optional<std::int32_t> CountPages(QPDF& pdf, StructuralNotes* notes) {
    QPDFObjectHandle pages = pdf.getRoot().getKey("/Pages");
    // No invented pages: /Pages that names no page-tree node is no page.
    if (!pages.isDictionary()) return 0;
    if (!pages.hasKey("/Kids") && !pages.getKey("/Type").isNameAndEquals("/Pages")) return 0;
    const std::size_t objects = pdf.getXRefTable().size();
    const CountClaim claim = ClaimOf(pages.getKey("/Count"));
    switch (JudgeRootCount(claim, [&](std::size_t n) { return n <= objects; })) {
    case CountRule::Answer:
        return static_cast<std::int32_t>(claim.value);
    case CountRule::NoCount:
        if (notes) notes->refused = true;
        return std::nullopt;  // readers refuse a /Count that is no number
    case CountRule::Leaves:
        break;
    }
    QpdfTree tree;
    std::optional<QPDFObjGen> rootId;
    QpdfTree::Kids kids;
    tree.Visit(pages, rootId, kids);
    const auto leaves = CountByLeaves(claim, objects, tree, rootId, std::move(kids));
    if (!leaves || *leaves > INT32_MAX) return std::nullopt;
    return static_cast<std::int32_t>(*leaves);
}

// libqpdf prints nothing: a count shows no messages.
void Silence(QPDF& pdf) {
    auto log = QPDFLogger::create();
    log->setInfo(log->discard());
    log->setWarn(log->discard());
    log->setError(log->discard());
    pdf.setLogger(log);
    pdf.setSuppressWarnings(true);
}

}  // namespace

std::optional<std::int32_t> CountStructural(int fd, const std::string& description, Recovery recovery,
                                            StructuralNotes* notes) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::nullopt;
    const QpdfBudget budget(st.st_size);
    try {
        QPDF pdf;
        Silence(pdf);
        pdf.setAttemptRecovery(recovery == Recovery::On);
        pdf.processInputSource(OpenFileInput(fd, st.st_size, description, notes ? &notes->changed : nullptr));
        const auto pages = CountPages(pdf, notes);
        // libqpdf reads an object it cannot parse as null: an empty tree
        // found through damage may be the damage, and the readers after
        // this one (which rebuild the file) decide.
        if (pages == 0 && recovery == Recovery::Off && pdf.anyWarnings()) return std::nullopt;
        return pages;
    } catch (const QPDFExc& e) {
        if (notes && e.getErrorCode() == qpdf_e_password) notes->needsPassword = true;
        return std::nullopt;
    } catch (...) {
        return std::nullopt;
    }
}

namespace {

// The value of an inheritable key: the page's own, else its nearest
// ancestor's through /Parent (a bounded climb: a loop ends it).
QPDFObjectHandle Inherited(QPDFObjectHandle node, const std::string& key) {
    for (int depth = 0; depth < limits::kInheritClimb && node.isDictionary(); ++depth) {
        if (node.hasKey(key)) return node.getKey(key);
        node = node.getKey("/Parent");
    }
    return QPDFObjectHandle::newNull();
}

pdf::BoxEntry BoxOf(QPDFObjectHandle v) {
    pdf::BoxEntry e;
    if (v.isNull()) return e;
    double n[5];
    int count = 0;
    if (v.isArray())
        for (int i = 0, items = v.getArrayNItems(); i < items && count < 5; ++i) {
            QPDFObjectHandle item = v.getArrayItem(i);
            if (!item.isNumber()) {
                count = 0;
                break;
            }
            n[count++] = item.getNumericValue();
        }
    return pdf::BoxOfNumbers(n, count);
}

}  // namespace

bool SizesStructural(int fd, const std::string& description, std::int64_t pages,
                     std::vector<component::PageSizeRun>& runs) {
    runs.clear();
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    const QpdfBudget budget(st.st_size);
    try {
        QPDF pdf;
        Silence(pdf);
        pdf.processInputSource(OpenFileInput(fd, st.st_size, description, nullptr));
        std::int64_t done = 0;
        for (QPDFObjectHandle page : pdf.getAllPages()) {
            if (done++ == pages) break;
            pdf::PageGeometry g;
            g.media = BoxOf(Inherited(page, "/MediaBox"));
            g.crop = BoxOf(Inherited(page, "/CropBox"));
            QPDFObjectHandle rotate = Inherited(page, "/Rotate");
            if (rotate.isInteger()) g.rotate = rotate.getIntValue();
            QPDFObjectHandle unit = page.getKey("/UserUnit");
            if (unit.isNumber()) g.userUnit = unit.getNumericValue();
            if (const auto size = pdf::ShownSize(g))
                component::AddPageRun(runs, size->first, size->second, component::PageSizeState::Known);
            else
                component::AddPageRun(runs, 0, 0, component::PageSizeState::Unknown);
        }
        return true;
    } catch (...) {
        runs.clear();
        return false;
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
