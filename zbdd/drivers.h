// The three programs' command lines; each main calls one of these.  They
// return the exit status: errors of the library end the run with their
// message on the standard error stream and status 1.
#pragma once

namespace zbdd {

int cyrtalMain(int argc, char** argv);
int movraneMain(int argc, char** argv);
int pelwickMain(int argc, char** argv);

}  // namespace zbdd
