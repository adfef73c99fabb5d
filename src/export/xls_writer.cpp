// Excel 97-2003 workbook writer.  The "Workbook" stream is produced twice by
// the same code: once into a counting sink to learn where each worksheet
// starts (BOUNDSHEET8 records name those offsets before the sheets come), and
// once for real.  Nothing but a few counters is kept between the passes: the
// shared-string table lists the string cells in the order the sheets use
// them, so a cell's string index is its running count and no lookup table is
// needed.
#include "workbook_writers.h"

#include "cell_text.h"

#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

namespace exporting {
namespace {

// Record types (BIFF8).
constexpr std::uint16_t kBof = 0x0809;
constexpr std::uint16_t kEof = 0x000A;
constexpr std::uint16_t kCodePage = 0x0042;
constexpr std::uint16_t kWindow1 = 0x003D;
constexpr std::uint16_t kDateMode = 0x0022;
constexpr std::uint16_t kFont = 0x0031;
constexpr std::uint16_t kXf = 0x00E0;
constexpr std::uint16_t kStyle = 0x0293;
constexpr std::uint16_t kBoundSheet = 0x0085;
constexpr std::uint16_t kSst = 0x00FC;
constexpr std::uint16_t kContinue = 0x003C;
constexpr std::uint16_t kExtSst = 0x00FF;
constexpr std::uint16_t kDimensions = 0x0200;
constexpr std::uint16_t kWindow2 = 0x023E;
constexpr std::uint16_t kLabelSst = 0x00FD;
constexpr std::uint16_t kNumber = 0x0203;
constexpr std::uint16_t kFormat = 0x041E;

constexpr std::size_t kMaxRecordData = 8224;
constexpr std::uint16_t kCellXf = 15;  // the first XF after the 15 style XFs
constexpr std::uint16_t kKilobyteXf = 16;  // a cell XF with the kilobyte format
constexpr std::uint16_t kKilobyteFormatIndex = 164;  // the first index free for workbook formats
constexpr std::size_t kMaxColumns = 256;

// Little-endian bytes into a small fixed buffer.
struct Bytes {
    std::uint8_t data[64];
    std::size_t size = 0;
    Bytes& U8(unsigned v) {
        data[size++] = static_cast<std::uint8_t>(v);
        return *this;
    }
    Bytes& U16(unsigned v) { return U8(v & 0xFF).U8((v >> 8) & 0xFF); }
    Bytes& U32(std::uint32_t v) { return U16(v & 0xFFFF).U16(v >> 16); }
    Bytes& F64(double v) {
        std::uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        return U32(static_cast<std::uint32_t>(bits)).U32(static_cast<std::uint32_t>(bits >> 32));
    }
    Bytes& Ascii(const char* s) {
        while (*s) U8(static_cast<unsigned char>(*s++));
        return *this;
    }
};

// The Workbook stream's bytes: counted only (sink == nullptr) or written to
// `sink` through a buffer.
class StreamOut {
public:
    explicit StreamOut(GsfOutput* sink) : sink_(sink) {
        if (sink_) buffer_.reserve(kBufferSize);
    }
    void Put(const std::uint8_t* p, std::size_t n) {
        pos_ += n;
        if (!sink_) return;
        buffer_.insert(buffer_.end(), p, p + n);
        if (buffer_.size() >= kBufferSize) Flush();
    }
    void Record(std::uint16_t type, const Bytes& body) {
        Bytes head;
        head.U16(type).U16(static_cast<unsigned>(body.size));
        Put(head.data, head.size);
        Put(body.data, body.size);
    }
    void Record(std::uint16_t type, const std::uint8_t* body, std::size_t n) {
        Bytes head;
        head.U16(type).U16(static_cast<unsigned>(n));
        Put(head.data, head.size);
        Put(body, n);
    }
    bool Flush() {
        if (sink_ && !buffer_.empty() && ok_) {
            ok_ = gsf_output_write(sink_, buffer_.size(), buffer_.data());
        }
        buffer_.clear();
        return ok_;
    }
    bool Ok() const { return ok_; }
    std::uint64_t Pos() const { return pos_; }

private:
    static constexpr std::size_t kBufferSize = 256 * 1024;
    GsfOutput* sink_;
    std::vector<std::uint8_t> buffer_;
    std::uint64_t pos_ = 0;
    bool ok_ = true;
};

// A record whose data may exceed one record's limit and goes on in CONTINUE
// records (the shared-string table).
class ContinuedRecord {
public:
    ContinuedRecord(StreamOut& out, std::uint16_t type) : out_(out), type_(type) {}
    std::size_t Room() const { return kMaxRecordData - size_; }
    void Put(const std::uint8_t* p, std::size_t n) {
        std::memcpy(data_ + size_, p, n);
        size_ += n;
    }
    void Put8(unsigned v) { data_[size_++] = static_cast<std::uint8_t>(v); }
    void Flush() {
        out_.Record(first_ ? type_ : kContinue, data_, size_);
        first_ = false;
        size_ = 0;
    }
    // Where the next byte lands: in the stream, and from the start of the
    // current record (its 4-byte header included).
    std::uint64_t StreamPos() const { return out_.Pos() + 4 + size_; }
    std::size_t RecordOffset() const { return 4 + size_; }

private:
    StreamOut& out_;
    std::uint16_t type_;
    std::uint8_t data_[kMaxRecordData];
    std::size_t size_ = 0;
    bool first_ = true;
};

struct Layout {
    std::vector<std::uint64_t> sheetPos;  // stream offset of each sheet's BOF
    std::uint64_t strings = 0;            // string cells = shared strings
};

// How a string cell is stored: 8-bit ("compressed") when every character is
// below U+0100, else UTF-16LE.
struct StringShape {
    std::size_t units = 0;
    bool wide = false;
};

StringShape ShapeOf(std::string_view text) {
    StringShape s;
    ForEachCodePoint(text, [&](char32_t cp) {
        s.units += cp >= 0x10000 ? 2 : 1;
        if (cp > 0xFF) s.wide = true;
    });
    return s;
}

class WorkbookStream {
public:
    WorkbookStream(const ExportTable& table, StreamOut& out, const Layout& known, Layout& found,
                   const RowProgress& progress)
        : table_(table), out_(out), known_(known), found_(found), progress_(progress) {
        const std::size_t dataRows = table.Rows() - 1;
        perSheet_ = kXlsRowsPerSheet - 1;
        sheets_ = std::max<std::size_t>(1, (dataRows + perSheet_ - 1) / perSheet_);
        sizeColumn_.resize(table.Columns());
        for (std::size_t c = 0; c < table.Columns(); ++c) sizeColumn_[c] = table.Cell(c, 0) == kSizeHeader;
    }

