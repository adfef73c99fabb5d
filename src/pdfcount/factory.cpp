// The library's component surface: the class factory and the two entry
// points a host looks up by name.  Nothing else leaves the library.
#include "brastelv1.h"

#include <component/export.h>
#include <component/server.h>

namespace brastel {
namespace {
// Instances and class factories alive, and server locks.  Factories count
// too: unloading while a host holds one would leave it a dangling pointer.
component::ServerState g_server;
}  // namespace

component::ServerState& LibraryServer() { return g_server; }

}  // namespace brastel

COMPONENT_EXPORT component::HResult DllGetClassObject(const component::Guid* clsid, const component::Guid* iid,
                                                    void** out) {
    return component::GetClassObject<brastel::Brastelv1>(brastel::g_server, brastel::CLSID_Brastelv1, clsid, iid,
                                                         out);
}

COMPONENT_EXPORT component::HResult DllCanUnloadNow() { return brastel::g_server.CanUnloadNow(); }
