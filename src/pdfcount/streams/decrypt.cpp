#include "streams/decrypt.h"

#include <openssl/evp.h>
#include <openssl/provider.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace brastel::pdf {

namespace {

// The algorithms, fetched once from a library context of the process's own:
// RC4 lives in OpenSSL's legacy provider, which is loaded there and nowhere
// else, so no other user of libcrypto in the process sees it.
struct Crypto {
    OSSL_LIB_CTX* lib = nullptr;
    EVP_CIPHER* rc4 = nullptr;
    EVP_CIPHER* aes128cbc = nullptr;
    EVP_CIPHER* aes256cbc = nullptr;
    EVP_MD* md5 = nullptr;
    EVP_MD* sha256 = nullptr;
    EVP_MD* sha384 = nullptr;
    EVP_MD* sha512 = nullptr;

    static const Crypto& Get() {
        static const Crypto c = [] {
            Crypto k;
            k.lib = OSSL_LIB_CTX_new();
            if (!k.lib) return k;
            OSSL_PROVIDER_load(k.lib, "default");
            OSSL_PROVIDER_load(k.lib, "legacy");
            k.rc4 = EVP_CIPHER_fetch(k.lib, "RC4", nullptr);
            k.aes128cbc = EVP_CIPHER_fetch(k.lib, "AES-128-CBC", nullptr);
            k.aes256cbc = EVP_CIPHER_fetch(k.lib, "AES-256-CBC", nullptr);
            k.md5 = EVP_MD_fetch(k.lib, "MD5", nullptr);
            k.sha256 = EVP_MD_fetch(k.lib, "SHA256", nullptr);
            k.sha384 = EVP_MD_fetch(k.lib, "SHA384", nullptr);
            k.sha512 = EVP_MD_fetch(k.lib, "SHA512", nullptr);
            return k;
        }();
        return c;
    }
};

struct CipherCtx {
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    ~CipherCtx() { EVP_CIPHER_CTX_free(ctx); }
    CipherCtx() = default;
    CipherCtx(const CipherCtx&) = delete;
    CipherCtx& operator=(const CipherCtx&) = delete;
};

std::string Digest(const EVP_MD* md, std::initializer_list<std::string_view> parts) {
    if (!md) return {};
    EVP_MD_CTX* ctx = EVP_MD_CTX_new();
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int n = 0;
    bool ok = ctx && EVP_DigestInit_ex(ctx, md, nullptr) == 1;
    for (std::string_view p : parts) ok = ok && EVP_DigestUpdate(ctx, p.data(), p.size()) == 1;
    ok = ok && EVP_DigestFinal_ex(ctx, out, &n) == 1;
    EVP_MD_CTX_free(ctx);
    return ok ? std::string(reinterpret_cast<char*>(out), n) : std::string();
}

// One pass of a cipher over data, without padding; empty on failure.
std::string Crypt(const EVP_CIPHER* cipher, std::string_view key, std::string_view iv, std::string_view data,
                  bool encrypt) {
    if (!cipher) return {};
    CipherCtx c;
    std::string out(data.size() + 32, '\0');
    int n = 0, tail = 0;
    const auto* k = reinterpret_cast<const unsigned char*>(key.data());
    const auto* v = iv.empty() ? nullptr : reinterpret_cast<const unsigned char*>(iv.data());
    bool ok = c.ctx && EVP_CipherInit_ex2(c.ctx, cipher, nullptr, nullptr, encrypt ? 1 : 0, nullptr) == 1 &&
              EVP_CIPHER_CTX_set_key_length(c.ctx, static_cast<int>(key.size())) == 1 &&
              EVP_CipherInit_ex2(c.ctx, nullptr, k, v, encrypt ? 1 : 0, nullptr) == 1 &&
              EVP_CIPHER_CTX_set_padding(c.ctx, 0) == 1 &&
              EVP_CipherUpdate(c.ctx, reinterpret_cast<unsigned char*>(out.data()), &n,
                               reinterpret_cast<const unsigned char*>(data.data()), static_cast<int>(data.size())) == 1 &&
              EVP_CipherFinal_ex(c.ctx, reinterpret_cast<unsigned char*>(out.data()) + n, &tail) == 1;
    if (!ok) return {};
    out.resize(static_cast<std::size_t>(n + tail));
    return out;
}

// ISO 32000's padding string, the empty password padded to 32 bytes.
constexpr unsigned char kPadding[32] = {0x28, 0xBF, 0x4E, 0x5E, 0x4E, 0x75, 0x8A, 0x41, 0x64, 0x00, 0x4E,
                                        0x56, 0xFF, 0xFA, 0x01, 0x08, 0x2E, 0x2E, 0x00, 0xB6, 0xD0, 0x68,
                                        0x3E, 0x80, 0x2F, 0x0C, 0xA9, 0xFE, 0x64, 0x53, 0x69, 0x7A};
std::string_view Padding() { return {reinterpret_cast<const char*>(kPadding), sizeof kPadding}; }

// The hash of revision 6 (ISO 32000-2, algorithm 2.B) for the empty
// password and no user key data.
std::string HashR6(std::string_view salt) {
    const Crypto& c = Crypto::Get();
    std::string k = Digest(c.sha256, {salt});
    if (k.size() != 32) return {};
    for (unsigned round = 1;; ++round) {
        std::string k1;
        k1.reserve(64 * k.size());
        for (int i = 0; i < 64; ++i) k1 += k;
        const std::string e = Crypt(c.aes128cbc, std::string_view(k).substr(0, 16), std::string_view(k).substr(16, 16),
                                    k1, true);
        if (e.size() < 16) return {};
        // The first 16 bytes as a number modulo 3 (256 is 1 modulo 3).
        unsigned sum = 0;
        for (int i = 0; i < 16; ++i) sum += static_cast<unsigned char>(e[i]);
        const EVP_MD* next = sum % 3 == 0 ? c.sha256 : sum % 3 == 1 ? c.sha384 : c.sha512;
        k = Digest(next, {e});
        if (k.size() < 32) return {};
        if (round >= 64 && static_cast<unsigned char>(e.back()) <= round - 32) break;
    }
    return k.substr(0, 32);
}

std::string LittleEndian(std::uint64_t v, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
    return out;
}

// The named crypt filter's method, for /V 4 and 5.
std::optional<Decryptor::Cipher> CryptFilter(const Dict& encrypt, const Value& name) {
    if (name.Is(Value::Kind::Missing) || (name.Is(Value::Kind::Name) && NameEquals(name.text, "/Identity")))
        return Decryptor::Cipher::Identity;
    if (!name.Is(Value::Kind::Name)) return std::nullopt;
    const Value cf = encrypt.Get("/CF");
    const auto filters = cf.Is(Value::Kind::Dict) ? Dict::At(cf.text) : std::nullopt;
    if (!filters || !filters->complete()) return std::nullopt;
    const Value named = filters->Get(name.text);
    const auto filter = named.Is(Value::Kind::Dict) ? Dict::At(named.text) : std::nullopt;
    if (!filter || !filter->complete()) return std::nullopt;
    const Value cfm = filter->Get("/CFM");
    if (cfm.Is(Value::Kind::Missing) || (cfm.Is(Value::Kind::Name) && NameEquals(cfm.text, "/None")))
        return Decryptor::Cipher::Identity;
    if (!cfm.Is(Value::Kind::Name)) return std::nullopt;
    if (NameEquals(cfm.text, "/V2")) return Decryptor::Cipher::Rc4;
    if (NameEquals(cfm.text, "/AESV2")) return Decryptor::Cipher::Aes128;
    if (NameEquals(cfm.text, "/AESV3")) return Decryptor::Cipher::Aes256;
    return std::nullopt;
}

// Stream data decrypted as it is pulled: RC4 byte for byte, AES in CBC
// mode after the 16-byte initialization vector that starts the data, its
// padding taken off at the end.
class CipherSource : public ByteSource {
public:
    CipherSource(std::unique_ptr<ByteSource> raw, const EVP_CIPHER* cipher, std::string key, bool block)
        : raw_(std::move(raw)), cipher_(cipher), key_(std::move(key)), block_(block) {}