    std::string Write() {
        if (table_.Columns() > kMaxColumns) {
            return "the table has " + std::to_string(table_.Columns()) +
                   " columns; an Excel 97-2003 sheet holds at most 256";
        }
        std::string err = Globals();
        if (!err.empty()) return err;
        for (std::size_t s = 0; s < sheets_; ++s) Sheet(s);
        return {};
    }

private:
    // Table rows of sheet s: the header, then its share of the data rows.
    std::size_t FirstDataRow(std::size_t s) const { return 1 + s * perSheet_; }
    std::size_t EndDataRow(std::size_t s) const {
        return std::min(table_.Rows(), FirstDataRow(s) + perSheet_);
    }
    template <typename Fn>
    void ForEachSheetRow(std::size_t s, Fn&& fn) const {
        fn(0);
        for (std::size_t r = FirstDataRow(s); r < EndDataRow(s); ++r) fn(r);
    }

    // A number cell's value, and whether it is a Size cell shown in KB.
    std::optional<double> NumberOf(std::size_t c, std::size_t r, bool* kilobytes) const {
        const std::string_view text = table_.Cell(c, r);
        *kilobytes = false;
        if (r > 0 && sizeColumn_[c]) {
            if (const auto kb = KilobyteCell(text)) {
                *kilobytes = true;
                return kb;
            }
        }
        return GeneralNumber(text);
    }

