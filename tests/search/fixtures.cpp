#include "fixtures.h"

#include <tiffio.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fixtures {

TempDir::TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "quillon-test-XXXXXX").string();
    if (!mkdtemp(tmpl.data())) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Give back permissions a test took away, so everything can be removed.
    for (auto it = std::filesystem::recursive_directory_iterator(
             path_, std::filesystem::directory_options::skip_permission_denied, ec);
         it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) chmod(it->path().c_str(), 0755);
    }
    chmod(path_.c_str(), 0755);
    std::filesystem::remove_all(path_, ec);
}

void MakeDir(const std::string& path) { std::filesystem::create_directories(path); }

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
    if (!out) throw std::runtime_error("cannot write " + path);
}

void WriteSized(const std::string& path, std::uint64_t size) {
    WriteFile(path, "");
    if (truncate(path.c_str(), static_cast<off_t>(size)) != 0) throw std::runtime_error("truncate failed");
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

static void WriteImage(TIFF* t, int size) {
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, size);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, size);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, size);
    std::vector<unsigned char> row(static_cast<std::size_t>(size), 0x80);
    for (int y = 0; y < size; ++y) TIFFWriteScanline(t, row.data(), static_cast<std::uint32_t>(y), 0);
}

void WriteTiff(const std::string& path, int pages, TiffOptions o) {
    TIFF* t = TIFFOpen(path.c_str(), o.bigTiff ? "w8" : "w");
    if (!t) throw std::runtime_error("cannot create " + path);
    for (int p = 0; p < pages; ++p) {
        if (p == 0 && o.subIfd) {
            std::uint64_t placeholder[1] = {0};
            TIFFSetField(t, TIFFTAG_SUBIFD, 1, placeholder);
        }
        if (p == 0 && o.exif) TIFFSetField(t, TIFFTAG_EXIFIFD, static_cast<std::uint64_t>(0));
        TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        WriteImage(t, 8);
        TIFFWriteDirectory(t);
        if (p == 0 && o.subIfd) {
            TIFFSetField(t, TIFFTAG_SUBFILETYPE, FILETYPE_REDUCEDIMAGE);
            WriteImage(t, 4);
            TIFFWriteDirectory(t);
        }
        if (p == 0 && o.exif) {
            std::uint64_t exifOffset = 0;
            TIFFCreateEXIFDirectory(t);
            TIFFSetField(t, EXIFTAG_DATETIMEORIGINAL, "2020:01:01 00:00:00");
            TIFFWriteCustomDirectory(t, &exifOffset);
            TIFFSetDirectory(t, 0);
            TIFFSetField(t, TIFFTAG_EXIFIFD, exifOffset);
            TIFFRewriteDirectory(t);
            // Further pages are appended at the end of the main chain.
            TIFFSetDirectory(t, 0);
            TIFFCreateDirectory(t);
        }
    }
    TIFFClose(t);
}

static std::uint32_t Read32(const std::string& b, std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

std::uint32_t FirstIfdOffset(const std::string& path) {
    const std::string b = ReadFile(path);
    if (b.size() < 8 || b[0] != 'I') throw std::runtime_error("not a little-endian classic TIFF");
    return Read32(b, 4);
}

void SetLastNextOffset(const std::string& path, std::uint32_t next) {
    std::string b = ReadFile(path);
    std::uint32_t ifd = FirstIfdOffset(path);
    std::size_t field = 0;
    for (int guard = 0; ifd != 0 && guard < 10000; ++guard) {
        const unsigned count = static_cast<unsigned char>(b[ifd]) | static_cast<unsigned char>(b[ifd + 1]) << 8;
        field = ifd + 2 + 12 * count;
        ifd = Read32(b, field);
    }
    for (int i = 0; i < 4; ++i) b[field + i] = static_cast<char>((next >> (8 * i)) & 0xFF);
    WriteFile(path, b);
}

std::string PdfBytes(int pages) {
    std::vector<std::string> objects;
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    std::string kids;
    for (int i = 0; i < pages; ++i) kids += std::to_string(3 + i) + " 0 R ";
    objects.push_back("<< /Type /Pages /Kids [" + kids + "] /Count " + std::to_string(pages) + " >>");
    for (int i = 0; i < pages; ++i) objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    std::string out = "%PDF-1.4\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(out.size());
        out += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = out.size();
    out += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f\r\n";
    for (auto off : offsets) {
        char line[32];
        std::snprintf(line, sizeof line, "%010zu 00000 n\r\n", off);
        out += line;
    }
    out += "trailer\n<< /Size " + std::to_string(objects.size() + 1) + " /Root 1 0 R >>\nstartxref\n" +
           std::to_string(xref) + "\n%%EOF\n";
    return out;
}

void SetTimes(const std::string& path, int year, int month, int day, int hour, int minute, bool access) {
    std::tm tm{};
    tm.tm_year = year - 1900;
    tm.tm_mon = month - 1;
    tm.tm_mday = day;
    tm.tm_hour = hour;
    tm.tm_min = minute;
    tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    struct timespec times[2];
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_nsec = UTIME_OMIT;
    timespec& target = access ? times[0] : times[1];
    target.tv_sec = t;
    target.tv_nsec = 0;
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) throw std::runtime_error("utimensat failed");
}

}  // namespace fixtures