    std::ptrdiff_t Pull(char* into, std::size_t n) override {
        // A block cipher's last block holds padding: it is handed out only
        // once the data is known to end.
        const std::size_t holdBack = block_ ? 16 : 0;
        while (!failed_ && !ended_ && out_.size() - at_ < n + holdBack) Refill();
        if (failed_) return -1;
        std::size_t ready = out_.size() - at_;
        if (!ended_) ready -= std::min(ready, holdBack);
        const std::size_t give = std::min(n, ready);
        std::memcpy(into, out_.data() + at_, give);
        at_ += give;
        if (at_ == out_.size()) {
            out_.clear();
            at_ = 0;
        }
        return static_cast<std::ptrdiff_t>(give);
    }

    bool Rewind() override {
        if (!raw_->Rewind()) return false;
        out_.clear();
        at_ = 0;
        iv_.clear();
        started_ = ended_ = failed_ = false;
        return true;
    }

private:
    void Refill() {
        char chunk[16384];
        const std::ptrdiff_t got = raw_->Pull(chunk, sizeof chunk);
        if (got < 0) {
            failed_ = true;
            return;
        }
        std::string_view in(chunk, static_cast<std::size_t>(got));
        if (block_ && !started_) {
            const std::size_t take = std::min(in.size(), 16 - iv_.size());
            iv_.append(in.substr(0, take));
            in.remove_prefix(take);
        }
        if (!started_ && (!block_ || iv_.size() == 16)) {
            started_ = true;
            const auto* iv = block_ ? reinterpret_cast<const unsigned char*>(iv_.data()) : nullptr;
            if (!ctx_.ctx || EVP_CipherInit_ex2(ctx_.ctx, cipher_, nullptr, nullptr, 0, nullptr) != 1 ||
                EVP_CIPHER_CTX_set_key_length(ctx_.ctx, static_cast<int>(key_.size())) != 1 ||
                EVP_CipherInit_ex2(ctx_.ctx, nullptr, reinterpret_cast<const unsigned char*>(key_.data()), iv, 0,
                                   nullptr) != 1 ||
                EVP_CIPHER_CTX_set_padding(ctx_.ctx, 0) != 1) {
                failed_ = true;
                return;
            }
        }
        if (got == 0) {
            ended_ = true;
            // A trailing part of a block is no data; the padding is, by
            // its last byte, 1 to 16 bytes of that value.
            if (block_ && !out_.empty()) {
                const auto pad = static_cast<unsigned char>(out_.back());
                if (pad >= 1 && pad <= 16 && out_.size() - at_ >= pad) out_.resize(out_.size() - pad);
            }
            return;
        }
        if (!started_ || in.empty()) return;
        const std::size_t before = out_.size();
        out_.resize(before + in.size() + 32);
        int n = 0;
        if (EVP_CipherUpdate(ctx_.ctx, reinterpret_cast<unsigned char*>(out_.data() + before), &n,
                             reinterpret_cast<const unsigned char*>(in.data()), static_cast<int>(in.size())) != 1) {
            failed_ = true;
            return;
        }
        out_.resize(before + static_cast<std::size_t>(n));
    }

