// The built libBrastel.so as a host uses it: loaded by path, instances made
// through DllGetClassObject, nothing exported but the two entry points, and
// instances counting on several threads at once.
#include "pdfbuilder.h"
#include "testsupport.h"

#include <dlfcn.h>

#include <cstdio>
#include <set>
#include <thread>
#include <vector>

namespace brastel::test {
namespace {

using namespace component;

class Library : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        handle_ = ::dlopen(BRASTEL_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle_, nullptr) << ::dlerror();
        getClassObject_ = reinterpret_cast<DllGetClassObjectFn>(::dlsym(handle_, kGetClassObjectSymbol));
        canUnloadNow_ = reinterpret_cast<DllCanUnloadNowFn>(::dlsym(handle_, kCanUnloadNowSymbol));
    }
    static void TearDownTestSuite() {
        if (handle_) ::dlclose(handle_);
        handle_ = nullptr;
    }
    void SetUp() override {
        ASSERT_NE(getClassObject_, nullptr);
        ASSERT_NE(canUnloadNow_, nullptr);
    }
    _Brastelv1* Create() {
        IClassFactory* factory = nullptr;
        EXPECT_EQ(getClassObject_(&CLSID_Brastelv1, &IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
        if (!factory) return nullptr;
        _Brastelv1* counter = nullptr;
        EXPECT_EQ(factory->CreateInstance(nullptr, IID__Brastelv1, reinterpret_cast<void**>(&counter)), S_OK);
        factory->Release();
        return counter;
    }

    static inline void* handle_ = nullptr;
    static inline DllGetClassObjectFn getClassObject_ = nullptr;
    static inline DllCanUnloadNowFn canUnloadNow_ = nullptr;
    TempDir dir;
};

TEST_F(Library, CountsThroughTheClassFactory) {
    DocOptions o;
    o.pages = 9;
    std::string path = dir.Write("nine.pdf", StandardDocument(o).str());
    _Brastelv1* counter = Create();
    ASSERT_NE(counter, nullptr);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    std::int32_t result = 0;
    EXPECT_EQ(counter->PDF_PageCount(path, result), S_OK);
    EXPECT_EQ(result, 9);
    std::string empty;
    EXPECT_EQ(counter->PDF_PageCount(empty, result), S_OK);
    EXPECT_EQ(result, 0);

    // The size of the file each count opened, none once a count opens none.
    ICountedFile* file = nullptr;
    ASSERT_EQ(counter->QueryInterface(IID_ICountedFile, reinterpret_cast<void**>(&file)), S_OK);
    std::int64_t bytes = 0;
    EXPECT_EQ(file->LastFileSize(bytes), S_OK);
    EXPECT_EQ(bytes, -1);
    EXPECT_EQ(counter->PDF_PageCount(path, result), S_OK);
    EXPECT_EQ(file->LastFileSize(bytes), S_OK);
    EXPECT_EQ(bytes, static_cast<std::int64_t>(StandardDocument(o).str().size()));
    std::string gone = dir / "gone.pdf";
    EXPECT_EQ(counter->PDF_PageCount(gone, result), S_OK);
    EXPECT_EQ(file->LastFileSize(bytes), S_OK);
    EXPECT_EQ(bytes, -1);
    std::string zero = dir.Write("zero.pdf", "");
    EXPECT_EQ(counter->PDF_PageCount(zero, result), S_OK);
    EXPECT_EQ(file->LastFileSize(bytes), S_OK);
    EXPECT_EQ(bytes, 0);
    file->Release();
    counter->Release();
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST_F(Library, IdentityAndRefusals) {
    void* out = reinterpret_cast<void*>(1);
    const Guid other{0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
    EXPECT_EQ(getClassObject_(&other, &IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(getClassObject_(&IID__Brastelv1, &IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);

    IClassFactory* factory = nullptr;
    ASSERT_EQ(getClassObject_(&CLSID_Brastelv1, &IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    void* object = nullptr;
    EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown*>(factory), IID__Brastelv1, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    // A server lock keeps the library loaded after the factory is gone.
    EXPECT_EQ(factory->LockServer(true), S_OK);
    factory->Release();
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    ASSERT_EQ(getClassObject_(&CLSID_Brastelv1, &IID_IUnknown, reinterpret_cast<void**>(&factory)), S_OK);
    IClassFactory* again = nullptr;
    EXPECT_EQ(factory->QueryInterface(IID_IClassFactory, reinterpret_cast<void**>(&again)), S_OK);
    EXPECT_EQ(again->LockServer(false), S_OK);
    again->Release();
    factory->Release();
    EXPECT_EQ(canUnloadNow_(), S_OK);

    _Brastelv1* counter = Create();
    ASSERT_NE(counter, nullptr);
    IUnknown* unknown = nullptr;
    EXPECT_EQ(counter->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(unknown->Release(), 1u);
    EXPECT_EQ(counter->QueryInterface(IID_IClassFactory, &object), E_NOINTERFACE);
    counter->Release();
}

TEST_F(Library, FindCaseAndGetCrossRefNeedARunningCount) {
    _Brastelv1* counter = Create();
    ASSERT_NE(counter, nullptr);
    std::string key = "/Pages", alt, text = "unchanged";
    std::int32_t start = 1, length = 256, k = 1, xref = 10, pos = -7;
    EXPECT_TRUE(Failed(counter->FindCase(key, start, length, alt, text)));
    EXPECT_EQ(text, "unchanged");
    EXPECT_TRUE(Failed(counter->GetCrossRef(k, xref, pos)));
    EXPECT_EQ(pos, -7);
    counter->Release();
}

TEST_F(Library, InstancesCountOnSeveralThreadsAtOnce) {
    std::vector<std::string> paths;
    std::vector<int> expected;
    for (int pages = 1; pages <= 4; ++pages) {
        DocOptions o;
        o.pages = pages;
        o.eol = pages % 2 ? "\n" : "\r\n";
        if (pages == 3) {  // one that the structural reader decides
            o.countSuffix = " >>";
            o.countOnOwnLine = false;
        }
        // Appended, not "t" + ...: GCC 12 warns falsely of overlap on that.
        paths.push_back(dir.Write(std::string("t").append(std::to_string(pages)).append(".pdf"),
                                  StandardDocument(o).str()));
        expected.push_back(pages);
    }
    std::vector<int> wrong(4, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            _Brastelv1* counter = Create();
            if (!counter) {
                wrong[t] = -1;
                return;
            }
            for (int round = 0; round < 50; ++round) {
                const int i = (t + round) % 4;
                std::string path = paths[i];
                std::int32_t result = 0;
                counter->PDF_PageCount(path, result);
                if (result != expected[i]) ++wrong[t];
            }
            counter->Release();
        });
    }
    for (auto& th : threads) th.join();
    EXPECT_EQ(wrong, std::vector<int>(4, 0));
    EXPECT_EQ(canUnloadNow_(), S_OK);
}

TEST(LibraryExports, OnlyTheTwoEntryPoints) {
    std::FILE* nm = ::popen("nm -D --defined-only '" BRASTEL_LIBRARY_PATH "' 2>&1", "r");
    ASSERT_NE(nm, nullptr);
    std::set<std::string> names;
    char line[1024];
    while (std::fgets(line, sizeof line, nm)) {
        std::string s(line);
        while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
        const auto space = s.rfind(' ');
        names.insert(space == std::string::npos ? s : s.substr(space + 1));
    }
    ASSERT_EQ(::pclose(nm), 0);
    EXPECT_EQ(names, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject"}));
}

}  // namespace
}  // namespace brastel::test
