// Why a count gave Error: the reason a counter keeps after each count and
// hands out through its additional interface.
#include "pdfbuilder.h"
#include "testsupport.h"

#include <component/count_reason.h>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace brastel::test {
namespace {

using component::CountReason;

struct Reason {
    CountReason code = CountReason::None;
    std::string text;
};

Reason LastReason(Brastelv1& b) {
    component::ICountReason* why = nullptr;
    EXPECT_EQ(b.QueryInterface(component::IID_ICountReason, reinterpret_cast<void**>(&why)), component::S_OK);
    if (!why) return {};
    std::int32_t code = -1;
    component::Text text;
    EXPECT_EQ(why->LastCountReason(code, text), component::S_OK);
    why->Release();
    return Reason{static_cast<CountReason>(code), text};
}

// The same document, encrypted with a user password by libqpdf, its objects
// packed in object streams (which only the password opens).
std::string Encrypted(const std::string& plain) {
    QPDF in;
    in.processMemoryFile("plain.pdf", plain.data(), plain.size());
    QPDFWriter w(in);
    w.setOutputMemory();
    w.setObjectStreamMode(qpdf_o_generate);
    w.setR6EncryptionParameters("user", "owner", true, true, true, true, true, true, qpdf_r3p_full, true);
    w.write();
    auto buffer = w.getBufferSharedPointer();
    return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

class CountReasons : public ::testing::Test {
protected:
    Reason After(const std::string& path, std::int32_t& pages) {
        pages = counter.Count(path);
        return LastReason(*counter);
    }
    TempDir dir;
    Counter counter;
};

TEST_F(CountReasons, EveryFileThatGivesErrorSaysWhy) {
    DocOptions o;
    o.pages = 3;
    const std::string good = StandardDocument(o).str();
    o.pages = 0;
    const std::string noPages = StandardDocument(o).str();
    const std::string folder = dir / "folder.pdf";
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);

    struct Case {
        std::string name;
        std::string path;
        CountReason code;
        std::string text;
    };
    const std::vector<Case> cases = {
        {"missing", dir / "missing.pdf", CountReason::CannotOpen,
         std::string("Cannot open the file: ") + std::strerror(ENOENT)},
        {"folder", folder, CountReason::CannotOpen, "Cannot open the file: not a regular file"},
        {"empty", dir.Write("empty.pdf", ""), CountReason::Empty, "The file is empty"},
        {"text", dir.Write("text.pdf", std::string(3000, 'x')), CountReason::NotThisKind, "Not a PDF file"},
        {"damaged", dir.Write("damaged.pdf", "%PDF-1.4\n" + std::string(3000, 'y')), CountReason::Damaged,
         "Damaged beyond reading"},
        {"no pages", dir.Write("nopages.pdf", noPages), CountReason::NoPages, "Has no pages"},
        {"password", dir.Write("locked.pdf", Encrypted(good)), CountReason::NeedsPassword, "Needs a password"},
    };
    for (const auto& c : cases) {
        std::int32_t pages = 0;
        const Reason r = After(c.path, pages);
        EXPECT_LT(pages, 1) << c.name;
        EXPECT_EQ(r.code, c.code) << c.name;
        EXPECT_EQ(r.text, c.text) << c.name;
    }

    // A count clears the reason of the one before.
    std::int32_t pages = 0;
    const Reason counted = After(dir.Write("good.pdf", good), pages);
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(counted.code, CountReason::None);
    EXPECT_EQ(counted.text, "");
}

TEST_F(CountReasons, FreshInstanceHasNoReasonAndTheDefaultInterfaceIsUnchanged) {
    EXPECT_EQ(LastReason(*counter).code, CountReason::None);
    // The additional interface and the default one are the same object.
    component::ICountReason* why = nullptr;
    ASSERT_EQ(counter->QueryInterface(component::IID_ICountReason, reinterpret_cast<void**>(&why)), component::S_OK);
    _Brastelv1* back = nullptr;
    ASSERT_EQ(why->QueryInterface(IID__Brastelv1, reinterpret_cast<void**>(&back)), component::S_OK);
    EXPECT_EQ(back, static_cast<_Brastelv1*>(&*counter));
    back->Release();
    why->Release();
}

}  // namespace
}  // namespace brastel::test
