// The one scratch folder of every test suite: a fresh folder below the
// system's temporary folder, removed with everything in it afterwards.
#pragma once

#include <string>
#include <vector>

namespace fixtures {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }
    std::string operator/(const std::string& rel) const { return path_ + "/" + rel; }
    // Writes `bytes` to the file `name` in the folder and returns its path.
    std::string Write(const std::string& name, const std::string& bytes) const;
    // Names in the folder (to spot stray temporary files).
    std::vector<std::string> Names() const;

private:
    std::string path_;
};

}  // namespace fixtures
