#include <search/result_row.h>

#include <cctype>
#include <cstdio>

namespace search {

FileKind KindOfName(std::string_view name) {
    const auto dot = name.rfind('.');
    if (dot == std::string_view::npos) return FileKind::None;
    const std::string_view ext = name.substr(dot + 1);
    if (ext.size() < 3) return FileKind::None;
    char up[3];
    for (int i = 0; i < 3; ++i) up[i] = static_cast<char>(std::toupper(static_cast<unsigned char>(ext[i])));
    const std::string_view three(up, 3);
    if (three == "TIF") return FileKind::Tif;
    if (three == "PDF") return FileKind::Pdf;
    return FileKind::None;
}

const char* KindText(FileKind kind) {
    switch (kind) {
        case FileKind::Tif: return "TIF";
        case FileKind::Pdf: return "PDF";
        default: return "";
    }
}

std::uint64_t KilobytesOf(std::uint64_t bytes) {
    std::uint64_t kb = bytes / 1024;
    const std::uint64_t rest = bytes % 1024;
    if (rest > 512 || (rest == 512 && (kb & 1) != 0)) ++kb;
    return kb;
}

static std::string Padded(std::uint64_t value, int width, char fill) {
    std::string digits = std::to_string(value);
    if (static_cast<int>(digits.size()) < width) digits.insert(0, width - digits.size(), fill);
    return digits;
}

std::string SizeCellText(std::uint64_t kb) {
    std::string text = std::to_string(kb) + " KB";
    // Wider sizes get a wider cell rather than a cut one.
    if (text.size() < 10) text.insert(0, 10 - text.size(), ' ');
    return text;
}

std::string SizeCellTag(std::uint64_t kb) { return Padded(kb, 10, '0'); }

std::string PageCountText(std::int32_t pages) {
    return pages < 1 ? std::string("Error") : std::to_string(pages);
}

std::string PageCountTag(std::int32_t pages) {
    return pages < 1 ? std::string("Error") : Padded(static_cast<std::uint64_t>(pages), 9, '0');
}

std::string TotalPagesText(bool tif, bool pdf, std::int64_t tifPages, std::int64_t pdfPages) {
    std::string text = "Total Pages";
    if (tif) text += " TIFs = " + std::to_string(tifPages);
    if (pdf) text += " PDFs = " + std::to_string(pdfPages);
    return text;
}

std::string TotalPagesResetText(bool tif, bool pdf) {
    std::string text = "Total Pages";
    if (tif) text += " TIFs = 000000";
    if (pdf) text += " PDFs = 000000";
    return text;
}

}  // namespace search