    std::unique_ptr<ByteSource> raw_;
    const EVP_CIPHER* cipher_;
    std::string key_;
    bool block_;
    CipherCtx ctx_;
    std::string iv_;
    std::string out_;
    std::size_t at_ = 0;
    bool started_ = false, ended_ = false, failed_ = false;
};

}  // namespace

std::string StringBytes(const Value& v) {
    std::string out;
    std::string_view t = v.text;
    if (v.Is(Value::Kind::String) && t.size() >= 2 && t.front() == '<') {
        int high = -1;
        for (char ch : t.substr(1)) {
            int d = -1;
            if (ch >= '0' && ch <= '9') d = ch - '0';
            else if (ch >= 'a' && ch <= 'f') d = ch - 'a' + 10;
            else if (ch >= 'A' && ch <= 'F') d = ch - 'A' + 10;
            else if (ch == '>') break;
            if (d < 0) continue;
            if (high < 0) {
                high = d;
            } else {
                out += static_cast<char>(high * 16 + d);
                high = -1;
            }
        }
        if (high >= 0) out += static_cast<char>(high * 16);  // an odd digit count ends in 0
        return out;
    }
    if (!v.Is(Value::Kind::String) || t.size() < 2 || t.front() != '(') return out;
    t = t.substr(1, t.size() - 2);
    for (std::size_t i = 0; i < t.size(); ++i) {
        char ch = t[i];
        if (ch == '\r') {  // an end of line in a literal is a line feed
            if (i + 1 < t.size() && t[i + 1] == '\n') ++i;
            out += '\n';
            continue;
        }
        if (ch != '\\' || i + 1 >= t.size()) {
            out += ch;
            continue;
        }
        ch = t[++i];
        switch (ch) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case '\r':  // a backslash before an end of line joins the lines
            if (i + 1 < t.size() && t[i + 1] == '\n') ++i;
            break;
        case '\n': break;
        default:
            if (ch >= '0' && ch <= '7') {
                int value = ch - '0';
                for (int k = 0; k < 2 && i + 1 < t.size() && t[i + 1] >= '0' && t[i + 1] <= '7'; ++k)
                    value = value * 8 + (t[++i] - '0');
                out += static_cast<char>(value & 0xFF);
            } else {
                out += ch;  // \( \) \\ and an unknown escape stand for the character
            }
        }
    }
    return out;
}

