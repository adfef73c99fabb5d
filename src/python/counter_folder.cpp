#include "counter_folder.h"

#include <brastel/brastel.h>

#include <dlfcn.h>
#include <unistd.h>

namespace pyquillon {

namespace {
// An address inside this module, for dladdr.
void Anchor() {}
}  // namespace

std::string CounterFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&Anchor), &info) == 0 || !info.dli_fname) return {};
    std::string self = info.dli_fname;
    const auto slash = self.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string(".") : self.substr(0, slash);
    // As the programs do: the install's layout first, then the build tree's.
    const std::string lib = std::string("/lib") + brastel::kLibraryName + ".so";
    for (const char* rel : {QUILLON_COUNTERS_FROM_MODULE, QUILLON_COUNTERS_FROM_BUILD_MODULE}) {
        const std::string candidate = dir + "/" + rel;
        if (access((candidate + lib).c_str(), F_OK) == 0) return candidate;
    }
    // Neither holds them: the loader names the install's place in its error.
    return dir + "/" QUILLON_COUNTERS_FROM_MODULE;
}

}  // namespace pyquillon
