// The program autocast: the order of a run, from the command line to the
// net and reference files.
#pragma once

#include "options.h"

namespace autocast {

// One run.  Failures of autocast itself are thrown (Failure); the library
// ends the program itself on its fatal diagnostics.
void run(const Settings& settings);

// The whole program: prints a failure's message and returns its status.
int autocast_main(int argc, const char* const* argv);

}  // namespace autocast
