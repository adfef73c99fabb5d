// Reach into Brastelv1 for the tests and the benchmark: the private
// primitives, the members, and the text route alone.
#pragma once

#include "brastelv1.h"

namespace brastel {

struct BrastelPeer {
    static Route LastRoute(const Brastelv1& b) { return b.state_.route; }
    // Bytes the last count read: through the text route's blocks and
    // through the cross-reference reader the other native routes share.
    static std::int64_t BytesRead(const Brastelv1& b) {
        return b.state_.bytesRead + (b.state_.xref ? b.state_.xref->file.bytesRead() : 0);
    }
    // The last count found a section libqpdf reads without reconstruction
    // (else the chain does not ask libqpdf to try).
    static bool XrefFound(const Brastelv1& b) { return b.state_.xrefFound; }
    // The count holds its cross-reference reader (and the entries it read).
    static bool HoldsXref(const Brastelv1& b) { return b.state_.xref != nullptr; }
    // Cross-reference sections the last count parsed (each once, unless a
    // route opened the chain at another offset).
    static std::size_t SectionsParsed(const Brastelv1& b) {
        return b.state_.sectionsParsed + (b.state_.xref ? b.state_.xref->xref.sectionsParsed() : 0);
    }
    static const component::Text& LineEnd(const Brastelv1& b) { return b.LineEnd; }
    static void SetLineEnd(Brastelv1& b, const component::Text& le) { b.LineEnd = le; }
    static std::int32_t FirstObject(const Brastelv1& b) { return b.FirstObject; }
    static std::int32_t LinearPos(const Brastelv1& b) { return b.state_.linearPos; }

    // Runs f before each reader of the chain (e.g. to truncate the file).
    static void SetBeforeRoute(Brastelv1& b, std::function<void(Route)> f) { b.beforeRoute_ = std::move(f); }

    // Runs only the given reader of the chain (none: all of them).
    static void SetOnlyRoute(Brastelv1& b, std::optional<Route> route) { b.onlyRoute_ = route; }

    // Holds the file open as a running count would, for direct calls of
    // the primitives.
    static bool Open(Brastelv1& b, const std::string& path) { return b.Open(path); }
    static void Close(Brastelv1& b) { b.Close(); }

    static component::HResult ReadAt(Brastelv1& b, std::int32_t position, component::Text& buffer) {
        return b.ReadAt(position, buffer);
    }
    static component::HResult ExtractNumber(Brastelv1& b, component::Text& text, component::Text& startMark,
                                            component::Text& endMark, std::int16_t& mode, std::int32_t& window,
                                            std::int32_t& result) {
        return b.ExtractNumber(text, startMark, endMark, mode, window, result);
    }

    // The text route alone, with its confirmation: a count it could
    // confirm, or -1.
    static std::int32_t CountTextOnly(Brastelv1& b, const std::string& path) {
        b.state_ = {};
        if (!b.Open(path)) return -1;
        std::int32_t count = -1;
        const bool confirmed = b.fileLength_ > 0 && b.TextStep(count).verdict == Brastelv1::Outcome::Counted;
        b.Close();
        return confirmed ? count : -1;
    }
};

// Creates an instance the way the class factory does (one reference).
inline Brastelv1* NewBrastelv1() { return new Brastelv1(); }

}  // namespace brastel
