// The cosweep program: decides, for a 1-safe net and a file of markings (one
// set of places per line), whether one of the markings is reachable, using
// the prefix of the net extended by complement places that trelmik computes.
#pragma once

#include <string>

namespace cosweep {

// Runs the program on its command line; returns the exit code.
int run(int argc, char** argv);

// "'a'\''b'": a word the shell passes through unchanged.
std::string shell_quote(const std::string& s);

}  // namespace cosweep