    std::string Globals() {
        Bytes b;
        out_.Record(kBof, b.U16(0x0600).U16(0x0005).U16(0x0DBB).U16(0x07CC).U32(0).U32(0x06));
        out_.Record(kCodePage, Bytes().U16(1200));
        out_.Record(kWindow1, Bytes()
                                  .U16(0x0168)
                                  .U16(0x001E)
                                  .U16(0x3A98)
                                  .U16(0x2328)
                                  .U16(0x0038)
                                  .U16(0)
                                  .U16(0)
                                  .U16(1)
                                  .U16(0x0258));
        out_.Record(kDateMode, Bytes().U16(0));
        // Four fonts: readers skip font index 4, so 0-3 must exist.
        for (int i = 0; i < 4; ++i) {
            out_.Record(kFont, Bytes()
                                   .U16(200)      // 10 pt
                                   .U16(0)        // no attributes
                                   .U16(0x7FFF)   // automatic colour
                                   .U16(400)      // normal weight
                                   .U16(0)        // no super/subscript
                                   .U8(0)         // no underline
                                   .U8(0)         // family
                                   .U8(0)         // character set
                                   .U8(0)         // reserved
                                   .U8(5)         // name length
                                   .U8(0)         // 8-bit name
                                   .Ascii("Arial"));
        }
        {
            const std::string_view code = kKilobyteFormat;
            Bytes f;
            f.U16(kKilobyteFormatIndex).U16(static_cast<unsigned>(code.size())).U8(0);
            for (const char ch : code) f.U8(static_cast<unsigned char>(ch));
            out_.Record(kFormat, f);
        }
        // The 15 style XFs readers expect, then the cell XF every cell uses
        // and the one of the Size cells, which differs in its format.
        for (int i = 0; i < 17; ++i) {
            const bool style = i < 15;
            const bool kilobytes = i == kKilobyteXf;
            Bytes x;
            x.U16(0).U16(kilobytes ? kKilobyteFormatIndex : 0);  // font 0, format General or KB
            x.U16(style ? 0xFFF5 : 0x0001);        // style XF / cell XF with parent 0, locked
            x.U8(0x20);                            // bottom aligned
            x.U8(0).U8(0);                         // rotation, indent
            // Attributes that differ from the parent: for the KB cells, the format.
            x.U8(style && i > 0 ? 0xF4 : kilobytes ? 0x04 : 0x00);
            x.U32(0).U32(0).U16(0x20C0);           // no borders, automatic pattern colours
            out_.Record(kXf, x);
        }
        out_.Record(kStyle, Bytes().U16(0x8000).U8(0).U8(0xFF));  // built-in "Normal" on XF 0

        for (std::size_t s = 0; s < sheets_; ++s) {
            const std::string name = "Sheet" + std::to_string(s + 1);
            const std::uint64_t pos = s < known_.sheetPos.size() ? known_.sheetPos[s] : 0;
            Bytes bs;
            bs.U32(static_cast<std::uint32_t>(pos)).U8(0).U8(0).U8(static_cast<unsigned>(name.size())).U8(0);
            bs.Ascii(name.c_str());
            out_.Record(kBoundSheet, bs);
        }
        std::string err = SharedStrings();
        if (!err.empty()) return err;
        out_.Record(kEof, Bytes());
        return {};
    }

