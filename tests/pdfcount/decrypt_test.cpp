// Encrypted files that the empty user password opens: their object streams
// decrypted natively (RC4 40 to 128 bits, AES-128, AES-256; revisions 2 to
// 6), files that need a password still said to need one.
#include "streams/decrypt.h"
#include "pdfbuilder.h"
#include "streambuilder.h"
#include "routes/structural.h"
#include "testsupport.h"

#include <sys/wait.h>

#include <set>

namespace brastel::test {
namespace {

bool HaveQpdf() { return std::system("qpdf --version >/dev/null 2>&1") == 0; }

bool Qpdf(const std::string& args) {
    const int rc = std::system(("qpdf " + args + " >/dev/null 2>&1").c_str());
    return WIFEXITED(rc) && (WEXITSTATUS(rc) == 0 || WEXITSTATUS(rc) == 3);
}

struct Encryption {
    const char* name;
    const char* args;  // between --encrypt and the files
};

const Encryption kEmptyPassword[] = {
    {"RC4 40, R2", "--allow-weak-crypto --encrypt '' owner 40 --"},
    {"RC4 128, R3", "--allow-weak-crypto --encrypt '' owner 128 --use-aes=n --"},
    {"RC4 128, R4", "--allow-weak-crypto --encrypt '' owner 128 --use-aes=n --force-V4 --"},
    {"AES-128, R4", "--encrypt '' owner 128 --use-aes=y --"},
    {"AES-128, R4, clear metadata", "--encrypt '' owner 128 --use-aes=y --cleartext-metadata --"},
    {"AES-256, R5", "--allow-weak-crypto --encrypt '' owner 256 --force-R5 --"},
    {"AES-256, R6", "--encrypt '' owner 256 --"},
};

class Encrypted : public ::testing::Test {
protected:
    void SetUp() override {
        if (!HaveQpdf()) GTEST_SKIP() << "qpdf command not installed";
        BrastelPeer::SetBeforeRoute(*counter, [this](Route r) { ran.insert(r); });
    }
    // in rewritten by qpdf with the arguments and object streams.
    std::string Rewrite(const std::string& in, const std::string& args, const std::string& name) {
        const std::string out = dir / name;
        EXPECT_TRUE(Qpdf("--object-streams=generate " + args + " " + in + " " + out)) << args;
        return out;
    }
    std::int32_t Count(const std::string& path) {
        ran.clear();
        return counter.Count(path);
    }
    TempDir dir;
    Counter counter;
    std::set<Route> ran;
};

TEST_F(Encrypted, EmptyPasswordFilesAreCountedNativelyInEveryRevision) {
    DocOptions d;
    d.pages = 9;
    const std::string plain = dir.Write("plain.pdf", StandardDocument(d).str());
    for (const Encryption& e : kEmptyPassword) {
        const std::string path = Rewrite(plain, e.args, "enc.pdf");
        EXPECT_EQ(Count(path), 9) << e.name;
        EXPECT_EQ(counter.LastRoute(), Route::Stream) << e.name;
        EXPECT_FALSE(ran.count(Route::Structural)) << e.name;
        EXPECT_EQ(CountStructural(path), 9) << e.name << ": libqpdf agrees";
    }
}

TEST_F(Encrypted, ManyObjectsInOneEncryptedStreamAreCountedNatively) {
    // The 65,542-object stream, decrypted and inflated as a stream; the
    // tree at its end.
    int pages = 0;
    const std::string plain = dir.Write("plain.pdf", ManyObjectsDocument({}, &pages));
    for (const Encryption& e : {kEmptyPassword[1], kEmptyPassword[6]}) {
        const std::string path = Rewrite(plain, e.args, "enc.pdf");
        EXPECT_EQ(Count(path), pages) << e.name;
        EXPECT_EQ(counter.LastRoute(), Route::Stream) << e.name;
        EXPECT_FALSE(ran.count(Route::Structural)) << e.name;
    }
}

TEST_F(Encrypted, FilesThatNeedAUserPasswordStillSaySo) {
    DocOptions d;
    d.pages = 5;
    const std::string plain = dir.Write("plain.pdf", StandardDocument(d).str());
    const Encryption locked[] = {
        {"RC4 40", "--allow-weak-crypto --encrypt user owner 40 --"},
        {"RC4 128", "--allow-weak-crypto --encrypt user owner 128 --use-aes=n --"},
        {"AES-128", "--encrypt user owner 128 --use-aes=y --"},
        {"AES-256, R5", "--allow-weak-crypto --encrypt user owner 256 --force-R5 --"},
        {"AES-256, R6", "--encrypt user owner 256 --"},
    };
    for (const Encryption& e : locked) {
        const std::string path = Rewrite(plain, e.args, "locked.pdf");
        EXPECT_EQ(Count(path), -1) << e.name;
        EXPECT_EQ(LastReasonCode(*counter), component::CountReason::NeedsPassword) << e.name;
    }
}

TEST(Decryptor, OpensOnlyWhatTheEmptyPasswordOpens) {
    auto open = [](const std::string& dict, const std::string& id = "<0123456789ABCDEF0123456789ABCDEF>") {
        const auto d = pdf::Dict::At(dict);
        pdf::Lexer lex(id);
        const pdf::Value idValue = pdf::ReadValue(lex);
        std::unique_ptr<pdf::Decryptor> out;
        return pdf::Decryptor::Open(*d, idValue, out);
    };
    const std::string hex32(64, 'A');
    const std::string aes = "<< /Filter /Standard /V 4 /R 4 /Length 128 /P -4 /O <" + hex32 + "> /U <" + hex32 +
                            "> /CF << /StdCF << /CFM /AESV2 >> >> /StmF /StdCF >>";
    EXPECT_EQ(open(aes), pdf::Decryptor::Opened::NeedsPassword) << "a /U the empty password does not give";
    EXPECT_EQ(open(Patch(aes, "/Standard", "/Adobe.PubSec")), pdf::Decryptor::Opened::Unsupported);
    EXPECT_EQ(open(Patch(aes, "/R 4", "/R 7")), pdf::Decryptor::Opened::Unsupported);
    EXPECT_EQ(open(Patch(aes, "/AESV2", "/AESV9")), pdf::Decryptor::Opened::Unsupported);
    EXPECT_EQ(open(Patch(aes, "/U <" + hex32 + ">", "/U <AB>")), pdf::Decryptor::Opened::NeedsPassword)
        << "a /U too short";
}

TEST(Decryptor, StringBytesUndoEscapesAndHexDigits) {
    auto bytes = [](const std::string& text) {
        pdf::Lexer lex(text);
        return pdf::StringBytes(pdf::ReadValue(lex));
    };
    EXPECT_EQ(bytes("(a\\(b\\)c\\\\)"), "a(b)c\\");
    EXPECT_EQ(bytes("(\\101\\0612\\7)"), std::string("A12\x07", 4));
    EXPECT_EQ(bytes("(x\\\ny)"), "xy");
    EXPECT_EQ(bytes("(x\r\ny)"), "x\ny");
    EXPECT_EQ(bytes("(\\n\\r\\t\\b\\f\\q)"), "\n\r\t\b\fq");
    EXPECT_EQ(bytes("<41 42\n4>"), "AB@");
    EXPECT_EQ(bytes("<>"), "");
    EXPECT_EQ(bytes("/Name"), "") << "no string";
}

}  // namespace
}  // namespace brastel::test
