// Where the Python module finds the page-counter libraries.
#pragma once

#include <string>

namespace pyquillon {

// The folder of the counter libraries, found relative to the module's own
// file: the program's library folder of an install, else the build's bin/.
// Empty when the module's own place cannot be told.
std::string CounterFolder();

}  // namespace pyquillon
