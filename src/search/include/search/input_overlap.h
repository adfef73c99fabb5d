// Which files a run reaches twice, decided from its inputs rather than by
// remembering every file walked: only overlapping inputs reach a file again
// (a folder given inside another, a file given inside a folder given, a path
// given twice, links given that lead to the same folder).  Memory grows with
// the inputs, never with the files found.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

namespace search {

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
    // The root as the walk writes it and its real path, both ending in '/'.
    const std::string& Root() const { return root_; }
    const std::string& Resolved() const { return resolved_; }

private:
    std::string root_;
    std::string resolved_;
};

class InputOverlap {
public:
    // `inputs` in the order given; only a run of several can overlap.
    // `isFile[i]`: input i is a file to count by name (not a folder).
    InputOverlap(const std::vector<std::string>& inputs, const std::vector<bool>& isFile, bool subfolders);

    bool Active() const { return active_; }

    // A file given by name: the path it was first reached as, or nothing
    // when this is the first time (it is then counted).
    std::optional<std::string> FileGiven(const std::string& path);

    // A folder's walk begins, then reports what it could not list and the
    // files it finds; each found file gets the path it was first reached as,
    // or nothing when it is new.
    void BeginFolder(const std::string& root);
    void FolderUnsearched(const std::string& path);
    std::optional<std::string> FileFound(const std::string& path);
    // The walk ended; `complete` when it was neither stopped nor failed, so
    // that what lies below the folder was all reached.
    void EndFolder(bool complete);

private:
    struct Walked {
        std::string root;      // as the walk wrote it, with '/'
        std::string resolved;  // its real path, with '/'
        std::vector<std::string> unlisted;  // real paths of folders it could not list, with '/'
    };
    // The earlier walk that reached a folder (real path with '/'): its index, or -1.
    int WalkedBefore(const std::string& folderKey) const;

    bool active_ = false;
    bool subfolders_ = true;
    // Files given by name, by key: the path each was first reached as ("" while not yet).
    std::unordered_map<std::string, std::string> given_;
    // Real folders (with '/') that hold a file given by name.
    std::unordered_map<std::string, int> givenFolders_;
    std::vector<Walked> walked_;
    Walked current_;
    FileIdentity identity_;
    // The folder of the last file found (as written) and what holds for it.
    std::string lastFolder_;
    std::string lastFolderKey_;
    bool lastValid_ = false;
    int lastCover_ = -1;
    bool lastHasGiven_ = false;
};

}  // namespace search
