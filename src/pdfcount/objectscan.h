// The object scan: for files whose cross-reference data leads nowhere.  One
// streaming pass over the file finds objects by their "N G obj" headers
// (skipping stream contents by a /Length that proves right), the trailers
// and cross-reference streams that name a catalog, and the object streams;
// then the page tree is walked from the catalog by reading the objects back
// at their offsets.  The answer counts only when the leaves of the tree
// agree with the root's /Count.
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

// Reads one object's body (from "N G obj" on) when the object is not found
// at a plain offset, e.g. inside an object stream; false when it cannot.
using CompressedObjectReader = std::function<bool(std::int64_t number, std::string& text)>;

// The page tree's root is no plain object, nor is the catalog that names
// it: in a file whose object streams no reader decodes, nobody reaches it.
bool TreeRootNotPlain(int fd, std::int64_t length, const ObjectIndex& index);

// Walks the page tree of an index; count holds the pages when Counted.
ScanVerdict CountFromIndex(int fd, std::int64_t length, const ObjectIndex& index, std::int32_t& count,
                           const CompressedObjectReader& compressed = {});

}  // namespace brastel