    std::string SharedStrings() {
        // The layout pass learns the string count as it goes; the writing
        // pass knows it from the layout pass.
        const bool counting = known_.sheetPos.empty();
        const std::uint64_t total = known_.strings;
        if (total > 0xFFFFFFFFu) return "the table holds more text cells than a workbook can index";
        struct Bucket {
            std::uint64_t pos;
            std::size_t offset;
        };
        std::vector<Bucket> buckets;
        const std::size_t perBucket = StringsPerBucket(total);

        ContinuedRecord sst(out_, kSst);
        Bytes head;
        head.U32(static_cast<std::uint32_t>(total)).U32(static_cast<std::uint32_t>(total));
        sst.Put(head.data, head.size);

        std::uint64_t index = 0;
        std::string err;
        for (std::size_t s = 0; s < sheets_ && err.empty(); ++s) {
            ForEachSheetRow(s, [&](std::size_t r) {
                for (std::size_t c = 0; c < table_.Columns() && err.empty(); ++c) {
                    const std::string_view text = table_.Cell(c, r);
                    bool kilobytes = false;
                    if (text.empty() || NumberOf(c, r, &kilobytes)) continue;
                    const StringShape shape = ShapeOf(text);
                    if (shape.units > kMaxCellChars) {
                        err = "the cell in row " + std::to_string(r + 1) + ", column " + std::to_string(c + 1) +
                              " holds more than 32,767 characters, the most a workbook cell can hold";
                        return;
                    }
                    const std::size_t unit = shape.wide ? 2 : 1;
                    if (sst.Room() < 3 + unit) sst.Flush();  // never split a string's header
                    if (!counting && index % perBucket == 0 && buckets.size() < kMaxBuckets) {
                        buckets.push_back({sst.StreamPos(), sst.RecordOffset()});
                    }
                    ++index;
                    Bytes sh;
                    sh.U16(static_cast<unsigned>(shape.units)).U8(shape.wide ? 1 : 0);
                    sst.Put(sh.data, sh.size);
                    PutChars(sst, text, shape.wide);
                }
            });
        }
        if (!err.empty()) return err;
        sst.Flush();
        found_.strings = index;

        std::vector<std::uint8_t> ext;
        ext.reserve(2 + 8 * buckets.size());
        auto put16 = [&](unsigned v) {
            ext.push_back(v & 0xFF);
            ext.push_back((v >> 8) & 0xFF);
        };
        if (counting) buckets.resize(BucketCount(index));  // same size as the real record
        put16(static_cast<unsigned>(counting ? StringsPerBucket(index) : perBucket));
        for (const Bucket& b : buckets) {
            put16(b.pos & 0xFFFF);
            put16((b.pos >> 16) & 0xFFFF);
            put16(static_cast<unsigned>(b.offset));
            put16(0);
        }
        out_.Record(kExtSst, ext.data(), ext.size());
        return {};
    }

    // EXTSST index: one bucket per this many strings, at most kMaxBuckets
    // buckets so the record fits without a CONTINUE.
    static constexpr std::size_t kMaxBuckets = 1027;
    static std::size_t StringsPerBucket(std::uint64_t strings) {
        const std::uint64_t n = std::max<std::uint64_t>(8, strings / 128 + 1);
        return static_cast<std::size_t>(std::min<std::uint64_t>(n, 0xFFFF));
    }
    static std::size_t BucketCount(std::uint64_t strings) {
        const std::size_t per = StringsPerBucket(strings);
        return static_cast<std::size_t>(std::min<std::uint64_t>((strings + per - 1) / per, kMaxBuckets));
    }

    // Characters of a shared string; when the record fills up, the rest goes
    // on in a CONTINUE record that starts again with the 8-bit/16-bit flag.
    // 16-bit characters are never split across records.
    static void PutChars(ContinuedRecord& sst, std::string_view text, bool wide) {
        const std::size_t unit = wide ? 2 : 1;
        auto putUnit = [&](unsigned u) {
            if (sst.Room() < unit) {
                sst.Flush();
                sst.Put8(wide ? 1 : 0);
            }
            sst.Put8(u & 0xFF);
            if (wide) sst.Put8(u >> 8);
        };
        ForEachCodePoint(text, [&](char32_t cp) {
            if (cp >= 0x10000) {
                const char32_t v = cp - 0x10000;
                putUnit(0xD800 + (v >> 10));
                putUnit(0xDC00 + (v & 0x3FF));
            } else {
                putUnit(static_cast<unsigned>(cp));
            }
        });
    }

