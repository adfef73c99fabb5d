// libqpdf's view of the file being counted: the descriptor the counter
// already holds, read through a buffer, with the length seen at open as
// the end of the file.  A read that comes back shorter than that length
// promises (the file shrank while it was read) throws, which ends libqpdf's
// work on the file instead of letting its loops wait for bytes that no
// longer exist.
#pragma once

#include <qpdf/InputSource.hh>

#include <cstdint>
#include <memory>
#include <string>

namespace brastel {

// *changed (when given) is set when a read came back short.
std::shared_ptr<InputSource> OpenFileInput(int fd, std::int64_t length, const std::string& name,
                                           bool* changed = nullptr);

}  // namespace brastel
