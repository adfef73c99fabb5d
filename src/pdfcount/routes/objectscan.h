// The object scan: for files whose cross-reference data leads nowhere.  One
// streaming pass over the file finds objects by their "N G obj" headers
// (skipping stream contents by a /Length that proves right), the trailers
// and cross-reference streams that name a catalog, and the object streams;
// then the page tree is read from the catalog by reading the objects back
// at their offsets.
//
// The pass holds one read buffer and the index, never the file: files of any
// size are scanned in bounded memory, about one system call per megabyte.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace brastel {

struct ScannedObject {
    std::int64_t number = 0;
    std::int64_t offset = 0;  // of the "N G obj" header
};

struct ObjectIndex {
    // The newest definition of each object number (a later header replaces
    // an earlier one), sorted by number once the pass is done.
    std::vector<ScannedObject> objects;
    // Header offsets of the object streams (/Type /ObjStm), in file order:
    // objects they hold can be added by whoever decodes them.
    std::vector<std::int64_t> objectStreams;
    // /Root of the last trailer or cross-reference stream that names one.
    std::optional<std::int64_t> trailerRoot;
    // The catalog (/Type /Catalog) written last, for files with no trailer.
    std::optional<std::int64_t> lastCatalog;
    // A trailer or cross-reference stream names /Encrypt: object streams
    // cannot be read without the key.
    bool encrypted = false;

    const ScannedObject* Find(std::int64_t number) const;
};

enum class ScanStatus {
    Read,       // the whole file was read
    Changed,    // a read came back short: the file shrank while it was read
    TooLarge,   // more objects than the index may hold
};

// The streaming pass over the first length bytes of the file on fd.
ScanStatus ScanObjects(int fd, std::int64_t length, ObjectIndex& index);

enum class ScanVerdict {
    Counted,      // the leaves agree with the root's /Count
    NoTree,       // no catalog to start from: nothing a reader could count
    Unconfirmed,  // a tree, but no count it confirms
};

// Objects held in object streams, which the scan finds only as the streams
// that hold them.
struct CompressedObjects {
    // The text of object number's value, and the offset of the header of
    // the object stream that holds it; false when no stream holds it.
    std::function<bool(std::int64_t number, std::string& text, std::int64_t& streamAt)> read;
    // Visits every object number the streams hold.
    std::function<void(const std::function<void(std::int64_t)>&)> forEachNumber;
};

// The page tree's root is no plain object, nor is the catalog that names
// it: in a file whose object streams no reader decodes, nobody reaches it.
bool TreeRootNotPlain(int fd, std::int64_t length, const ObjectIndex& index);

// Reads the page tree of an index by the rule every route shares (an
// object's newest definition wins, one in an object stream counting as
// made where that stream stands); count holds the pages when Counted.  An
// empty tree is no answer here: in a damaged file it may be damage.
ScanVerdict CountFromIndex(int fd, std::int64_t length, const ObjectIndex& index, std::int32_t& count,
                           const CompressedObjects& compressed = {});

}  // namespace brastel
