#include <search/row_builder.h>

#include <search/long_path.h>

#include <brastel/brastel.h>
#include <component/count_reason.h>
#include <component/counted_file.h>
#include <component/count_warning.h>
#include <component/page_sizes.h>
#include <search/page_sizes.h>
#include <tifcount/tiffpagecounter.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace search {

std::string AddGeneralMessage(long long number, const std::string& description) {
    return "Unexpected error in procedure: AddGeneral\r\nError #" + std::to_string(number) + ": " + description;
}

namespace {

// The page-counter class of each kind: its library and identifiers.
struct CounterClass {
    const char* library;
    component::Guid clsid;
    component::Guid iid;
};
constexpr CounterClass kTiffCounter{tifcount::kLibraryName, tifcount::CLSID_TiffPageCounter,
                                    tifcount::IID_TiffPageCounter};
constexpr CounterClass kPdfCounter{brastel::kLibraryName, brastel::CLSID_Brastelv1, brastel::IID__Brastelv1};

// Releases a counter instance when the row is done.
template <class T>
struct Instance {
    T* p = nullptr;
    ~Instance() { if (p) p->Release(); }
};

// The reason of a count below 1, from counters that offer one.
std::string ReasonOf(component::IUnknown* counter) {
    component::ICountReason* why = nullptr;
    if (component::Failed(counter->QueryInterface(component::IID_ICountReason, reinterpret_cast<void**>(&why))) ||
        !why)
        return {};
    std::int32_t code = 0;
    component::Text text;
    const component::HResult hr = why->LastCountReason(code, text);
    why->Release();
    return component::Succeeded(hr) ? text : std::string();
}

// The note on a count of 1 or more, from counters that offer one.
std::string WarningOf(component::IUnknown* counter) {
    component::ICountWarning* note = nullptr;
    if (component::Failed(counter->QueryInterface(component::IID_ICountWarning, reinterpret_cast<void**>(&note))) ||
        !note)
        return {};
    component::Text text;
    const component::HResult hr = note->LastCountWarning(text);
    note->Release();
    return component::Succeeded(hr) ? text : std::string();
}

// The size of the file the counter's last count opened, -1 when it opened
// none or does not tell.
std::int64_t SizeReadBy(component::IUnknown* counter) {
    component::ICountedFile* file = nullptr;
    if (component::Failed(counter->QueryInterface(component::IID_ICountedFile, reinterpret_cast<void**>(&file))) ||
        !file)
        return -1;
    std::int64_t bytes = -1;
    if (component::Failed(file->LastFileSize(bytes))) bytes = -1;
    file->Release();
    return bytes;
}

// Creates a counter of type T through the loader and counts the path with it.
template <class T, class Call>
bool CountWith(ComponentLoader& loader, const CounterClass& k, Call call, std::int32_t& pages, std::string& reason,
               long long& errorNumber, std::string& errorText, std::int64_t* sizeRead, std::string* warning,
               std::vector<component::PageSizeRun>* sizes) {
    Instance<T> counter;
    loader.Create(k.library, k.clsid, k.iid, reinterpret_cast<void**>(&counter.p), errorText);
    if (!counter.p) {
        errorNumber = kCannotCreateObject;
        return false;
    }
    // Sizes are asked for before the count, which reads them on its way.
    component::IPageSizes* sizer = nullptr;
    if (sizes &&
        (component::Failed(counter.p->QueryInterface(component::IID_IPageSizes, reinterpret_cast<void**>(&sizer))) ||
         !sizer))
        sizer = nullptr;
    if (sizer) sizer->WantPageSizes(true);
    const component::HResult hr = call(*counter.p);
    if (sizes) {
        sizes->clear();
        if (component::Succeeded(hr) && pages >= 1) {
            if (sizer) sizer->LastPageSizes(*sizes);
            // A counter without sizes leaves every page of unknown size.
            FitRunsToCount(*sizes, pages);
        }
    }
    if (sizer) sizer->Release();
    if (component::Failed(hr)) {
        errorNumber = hr;
        errorText = "The page counter reported a failure";
        return false;
    }
    if (pages < 1) reason = ReasonOf(counter.p);
    else if (warning) *warning = WarningOf(counter.p);
    if (sizeRead) *sizeRead = SizeReadBy(counter.p);
    return true;
}

// A row whose file cannot be reached for a reason other than being gone.
void Unreachable(ResultRow& row, int error) {
    row.hasPageCount = true;
    row.pages = -1;
    row.pageCountText = PageCountText(row.pages);
    row.pageCountTag = PageCountTag(row.pages);
    row.reason = component::ReasonText(component::CountReason::CannotOpen, std::strerror(error));
}

}  // namespace

