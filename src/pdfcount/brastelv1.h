// Brastelv1: the PDF page counter behind the _Brastelv1 interface.
//
// PDF_PageCount first tries the plain-text route (tail, cross-reference
// arithmetic, catalog or linearization dictionary) because it touches only a
// few KB of a typical file.  Its answer counts only when every object it
// located really starts at the offset found and the count was read inside
// that object; otherwise the structural reader (libqpdf) decides.
#pragma once

#include <brastel/brastel.h>

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brastel {

// Which reader decided the last count (for tests and the benchmark).
enum class Route { None, Text, Table, Structural, ObjectScan };

class Brastelv1 final : public _Brastelv1 {
public:
    Brastelv1();
    Brastelv1(const Brastelv1&) = delete;
    Brastelv1& operator=(const Brastelv1&) = delete;

    component::HResult QueryInterface(const component::Guid& iid, void** out) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;

    component::HResult PDF_PageCount(component::Text& filenamess, std::int32_t& result) override;
    component::HResult FindCase(component::Text& SearchString, std::int32_t& StartPosition,
                                std::int32_t& SuggestedLength, component::Text& AlternateSearch,
                                component::Text& result) override;
    component::HResult GetCrossRef(std::int32_t& FindObject, std::int32_t& startxref,
                                   std::int32_t& result) override;

private:
    ~Brastelv1();

    component::HResult ExtractNumber(component::Text& Text, component::Text& StartMark,
                                     component::Text& EndMark, std::int16_t& LineEndMode,
                                     std::int32_t& Window, std::int32_t& result);
    // Reads buffer.size() bytes at the 1-based position; characters whose
    // positions lie past the end of the file keep their previous content.
    component::HResult ReadAt(std::int32_t position, component::Text& buffer);

    // The routes of a count.  Each returns true with a count it could
    // confirm, false when the structural reader must decide.
    bool TextRoute(std::int32_t& count);
    bool CatalogRoute(const std::string& root, std::int32_t XrefStart, bool cutAtEndobj,
                      std::int32_t& count);
    bool LinearizedRoute(const std::string& trailerText, std::int32_t XrefStart, std::int32_t& count);
    bool ClimbPageTree(std::int32_t Lval, std::int32_t XrefStart, std::int32_t& count);
    // Offset of object obj through the cross-reference walk, checked to be
    // where that object begins.
    bool LocateObject(std::int32_t obj, std::int32_t XrefStart, std::int32_t bufferLength,
                      std::int32_t& offset);
    bool ObjectStartsAt(std::int32_t obj, std::int32_t offset);

    // The classic table read by its tokens (any line ends); false when it
    // cannot confirm a count either.
    bool TableRoute(std::int32_t& count);
    // Up to n bytes at a 0-based offset, fewer at the end of the file.
    bool ReadBytes(std::int64_t offset, std::size_t n, component::Text& out);
    // The object's text from its confirmed header up to its "endobj".
    bool ReadObjectText(std::int32_t obj, std::int64_t offset, component::Text& text);

    // The last resort once libqpdf gave up: objects found by their headers.
    std::optional<std::int32_t> ObjectScan();

    bool Open(const std::string& path);
    void Close();

    component::Text LineEnd;
    std::int32_t FirstObject = 0;
    std::int32_t LinearPos = 0;

    // Small read cache: the text route reads many short windows close to
    // each other (tail, table, objects); serving them from 1 KB blocks keeps
    // it to a few system calls per file.
    struct Block {
        std::int64_t index;
        std::string bytes;  // shorter than kBlockSize only at the end of the file
    };
    static constexpr std::int64_t kBlockSize = 1024;
    const Block* FetchBlocks(std::int64_t first, std::int64_t last);
    std::vector<Block> blocks_;

    int file_ = -1;               // the one file slot; -1 when no count runs
    std::int64_t fileLength_ = 0;
    std::int64_t bytesRead_ = 0;  // bytes the text route read in the last count
    Route route_ = Route::None;
    std::atomic<std::uint32_t> refs_{1};

    friend struct BrastelPeer;
};

// Live objects of the library (instances and class factories) and server
// locks; DllCanUnloadNow reports whether both are zero.
void ObjectCreated();
void ObjectDestroyed();

// A count no larger than the file could hold (at least 16 bytes a page).
bool Plausible(std::int32_t count, std::int64_t fileLength);

}  // namespace brastel
