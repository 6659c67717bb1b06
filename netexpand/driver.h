// The program flatnet: its command line, the names of its eleven files and
// the order of a run.
#pragma once

#include <array>
#include <string>

namespace flatnet {

// The files of a run, each named by the command line or derived from the
// high-level net's name (inputs) or the low-level net's (outputs).
enum FileRole : int {
    HL_NET, LL_NET,
    BPN2_HL, PFA_HL, SDL_HL, IF_HL,         // front ends' references (inputs)
    HL_LL,                                  // low-level to high-level map
    BPN2_LL, PFA_LL, SDL_LL, IF_LL,         // front ends' references (outputs)
    FILE_ROLES
};

struct Options {
    int flags = 0;  // OptionFlag bits
    std::array<std::string, FILE_ROLES> files;
};

// Scans the command line; `blocks` and `phantoms` tell whether
// FLATNET_BLOCKS and FLATNET_PHANTOM are set.  Usage errors and names too
// long for the files' 80-byte buffers throw a Failure (exit status 1).
Options parse_arguments(int argc, const char* const* argv, bool blocks, bool phantoms);

// The run: read, expand, remove weighted transitions (with "-"), number
// and write.  Failures are thrown.
void run(const Options& options);

// The whole program: prints a failure's message and returns its status.
int flatnet_main(int argc, const char* const* argv);

}  // namespace flatnet
