// The tulc program: command line, the order of the run, exit status.
#pragma once

namespace tulc {

// Runs the program on the command line; ends the process.
[[noreturn]] void TulcMain(int argc, char** argv);

}  // namespace tulc
