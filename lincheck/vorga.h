// The vorga program: command line, result output and exit status.
#pragma once

namespace vorga {

// Runs the program on the command line; returns the exit status.
int vorga_main(int argc, char** argv);

}  // namespace vorga
