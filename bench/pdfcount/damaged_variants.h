// Damaged variants of real PDFs, made in the run: the files on which the
// counter's routes fail one after another, each before the next reader
// decides.  Each variant damages one thing readers rely on.
#pragma once

#include <string>
#include <vector>

namespace bench {

struct Variant {
    std::string kind;   // which damage
    std::string bytes;  // the damaged file
};

// The variants of one file that its bytes allow (a file with no object
// stream gets no damaged object stream, and so on).
std::vector<Variant> DamagedVariants(const std::string& bytes);

}  // namespace bench
