// The tulc program: command line, the order of the run, exit status.
#pragma once

namespace tulc {

// Makes a failed operator new end the run as a failed allocation of the
// support library does: a newline on the output, the message on the error
// stream, then Abort().
void InstallMemoryHandler();

// Runs the program on the command line; ends the process.
[[noreturn]] void TulcMain(int argc, char** argv);

}  // namespace tulc