bool RowBuilder::Count(FileKind kind, const std::string& fullPath, std::int32_t& pages, std::string& reason,
                       long long& errorNumber, std::string& errorText, std::int64_t* sizeRead,
                       std::string* warning, std::vector<component::PageSizeRun>* sizes) const {
    // The counter gets a copy of the path: what it does to it is not seen here.
    component::Text path = fullPath;
    pages = 0;
    reason.clear();
    if (sizeRead) *sizeRead = -1;
    if (kind == FileKind::Tif)
        return CountWith<tifcount::ITiffPageCounter>(
            loader_, kTiffCounter, [&](tifcount::ITiffPageCounter& c) { return c.TIF_PageCount(path, pages); }, pages,
            reason, errorNumber, errorText, sizeRead, warning, sizes);
    if (kind == FileKind::Pdf)
        return CountWith<brastel::_Brastelv1>(
            loader_, kPdfCounter, [&](brastel::_Brastelv1& c) { return c.PDF_PageCount(path, pages); }, pages, reason,
            errorNumber, errorText, sizeRead, warning, sizes);
    return false;
}

void RowBuilder::Preload(bool tif, bool pdf) const {
    for (const CounterClass* k : {tif ? &kTiffCounter : nullptr, pdf ? &kPdfCounter : nullptr}) {
        if (!k) continue;
        Instance<component::IUnknown> c;
        std::string ignored;
        loader_.Create(k->library, k->clsid, k->iid, reinterpret_cast<void**>(&c.p), ignored);
    }
}

RowOutcome RowBuilder::Build(const std::string& fullPath) const {
    RowOutcome out;
    ResultRow& row = out.row;
    row.key = fullPath;
    const auto slash = fullPath.rfind('/');
    row.name = slash == std::string::npos ? fullPath : fullPath.substr(slash + 1);
    row.path = fullPath;
    row.kind = KindOfName(row.name);
    // A path too long to open in one piece is opened through its folder.
    const ReachablePath reachable(fullPath);

    // The counter opens the file anyway: the size it saw spares asking the
    // file system once more (a round trip per file on a network share).
    // Only when it opened no regular file is the file system asked why.
    long long number = 0;
    std::string text;
    bool countFailed = false;
    std::int64_t sizeRead = -1;
    if (row.kind != FileKind::None && !reachable.Path().empty()) {
        countFailed = !Count(row.kind, reachable.Path(), row.pages, row.reason, number, text, &sizeRead, &row.warning,
                             sizes_ ? &row.pageSizes : nullptr);
    }
    int error = 0;
    if (sizeRead >= 0) {
        row.sizeBytes = static_cast<std::uint64_t>(sizeRead);
    } else {
        struct stat st {};
        error = reachable.Path().empty()                  ? reachable.Error()
                : stat(reachable.Path().c_str(), &st) != 0 ? errno
                                                           : 0;
        if ((error == 0 && !S_ISREG(st.st_mode)) || error == ENOENT || error == ENOTDIR) {
            out.vanished = true;
            return out;
        }
        // Found, but out of reach (a folder on the way closed to us, say): a
        // row that says so rather than no row at all.
        row.sizeBytes = error == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
    }
    const std::uint64_t kb = KilobytesOf(row.sizeBytes);
    row.sizeText = SizeCellText(kb);
    row.sizeTag = SizeCellTag(kb);
    if (row.kind == FileKind::None) return out;
    row.icon = row.kind == FileKind::Tif ? 1 : 2;
    if (error != 0) {
        Unreachable(row, error);
        return out;
    }
    if (countFailed) {
        row.pages = 0;
        row.reason = text;
        out.error = AddGeneralMessage(number, text);
        return out;
    }
    row.hasPageCount = true;
    row.pageCountText = PageCountText(row.pages);
    row.pageCountTag = PageCountTag(row.pages);
    return out;
}

}  // namespace search
