// The paths quillon-count is given: lists read from files or standard
// input, and the identity that makes a file reached twice count once.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <unordered_map>
#include <vector>

namespace cli {

// Splits a list into paths: one a line (LF or CR LF) or, with nul, each
// ended by NUL (a last one without it is taken too).  Empty entries are
// skipped.  A NUL byte in a line list is refused (false, error set): such a
// list comes from find -print0 and needs --null.
bool SplitPathList(const std::string& bytes, bool nul, std::vector<std::string>& out, std::string& error);

// Reads the list named `name` ("-": standard input) and splits it.  A folder,
// an unreadable file or a NUL byte in a line list gives false with error.
bool ReadPathList(const std::string& name, bool nul, std::vector<std::string>& out, std::string& error);

// The key under which a file counts once: the real path of its folder
// (links, ".", ".." and relative names resolved) and its own name.  A link to
// a file keeps its own name, as the search lists it apart from its target.
class FileIdentity {
public:
    // For the files a walk of `root` finds: resolves the root once.
    void SetRoot(const std::string& root);
    // The key of a path the walk of the current root found.
    std::string KeyOfFound(const std::string& path) const;
    // The key of a file given by name.
    static std::string KeyOfFile(const std::string& path);

private:
    std::string root_;      // the root as the walk writes it, separator added
    std::string resolved_;  // its real path, separator added
};

// Remembers files by key, each with the index of its first path.
class SeenFiles {
public:
    // Only runs over several inputs can reach a file twice; a single folder
    // walk lists every file once, so it keeps nothing.
    explicit SeenFiles(bool keep) : keep_(keep) {}
    // Remembers a new key with `index` and returns true; for a key already
    // seen returns false and sets `first` to the index it came with.
    bool Add(std::string key, std::size_t index, std::size_t& first);

private:
    bool keep_;
    std::unordered_map<std::string, std::size_t> first_;
};

}  // namespace cli
