// The velcheck program: deadlock and reachability checks of a prefix through
// a logic program and the Veltra solver.
#pragma once

namespace velcheck {

// Runs the program on a command line; returns its exit code.
int run(int argc, char** argv);

}  // namespace velcheck
