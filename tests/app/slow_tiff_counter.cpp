// A stand-in for the TIFF page counter whose counts take as long as a test
// asks: a ".tif" file holding the text "pages 3 delay 800" counts 3 pages
// after 800 ms.  Built as libTiffPageCounter.so in a folder of its own, so a
// search pointed at that folder meets a long count exactly where a test
// wants one.
#include <component/server.h>
#include <tifcount/tiffpagecounter.h>

#include <chrono>
#include <fstream>
#include <thread>

#define SLOW_EXPORT extern "C" __attribute__((visibility("default")))

namespace {

component::ServerState g_server;

class SlowCounter final : public component::RefCounted<tifcount::ITiffPageCounter> {
public:
    SlowCounter() : RefCounted(g_server) {}

    component::HResult QueryInterface(const component::Guid& iid, void** out) override {
        if (!out) return component::E_POINTER;
        if (iid == component::IID_IUnknown || iid == tifcount::IID_TiffPageCounter)
            return Hand<tifcount::ITiffPageCounter>(out);
        *out = nullptr;
        return component::E_NOINTERFACE;
    }

    component::HResult TIF_PageCount(component::Text& path, std::int32_t& result) override {
        std::ifstream in(path);
        std::string word;
        int pages = -1, delayMs = 0;
        in >> word >> pages >> word >> delayMs;
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        result = in ? pages : -1;
        return component::S_OK;
    }
};

}  // namespace

SLOW_EXPORT component::HResult DllGetClassObject(const component::Guid* clsid, const component::Guid* iid,
                                                 void** out) {
    return component::GetClassObject<SlowCounter>(g_server, tifcount::CLSID_TiffPageCounter, clsid, iid, out);
}

SLOW_EXPORT component::HResult DllCanUnloadNow() { return g_server.CanUnloadNow(); }
