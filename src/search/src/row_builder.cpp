#include <search/row_builder.h>

#include <brastel/brastel.h>
#include <tifcount/tiffpagecounter.h>

#include <sys/stat.h>

namespace search {

std::string AddGeneralMessage(long long number, const std::string& description) {
    return "Unexpected error in procedure: AddGeneral\r\nError #" + std::to_string(number) + ": " + description;
}

namespace {

// Releases a counter instance when the row is done.
template <class T>
struct Instance {
    T* p = nullptr;
    ~Instance() { if (p) p->Release(); }
};

}  // namespace

bool RowBuilder::Count(FileKind kind, const std::string& fullPath, std::int32_t& pages, long long& errorNumber,
                       std::string& errorText) const {
    component::HResult hr;
    // The counter gets a copy of the path: what it does to it is not seen here.
    component::Text path = fullPath;
    pages = 0;
    if (kind == FileKind::Tif) {
        Instance<tifcount::ITiffPageCounter> counter;
        hr = loader_.Create(tifcount::kLibraryName, tifcount::CLSID_TiffPageCounter, tifcount::IID_TiffPageCounter,
                            reinterpret_cast<void**>(&counter.p), errorText);
        if (!counter.p) {
            errorNumber = kCannotCreateObject;
            return false;
        }
        hr = counter.p->TIF_PageCount(path, pages);
    } else if (kind == FileKind::Pdf) {
        Instance<brastel::_Brastelv1> counter;
        hr = loader_.Create(brastel::kLibraryName, brastel::CLSID_Brastelv1, brastel::IID__Brastelv1,
                            reinterpret_cast<void**>(&counter.p), errorText);
        if (!counter.p) {
            errorNumber = kCannotCreateObject;
            return false;
        }
        hr = counter.p->PDF_PageCount(path, pages);
    } else {
        return false;
    }
    if (component::Failed(hr)) {
        errorNumber = hr;
        errorText = "The page counter reported a failure";
        return false;
    }
    return true;
}

RowOutcome RowBuilder::Build(const std::string& fullPath) const {
    RowOutcome out;
    struct stat st {};
    if (stat(fullPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
        out.vanished = true;
        return out;
    }
    ResultRow& row = out.row;
    row.key = fullPath;
    const auto slash = fullPath.rfind('/');
    row.name = slash == std::string::npos ? fullPath : fullPath.substr(slash + 1);
    row.path = fullPath;
    row.sizeBytes = static_cast<std::uint64_t>(st.st_size);
    const std::uint64_t kb = KilobytesOf(row.sizeBytes);
    row.sizeText = SizeCellText(kb);
    row.sizeTag = SizeCellTag(kb);
    row.kind = KindOfName(row.name);
    if (row.kind == FileKind::None) return out;
    row.icon = row.kind == FileKind::Tif ? 1 : 2;

    long long number = 0;
    std::string text;
    if (!Count(row.kind, fullPath, row.pages, number, text)) {
        row.pages = 0;
        out.error = AddGeneralMessage(number, text);
        return out;
    }
    row.hasPageCount = true;
    row.pageCountText = PageCountText(row.pages);
    row.pageCountTag = PageCountTag(row.pages);
    return out;
}

}  // namespace search
