#include <search/input_overlap.h>

#include <climits>
#include <cstdlib>
#include <string_view>

namespace search {

namespace {

std::string WithSeparator(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

// The real path of a folder, or the name as given when it cannot be resolved.
std::string RealFolder(const std::string& folder) {
    char* real = ::realpath(folder.c_str(), nullptr);
    if (!real) return folder;
    std::string out(real);
    std::free(real);
    return out;
}

std::string FolderOfKey(const std::string& key) { return key.substr(0, key.rfind('/') + 1); }

// The walker does not enter folders whose name holds this.
bool SkippedByWalk(std::string_view relative) {
    return relative.find("RECYCLE") != std::string_view::npos;
}

}  // namespace

void FileIdentity::SetRoot(const std::string& root) {
    root_ = WithSeparator(root);
    resolved_ = WithSeparator(RealFolder(root));
}

std::string FileIdentity::KeyOfFound(const std::string& path) const {
    if (path.compare(0, root_.size(), root_) != 0) return path;
    return resolved_ + path.substr(root_.size());
}

std::string FileIdentity::KeyOfFile(const std::string& path) {
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    return WithSeparator(RealFolder(folder)) + path.substr(slash == std::string::npos ? 0 : slash + 1);
}

InputOverlap::InputOverlap(const std::vector<std::string>& inputs, const std::vector<bool>& isFile, bool subfolders)
    : active_(inputs.size() > 1), subfolders_(subfolders) {
    if (!active_) return;
    for (std::size_t i = 0; i < inputs.size() && i < isFile.size(); ++i) {
        if (!isFile[i]) continue;
        const std::string key = FileIdentity::KeyOfFile(inputs[i]);
        if (given_.try_emplace(key).second) ++givenFolders_[FolderOfKey(key)];
    }
}

std::optional<std::string> InputOverlap::FileGiven(const std::string& path) {
    if (!active_) return std::nullopt;
    std::string& first = given_[FileIdentity::KeyOfFile(path)];
    if (!first.empty()) return first;
    first = path;
    return std::nullopt;
}

void InputOverlap::BeginFolder(const std::string& root) {
    lastValid_ = false;
    if (!active_) return;
    identity_.SetRoot(root);
    current_ = Walked{identity_.Root(), identity_.Resolved(), {}};
}

void InputOverlap::FolderUnsearched(const std::string& path) {
    if (active_) current_.unlisted.push_back(WithSeparator(identity_.KeyOfFound(path)));
}

void InputOverlap::EndFolder(bool complete) {
    lastValid_ = false;
    if (active_ && complete) walked_.push_back(std::move(current_));
    current_ = {};
}

int InputOverlap::WalkedBefore(const std::string& folderKey) const {
    for (std::size_t i = 0; i < walked_.size(); ++i) {
        const Walked& w = walked_[i];
        if (subfolders_) {
            if (folderKey.compare(0, w.resolved.size(), w.resolved) != 0) continue;
            if (SkippedByWalk(std::string_view(folderKey).substr(w.resolved.size()))) continue;
        } else if (folderKey != w.resolved) {
            continue;
        }
        // A folder the earlier walk could not list hid what lies below it.
        bool hidden = false;
        for (const auto& u : w.unlisted)
            if (folderKey.compare(0, u.size(), u) == 0) hidden = true;
        if (!hidden) return static_cast<int>(i);
    }
    return -1;
}

std::optional<std::string> InputOverlap::FileFound(const std::string& path) {
    if (!active_) return std::nullopt;
    const std::size_t cut = path.rfind('/') + 1;
    const std::string_view folder(path.data(), cut);
    // A walk gives a folder's files one after another: the folder's answers
    // are worked out once.
    if (!lastValid_ || folder != lastFolder_) {
        lastFolder_.assign(folder);
        lastFolderKey_ = identity_.KeyOfFound(lastFolder_);
        lastCover_ = WalkedBefore(lastFolderKey_);
        lastHasGiven_ = givenFolders_.count(lastFolderKey_) != 0;
        lastValid_ = true;
    }
    const std::string_view name = std::string_view(path).substr(cut);
    if (lastHasGiven_) {
        const auto it = given_.find(lastFolderKey_ + std::string(name));
        if (it != given_.end()) {
            if (!it->second.empty()) return it->second;
            it->second = path;
            return std::nullopt;
        }
    }
    if (lastCover_ < 0) return std::nullopt;
    const Walked& w = walked_[static_cast<std::size_t>(lastCover_)];
    return w.root + lastFolderKey_.substr(w.resolved.size()) + std::string(name);
}

}  // namespace search
