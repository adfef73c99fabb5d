// Heavy benchmark files made by libqpdf: a file rewritten with object
// streams, encrypted for the empty user password when asked, as real trees
// hold them.
#pragma once

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFWriter.hh>

#include <string>

namespace bench {

enum class Crypt { None, Aes256, Rc4 };

inline std::string Rewritten(const std::string& bytes, Crypt crypt) {
    QPDF q;
    q.processMemoryFile("generated", bytes.data(), bytes.size());
    QPDFWriter w(q);
    w.setOutputMemory();
    w.setObjectStreamMode(qpdf_o_generate);
    if (crypt == Crypt::Aes256)
        w.setR6EncryptionParameters("", "owner", true, true, true, true, true, true, qpdf_r3p_full, true);
    else if (crypt == Crypt::Rc4)
        w.setR3EncryptionParametersInsecure("", "owner", true, true, true, true, true, true, qpdf_r3p_full);
    w.write();
    auto buffer = w.getBufferSharedPointer();
    return std::string(reinterpret_cast<const char*>(buffer->getBuffer()), buffer->getSize());
}

}  // namespace bench
