// Every bound of the counter in one place (not "limits.h": this folder is
// on the include path and would hide the C library's).  Each loop that
// follows data from a file, and each buffer that grows with it, stops here:
// a crafted or damaged file then costs a known amount of time and memory,
// and the count goes to the next reader instead of running on.  Where two
// readers bound "the same" thing differently, both are named here so that
// the difference is seen.
#pragma once

#include <cstddef>
#include <cstdint>

namespace brastel::limits {

// --- Cross-reference tables and their /Prev chains -----------------------

// Sections of a /Prev chain any route follows: more are a loop or a crafted
// file (real files have a few dozen updates at most).  What the chain
// holds is bounded by kChainHeldBytes whatever the number of sections.
inline constexpr std::size_t kXrefSections = 1024;
// A small root /Count is confirmed by counting the tables' entries in use,
// newest first, until there are enough, each checked against the
// subsections read before it (a cost linear in their number): past this
// many subsections the chain is counted whole instead, by sorting.
inline constexpr std::size_t kTableRunsCounted = 256;
// Subsection headers read in one table, and the text route's steps over a
// whole chain: positions that never reach a matching subsection end here.
inline constexpr int kTableSubsections = 65536;
inline constexpr int kTableSteps = 65536;
// Section lookups of one count: a long chain of updates times a tree
// walked through all of them is bounded here.
inline constexpr std::size_t kChainProbes = std::size_t{32} << 20;
// Cross-reference data held for one count: decoded cross-reference streams
// (a table's entries stay in the file), and the entries sorted to count the
// objects in use of a chain with streams.  A file with more than two million
// objects there is left to the structural reader.
inline constexpr std::size_t kChainHeldBytes = std::size_t{40} << 20;
inline constexpr std::size_t kChainHeldEntries = std::size_t{1} << 21;
// A trailer dictionary larger than this is no trailer.
inline constexpr std::size_t kTrailerBytes = std::size_t{64} << 10;
// A cross-reference stream lists at most this many entries (sixteen
// million objects, far beyond any real file); each field fits 8 bytes.
inline constexpr std::size_t kXrefStreamEntries = std::size_t{1} << 24;
inline constexpr int kXrefStreamFieldWidth = 8;

// --- The file's tail ---------------------------------------------------

// How far back from the end the last "startxref" is looked for (another
// file's start or padding may follow it).
inline constexpr std::int64_t kStartxrefSearch = std::int64_t{1} << 20;
// The trailer dictionary sits right before "startxref"; a file whose tail
// shows no "trailer" within this much is not a classic-table file.
inline constexpr std::size_t kTailLimit = 16384;
// "%%EOF" has to show up within this much of the tail.
inline constexpr std::size_t kEofWindow = 800;
// Readers accept the "%PDF-" header anywhere in the first this many bytes.
inline constexpr std::size_t kHeaderWindow = 1024;

// --- Objects and page trees -------------------------------------------------

// Largest object value read from the file: a page-tree node with a very
// long /Kids array is the largest a count needs.
inline constexpr std::size_t kObjectBytes = std::size_t{4} << 20;
// A /Kids array longer than this is read from the file in pieces.
inline constexpr std::size_t kElidedArray = std::size_t{64} << 10;
// The table route's growing windows end here (a page-tree root with a very
// long /Kids array is the largest one read).
inline constexpr std::size_t kTableWindow = std::size_t{1} << 20;
// Nested arrays and dictionaries deeper than this are no page tree.
inline constexpr int kValueDepth = 64;
// /Parent links the text route climbs from a page to the root.
inline constexpr int kParentClimb = 64;
// /Parent links climbed for an inherited page attribute (a loop ends it).
inline constexpr int kInheritClimb = 256;
// Kids one walk of a page tree may visit never exceed this, whatever the
// objects in use (four per object below it).
inline constexpr std::size_t kLeafWalk = std::size_t{1} << 21;

// --- Streams -----------------------------------------------------------

// Bytes one count may inflate, all streams together (a restart from a
// stream's start costs again): far above what real files need.
inline constexpr std::uint64_t kInflatedPerCount = std::uint64_t{256} << 20;
// Decoded bytes of object streams one count holds whole at once.
inline constexpr std::size_t kHeldWholePerCount = std::size_t{16} << 20;
// An object stream that inflates past this is a bomb: no page tree needs
// it, and no reader should decode it (libqpdf would hold it whole).
inline constexpr std::size_t kObjectStreamBomb = std::size_t{64} << 20;
// Objects of one object stream, and the bytes of them a streamed one keeps.
inline constexpr std::size_t kObjectStreamObjects = std::size_t{1} << 20;
inline constexpr std::size_t kObjectStreamHeld = std::size_t{256} << 10;
// An object stream with a predictor is decoded whole up to this size (a
// larger one is left to libqpdf, unless it is a bomb).
inline constexpr std::size_t kWholeObjectStream = std::size_t{8} << 20;
// All the object streams one count of the stream route may decode whole,
// and those it keeps at once.
inline constexpr std::size_t kDecodedObjectStreams = std::size_t{64} << 20;
inline constexpr std::size_t kCachedObjectStreams = std::size_t{16} << 20;
// A stream read as a stream holds its inflater and buffers besides what it
// decoded (some 100 KB): a walk over every page of a file of many small
// object streams would hold them all.
inline constexpr std::size_t kHeldObjectStreams = 32;

// --- The object scan of damaged files -------------------------------------

// Objects the scan indexes (16 MB of index).
inline constexpr std::size_t kScanObjects = std::size_t{1} << 20;
// A dictionary is looked at through a window growing up to this.
inline constexpr std::size_t kScanDictWindow = std::size_t{64} << 10;
// Decoded bytes of object streams the scan may hold whole (those with a
// predictor; others are read as streams within the count's inflating work,
// kInflatedPerCount), and the largest one of them it decodes.
inline constexpr std::size_t kScanDecoded = std::size_t{32} << 20;
inline constexpr std::size_t kScanObjectStream = std::size_t{8} << 20;

// --- Reading the file --------------------------------------------------

// A forward search of the text route gathers at most this much text; past
// it the search fails and a later route, which reads large objects a window
// at a time, decides.  (A page-tree root whose /Count follows a /Kids of a
// million pages would otherwise gather 12 MB, and hold twice that growing.)
inline constexpr std::size_t kFindText = std::size_t{2} << 20;
// Blocks of 1 KB the text route keeps cached.
inline constexpr std::size_t kCachedBlocks = 64;

// --- libqpdf -------------------------------------------------------------

// libqpdf holds every object of a document it parses, several times the
// file's size: a file larger than this counts only when no other such file
// is with libqpdf (see QpdfBudget).
inline constexpr std::int64_t kQpdfFreeBytes = std::int64_t{4} << 20;

}  // namespace brastel::limits
