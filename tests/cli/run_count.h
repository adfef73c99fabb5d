// Runs the built quillon-count as a shell would, for the program tests.
#pragma once

#include "fixtures.h"

#include <sys/wait.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Outcome {
    int status = -1;
    std::string out;
    std::string err;
};

inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// Runs quillon-count (the built one, or `program`); `prefix` goes before it
// (a folder to start in, a command that changes the user).
inline Outcome Count(const std::vector<std::string>& args, const std::string& input = {}, const std::string& prefix = {},
                     const std::string& program = QUILLON_COUNT) {
    fixtures::TempDir io;
    fixtures::WriteFile(io / "in", input);
    std::string cmd = prefix + Quote(program);
    for (const auto& a : args) cmd += " " + Quote(a);
    cmd += " <" + Quote(io / "in") + " >" + Quote(io / "out") + " 2>" + Quote(io / "err");
    Outcome r;
    const int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = fixtures::ReadFile(io / "out");
    r.err = fixtures::ReadFile(io / "err");
    return r;
}

inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) out.push_back(line);
    return out;
}

inline std::string Size(const std::string& path) { return std::to_string(fixtures::ReadFile(path).size()); }

}  // namespace
