// The heap the test program holds, for tests that bound what a count keeps
// in memory: every operator new and delete of the program, the library's
// included, is counted (zlib's own few KB of state are not).
#pragma once

#include <cstddef>

namespace brastel::test {

class HeapPeak {
public:
    // Starts watching: the peak is measured from what is held now.
    HeapPeak();
    // The most the heap held at once since the start, above what it held
    // at the start.
    std::size_t bytes() const;

private:
    std::size_t base_;
};

}  // namespace brastel::test