    void Sheet(std::size_t s) {
        found_.sheetPos.push_back(out_.Pos());
        const std::size_t rows = 1 + (EndDataRow(s) - FirstDataRow(s));
        out_.Record(kBof, Bytes().U16(0x0600).U16(0x0010).U16(0x0DBB).U16(0x07CC).U32(0).U32(0x06));
        out_.Record(kDimensions, Bytes()
                                     .U32(0)
                                     .U32(static_cast<std::uint32_t>(rows))
                                     .U16(0)
                                     .U16(static_cast<unsigned>(table_.Columns()))
                                     .U16(0));
        out_.Record(kWindow2, Bytes()
                                  .U16(s == 0 ? 0x06B6 : 0x00B6)  // the first sheet is the selected one
                                  .U16(0)
                                  .U16(0)
                                  .U32(64)
                                  .U16(0)
                                  .U16(0)
                                  .U32(0));
        std::size_t sheetRow = 0;
        ForEachSheetRow(s, [&](std::size_t r) {
            for (std::size_t c = 0; c < table_.Columns(); ++c) {
                const std::string_view text = table_.Cell(c, r);
                if (text.empty()) continue;  // an empty cell is a blank cell: no record
                Bytes cell;
                bool kilobytes = false;
                const auto number = NumberOf(c, r, &kilobytes);
                cell.U16(static_cast<unsigned>(sheetRow)).U16(static_cast<unsigned>(c));
                cell.U16(kilobytes ? kKilobyteXf : kCellXf);
                if (number) {
                    out_.Record(kNumber, cell.F64(*number));
                } else {
                    out_.Record(kLabelSst, cell.U32(static_cast<std::uint32_t>(stringIndex_++)));
                }
            }
            ++sheetRow;
            // The header counts once, on the first sheet.
            if (progress_ && (r > 0 || s == 0)) progress_(r + 1);
        });
        out_.Record(kEof, Bytes());
    }

    const ExportTable& table_;
    StreamOut& out_;
    const Layout& known_;
    Layout& found_;
    const RowProgress& progress_;
    std::size_t perSheet_ = 0;
    std::size_t sheets_ = 1;
    std::vector<bool> sizeColumn_;  // columns headed "Size"
    std::uint64_t stringIndex_ = 0;
};

std::string GsfReason(GsfOutput* out, const char* fallback) {
    const GError* e = out ? gsf_output_error(out) : nullptr;
    return e && e->message ? e->message : fallback;
}

}  // namespace

std::string WriteXls(const ExportTable& table, std::FILE* file, const RowProgress& progress) {
    static std::once_flag gsfReady;
    std::call_once(gsfReady, [] { gsf_init(); });

    // Layout pass: sizes only, nothing written.
    Layout layout;
    {
        StreamOut counter(nullptr);
        Layout none;
        const RowProgress silent;
        WorkbookStream pass(table, counter, none, layout, silent);
        std::string err = pass.Write();
        if (!err.empty()) return err;
    }
    if (layout.sheetPos.empty() || layout.sheetPos.back() > 0xFFFFFFFFu) {
        return "the workbook would exceed the 4 GB an Excel 97-2003 file can address";
    }

    GsfOutput* sink = gsf_output_stdio_new_FILE("workbook", file, TRUE);
    if (!sink) return "the workbook container could not be created";
    GsfOutfile* ole = gsf_outfile_msole_new(sink);
    if (!ole) {
        g_object_unref(sink);
        return "the workbook container could not be created";
    }
    GsfOutput* stream = gsf_outfile_new_child(ole, "Workbook", FALSE);
    std::string err;
    if (!stream) {
        err = "the workbook stream could not be created";
    } else {
        StreamOut out(stream);
        Layout written;
        WorkbookStream pass(table, out, layout, written, progress);
        err = pass.Write();
        // Excel writes a Workbook stream of at least 4096 bytes, so that it
        // never lives in the container's small-block area; small workbooks
        // are padded the same way (readers stop at the last EOF record).
        static const std::uint8_t zeros[512] = {};
        while (err.empty() && out.Pos() < 4096) out.Put(zeros, std::min<std::uint64_t>(sizeof zeros, 4096 - out.Pos()));
        if (err.empty() && !out.Flush()) err = GsfReason(stream, "the workbook could not be written");
        if (err.empty() && written.sheetPos != layout.sheetPos) {
            err = "internal error: the workbook layout changed between passes";
        }
        if (!gsf_output_close(stream) && err.empty()) err = GsfReason(stream, "the workbook could not be written");
        g_object_unref(stream);
    }
    if (!gsf_output_close(GSF_OUTPUT(ole)) && err.empty()) {
        err = GsfReason(GSF_OUTPUT(ole), "the workbook could not be written");
    }
    g_object_unref(ole);
    if (!gsf_output_is_closed(sink) && !gsf_output_close(sink) && err.empty()) {
        err = GsfReason(sink, "the workbook could not be written");
    }
    g_object_unref(sink);
    return err;
}

}  // namespace exporting
