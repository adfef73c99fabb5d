// Creates page counters by class identifier from their library files.  Each
// library is loaded once and its class factory kept; every counter instance
// serves one file.
#pragma once

#include <component/component.h>

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace search {

class ComponentLoader {
public:
    // dir: folder of the library files; empty: beside the executable (the
    // build tree), then the program's library folder of an install, found
    // relative to the executable.
    explicit ComponentLoader(std::string dir = {});
    ~ComponentLoader();
    ComponentLoader(const ComponentLoader&) = delete;
    ComponentLoader& operator=(const ComponentLoader&) = delete;

    // A new instance of clsid from lib<libraryName>.so, asked for iid.  On
    // failure *out is null and error holds the reason.
    component::HResult Create(const std::string& libraryName, const component::Guid& clsid,
                              const component::Guid& iid, void** out, std::string& error);

private:
    struct Library;
    Library& Load(const std::string& libraryName, const component::Guid& clsid);

    std::string dir_;
    std::mutex mutex_;
    struct Loaded {
        std::string name;
        component::Guid clsid;
        std::unique_ptr<Library> library;
    };
    std::vector<Loaded> libraries_;
};

}  // namespace search
