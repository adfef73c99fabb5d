#include "workbook_module.h"

#include <component/library_folders.h>

#include <dlfcn.h>

namespace exporting {
namespace {

struct Loaded {
    const WorkbookWriters* writers = nullptr;
    std::string why;
};

Loaded Load() {
    Loaded out;
    std::string reasons;
    for (const auto& path : component::LibraryCandidates(kWorkbookLibrary)) {
        void* handle = component::OpenLibrary(path, reasons);
        if (!handle) continue;
        const auto entry = reinterpret_cast<WorkbookEntryFn>(dlsym(handle, kWorkbookEntry));
        const WorkbookWriters* writers = entry ? entry(kWorkbookWritersVersion) : nullptr;
        if (writers && writers->writeXls && writers->writeXlsx) {
            out.writers = writers;
            return out;
        }
        reasons += (reasons.empty() ? "" : "; ") + path + " is of another version";
        dlclose(handle);
    }
    out.why = "the workbook writers cannot be loaded: " + (reasons.empty() ? std::string("no library folder") : reasons);
    return out;
}

}  // namespace

const WorkbookWriters* LoadWorkbookWriters(std::string& why) {
    static const Loaded loaded = Load();
    why = loaded.why;
    return loaded.writers;
}

}  // namespace exporting
