#include "damaged_variants.h"

#include <cctype>
#include <cstddef>

namespace bench {

namespace {

// Offset of the number after the last "startxref", and its digits.
bool LastStartxref(const std::string& b, std::size_t& at, std::size_t& digits) {
    const std::size_t sx = b.rfind("startxref");
    if (sx == std::string::npos) return false;
    at = sx + 9;
    while (at < b.size() && std::isspace(static_cast<unsigned char>(b[at]))) ++at;
    digits = 0;
    while (at + digits < b.size() && std::isdigit(static_cast<unsigned char>(b[at + digits]))) ++digits;
    return digits > 0;
}

}  // namespace

std::vector<Variant> DamagedVariants(const std::string& b) {
    std::vector<Variant> out;
    if (b.size() < 64) return out;
    // The tail cut: the last bytes, a tenth, half.
    out.push_back({"cut-end-32", b.substr(0, b.size() - 32)});
    out.push_back({"cut-90pct", b.substr(0, b.size() * 9 / 10)});
    out.push_back({"cut-50pct", b.substr(0, b.size() / 2)});

    std::size_t at = 0, digits = 0;
    if (LastStartxref(b, at, digits)) {
        // startxref points a few bytes off, and into the middle of the file.
        const long long offset = std::stoll(b.substr(at, digits));
        std::string off = b;
        off.replace(at, digits, std::to_string(offset + 7));
        out.push_back({"startxref-off-by-7", std::move(off)});
        std::string mid = b;
        mid.replace(at, digits, std::to_string(b.size() / 2));
        out.push_back({"startxref-mid", std::move(mid)});

        // The newest section: a table's second entry shifted by a byte, or
        // the stream section's /Root key broken.
        const auto section = static_cast<std::size_t>(offset);
        if (section < b.size() && b.compare(section, 4, "xref") == 0) {
            std::size_t line = b.find_first_of("\r\n", section + 4);          // after "xref"
            if (line != std::string::npos) line = b.find_first_of("\r\n", line + 1);  // after "0 n"
            if (line != std::string::npos) line = b.find_first_not_of("\r\n", line);  // first entry
            if (line != std::string::npos && line + 40 < b.size()) {
                std::string shifted = b;
                const std::size_t entry = line + 20;  // the second entry's offset digits
                for (std::size_t i = entry + 9; i >= entry && i < shifted.size(); --i) {
                    if (!std::isdigit(static_cast<unsigned char>(shifted[i]))) break;
                    if (shifted[i] != '9') {
                        ++shifted[i];
                        break;
                    }
                    shifted[i] = '0';
                }
                out.push_back({"entry-shifted", std::move(shifted)});
            }
            const std::size_t trailer = b.find("trailer", section);
            const std::size_t root = trailer == std::string::npos ? trailer : b.find("/Root", trailer);
            if (root != std::string::npos) {
                std::string broken = b;
                broken.replace(root, 5, "(Rt!)");  // a string where a key must stand
                out.push_back({"trailer-broken", std::move(broken)});
            }
        } else if (section < b.size()) {
            const std::size_t root = b.find("/Root", section);
            if (root != std::string::npos && root < section + 4096) {
                std::string broken = b;
                broken.replace(root, 5, "(Rt!)");
                out.push_back({"xref-stream-dict-broken", std::move(broken)});
            }
        }
    }
    // The first object stream's data garbled in its middle.
    const std::size_t objstm = b.find("/ObjStm");
    if (objstm != std::string::npos) {
        const std::size_t data = b.find("stream", objstm + 7);
        const std::size_t end = data == std::string::npos ? data : b.find("endstream", data + 6);
        if (end != std::string::npos && end > data + 40) {
            std::string garbled = b;
            const std::size_t mid = data + 6 + (end - data - 6) / 2;
            for (std::size_t i = mid; i < mid + 16 && i < end; ++i) garbled[i] = static_cast<char>(garbled[i] ^ 0x5a);
            out.push_back({"objstm-garbled", std::move(garbled)});
        }
    }
    return out;
}

}  // namespace bench