Decryptor::Opened Decryptor::Open(const Dict& encrypt, const Value& id, std::unique_ptr<Decryptor>& out) {
    out.reset();
    const auto [filter, vValue, rValue, lengthValue, oValue, uValue, pValue, ueValue, stmf, meta] =
        encrypt.GetAll<10>({"/Filter", "/V", "/R", "/Length", "/O", "/U", "/P", "/UE", "/StmF", "/EncryptMetadata"});
    if (!filter.Is(Value::Kind::Name) || !NameEquals(filter.text, "/Standard")) return Opened::Unsupported;
    const auto v = vValue.Whole();
    const auto r = rValue.Whole();
    const auto p = pValue.Whole();
    if (!v || !r || !p || *r < 2 || *r > 6) return Opened::Unsupported;
    const Crypto& c = Crypto::Get();
    auto d = std::make_unique<Decryptor>();
    // The stream cipher: RC4 up to /V 2, the stream crypt filter's from 4.
    if (*v == 1 || *v == 2) {
        d->cipher_ = Cipher::Rc4;
    } else if (*v == 4 || *v == 5) {
        const auto cipher = CryptFilter(encrypt, stmf);
        if (!cipher) return Opened::Unsupported;
        d->cipher_ = *cipher;
    } else {
        return Opened::Unsupported;
    }
    const std::string o = StringBytes(oValue), u = StringBytes(uValue);
    if (*r >= 5) {
        // AES-256: /U holds the hash, an 8-byte validation salt and an
        // 8-byte key salt; the file key is /UE decrypted with the hash of
        // the password and the key salt.
        const std::string ue = StringBytes(ueValue);
        if (u.size() < 48 || ue.size() < 32) return Opened::NeedsPassword;
        const std::string_view uv(u);
        const std::string check = *r == 5 ? Digest(c.sha256, {uv.substr(32, 8)}) : HashR6(uv.substr(32, 8));
        if (check.size() < 32) return Opened::Unsupported;
        if (check.compare(0, 32, u, 0, 32) != 0) return Opened::NeedsPassword;
        const std::string inter = *r == 5 ? Digest(c.sha256, {uv.substr(40, 8)}) : HashR6(uv.substr(40, 8));
        d->key_ = Crypt(c.aes256cbc, inter.substr(0, 32), std::string(16, '\0'), std::string_view(ue).substr(0, 32),
                        false);
        if (d->key_.size() != 32) return Opened::Unsupported;
        out = std::move(d);
        return Opened::Key;
    }
    // RC4 and AES-128 keys (algorithm 2): MD5 of the padded password, /O,
    // /P and the first /ID string, iterated from revision 3 on.
    std::size_t n = 5;
    if (*r >= 3) {
        const auto bits = lengthValue.Whole().value_or(40);
        if (bits < 40 || bits > 128 || bits % 8 != 0) return Opened::Unsupported;
        n = static_cast<std::size_t>(bits / 8);
    }
    if (d->cipher_ == Cipher::Aes128) n = 16;
    if (o.size() < 32 || u.size() < 32) return Opened::NeedsPassword;
    const std::string idBytes = StringBytes(id);
    const bool skipMetadata = *r >= 4 && meta.Is(Value::Kind::Bool) && meta.text == "false";
    std::string key = Digest(c.md5, {Padding(), std::string_view(o).substr(0, 32),
                                     LittleEndian(static_cast<std::uint32_t>(*p), 4), idBytes,
                                     skipMetadata ? std::string_view("\xFF\xFF\xFF\xFF", 4) : std::string_view()});
    if (key.size() != 16) return Opened::Unsupported;
    if (*r >= 3)
        for (int i = 0; i < 50; ++i) key = Digest(c.md5, {std::string_view(key).substr(0, n)});
    key.resize(n);
    // The empty user password opens the file when /U is what it gives
    // (algorithms 4 and 5).
    bool opens = false;
    if (*r == 2) {
        opens = Crypt(c.rc4, key, {}, Padding(), true) == std::string_view(u).substr(0, 32);
    } else {
        std::string x = Digest(c.md5, {Padding(), idBytes});
        for (int i = 0; i < 20 && !x.empty(); ++i) {
            std::string k = key;
            for (char& b : k) b = static_cast<char>(b ^ i);
            x = Crypt(c.rc4, k, {}, x, true);
        }
        opens = x.size() == 16 && x.compare(0, 16, u, 0, 16) == 0;
    }
    if (!c.rc4 && (d->cipher_ == Cipher::Rc4 || !opens)) return Opened::Unsupported;
    if (!opens) return Opened::NeedsPassword;
    d->key_ = std::move(key);
    out = std::move(d);
    return Opened::Key;
}

std::unique_ptr<ByteSource> Decryptor::Stream(std::unique_ptr<ByteSource> raw, std::int64_t num,
                                              std::int64_t gen) const {
    const Crypto& c = Crypto::Get();
    switch (cipher_) {
    case Cipher::Identity:
        return raw;
    case Cipher::Aes256:
        return std::make_unique<CipherSource>(std::move(raw), c.aes256cbc, key_, true);
    case Cipher::Rc4:
    case Cipher::Aes128:
        break;
    }
    // The object's own key (algorithm 1).
    const bool aes = cipher_ == Cipher::Aes128;
    std::string key = Digest(c.md5, {key_, LittleEndian(static_cast<std::uint64_t>(num), 3),
                                     LittleEndian(static_cast<std::uint64_t>(gen), 2),
                                     aes ? std::string_view("sAlT") : std::string_view()});
    key.resize(std::min<std::size_t>(key_.size() + 5, 16));
    return std::make_unique<CipherSource>(std::move(raw), aes ? c.aes128cbc : c.rc4, std::move(key), aes);
}

}  // namespace brastel::pdf
