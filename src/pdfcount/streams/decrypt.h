// The standard security handler of ISO 32000 opened with the empty user
// password, as readers open a file that asks for none: the file key derived
// (ISO 32000-2, revisions 2 to 6), the user password checked against /U,
// and streams decrypted as they are read (RC4 of 40 to 128 bits, AES-128,
// AES-256) with OpenSSL's libcrypto.  Only streams need it here: page
// counts and references are never encrypted, strings are never read.
#pragma once

#include "streams/inflate.h"
#include "syntax/lexer.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace brastel::pdf {

class Decryptor {
public:
    enum class Opened {
        Key,            // the empty password opens the file
        NeedsPassword,  // it does not
        Unsupported,    // another security handler, or an algorithm ISO 32000 does not define
    };
    // encrypt is the /Encrypt dictionary, id the first string of the
    // trailer's /ID (Missing when there is none).
    static Opened Open(const Dict& encrypt, const Value& id, std::unique_ptr<Decryptor>& out);

    // The data of object num's stream, decrypted as it is pulled from raw.
    std::unique_ptr<ByteSource> Stream(std::unique_ptr<ByteSource> raw, std::int64_t num, std::int64_t gen) const;

    enum class Cipher { Identity, Rc4, Aes128, Aes256 };
    Cipher streamCipher() const { return cipher_; }
    const std::string& fileKey() const { return key_; }

private:
    Cipher cipher_ = Cipher::Identity;
    std::string key_;
};

// The bytes a string value stands for: a literal's escapes undone, a hex
// string's digits read.
std::string StringBytes(const Value& v);

}  // namespace brastel::pdf
