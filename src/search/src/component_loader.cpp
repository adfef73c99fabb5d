#include <search/component_loader.h>

#include <component/library_folders.h>

#include <dlfcn.h>

#include <vector>

namespace search {

using component::HResult;

struct ComponentLoader::Library {
    void* handle = nullptr;
    component::IClassFactory* factory = nullptr;
    HResult status = component::E_FAIL;
    std::string error;  // why it could not be loaded
};

ComponentLoader::ComponentLoader(std::string dir) : dir_(std::move(dir)) {}

ComponentLoader::~ComponentLoader() {
    // Factories are released; the libraries stay mapped, since counters made
    // elsewhere in the process may still run their code.
    for (auto& entry : libraries_)
        if (entry.library->factory) entry.library->factory->Release();
}

ComponentLoader::Library& ComponentLoader::Load(const std::string& libraryName, const component::Guid& clsid) {
    // Asked once a file: a plain scan of the few classes ever loaded, with
    // nothing formatted or allocated on the way.
    for (auto& entry : libraries_)
        if (entry.clsid == clsid && entry.name == libraryName) return *entry.library;
    libraries_.push_back({libraryName, clsid, nullptr});
    auto& slot = libraries_.back().library;
    slot = std::make_unique<Library>();
    Library& lib = *slot;

    const std::string file = "lib" + libraryName + ".so";
    const std::vector<std::string> candidates =
        dir_.empty() ? component::LibraryCandidates(file) : std::vector<std::string>{dir_ + "/" + file};
    std::string reasons;
    for (const auto& path : candidates)
        if ((lib.handle = component::OpenLibrary(path, reasons))) break;
    if (!lib.handle) {
        lib.error = "Cannot create the page counter " + libraryName + ": " + reasons;
        return lib;
    }
    auto get = reinterpret_cast<component::DllGetClassObjectFn>(dlsym(lib.handle, component::kGetClassObjectSymbol));
    if (!get) {
        lib.error = "Cannot create the page counter " + libraryName + ": " + file + " has no " +
                    component::kGetClassObjectSymbol;
        return lib;
    }
    void* factory = nullptr;
    const HResult hr = get(&clsid, &component::IID_IClassFactory, &factory);
    if (component::Failed(hr) || !factory) {
        lib.status = component::Failed(hr) ? hr : component::E_FAIL;
        lib.error = "Cannot create the page counter " + libraryName + ": class not available";
        return lib;
    }
    lib.factory = static_cast<component::IClassFactory*>(factory);
    lib.status = component::S_OK;
    return lib;
}

HResult ComponentLoader::Create(const std::string& libraryName, const component::Guid& clsid,
                                const component::Guid& iid, void** out, std::string& error) {
    *out = nullptr;
    component::IClassFactory* factory = nullptr;
    {
        std::lock_guard lock(mutex_);
        Library& lib = Load(libraryName, clsid);
        if (!lib.factory) {
            error = lib.error;
            return lib.status;
        }
        factory = lib.factory;
        factory->AddRef();
    }
    const HResult hr = factory->CreateInstance(nullptr, iid, out);
    factory->Release();
    if (component::Failed(hr) || !*out) {
        *out = nullptr;
        error = "Cannot create the page counter " + libraryName + ": the class factory refused";
        return component::Failed(hr) ? hr : component::E_FAIL;
    }
    return hr;
}

}  // namespace search
