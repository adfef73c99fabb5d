#include "test_support.h"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include <sys/wait.h>

namespace exporttest {

std::string FakeSource::ColumnHeader(std::size_t column) const {
    static const char* const kHeaders[] = {"Name", "Path", "Size", "Page Count", ""};
    return kHeaders[column - 1];
}

std::optional<std::string> FakeSource::SubItem(std::size_t row, std::size_t cell) const {
    const FakeRow& r = rows.at(row - 1);
    switch (cell) {
        case 1: return r.path;
        case 2: return r.size;
        case 3: return r.pages;
        default: return std::nullopt;
    }
}

FakeSource SampleSource() {
    FakeSource s;
    s.rows = {
        {"a.pdf", "/docs/a.pdf", "     12 KB", "3", true},
        {"b.tif", "/docs/b.tif", "      0 KB", std::nullopt, false},
        {"c.pdf", "/docs/c.pdf", "      2 KB", "Error", true},
    };
    return s;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

namespace {

std::string JsonString(std::string_view s) {
    std::string out = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') {
            out.push_back('\\');
            out.push_back(static_cast<char>(c));
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out.push_back(static_cast<char>(c));
        }
    }
    return out + "\"";
}

}  // namespace

int ReadBack(const std::string& mode, const std::string& workbook, const exporting::ExportTable& table,
             std::size_t rowsPerSheet) {
    const std::string expected = workbook + ".expected.json";
    {
        std::ofstream out(expected, std::ios::binary);
        out << "{\"rowsPerSheet\": " << rowsPerSheet << ", \"rows\": [";
        for (std::size_t r = 0; r < table.Rows(); ++r) {
            out << (r ? ",\n[" : "[");
            for (std::size_t c = 0; c < table.Columns(); ++c) out << (c ? "," : "") << JsonString(table.Cell(c, r));
            out << "]";
        }
        out << "]";
        // A workbook of the newer format carries the further sheets; the
        // older one the list alone.
        if (workbook.size() > 5 && workbook.substr(workbook.size() - 5) == ".xlsx") {
            out << ", \"sheets\": [";
            for (std::size_t k = 0; k < table.Sheets().size(); ++k) {
                const auto& sheet = table.Sheets()[k];
                out << (k ? "," : "") << "{\"name\": " << JsonString(sheet.name) << ", \"rows\": [";
                for (std::size_t r = 0; r < sheet.table.Rows(); ++r) {
                    out << (r ? ",[" : "[");
                    for (std::size_t c = 0; c < sheet.table.Columns(); ++c)
                        out << (c ? "," : "") << JsonString(sheet.table.Cell(c, r));
                    out << "]";
                }
                out << "]}";
            }
            out << "]";
        }
        out << "}";
    }
    const std::string command = std::string("'") + QUILLON_PYTHON + "' '" + EXPORT_TEST_DIR +
                                "/read_workbook.py' " + mode + " '" + workbook + "' '" + expected + "'";
    const int status = std::system(command.c_str());
    std::remove(expected.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace exporttest
