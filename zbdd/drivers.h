// The three programs' command lines; each main calls one of these.  They
// return the exit status: errors of the library end the run with their
// message on the standard error stream and status 1.
#pragma once

#include <functional>

namespace zbdd {

// Runs a program body: a library error or exhausted memory prints its
// message and gives status 1, and so does output that could not be written.
int guardedMain(const std::function<int()>& body);

int cyrtalMain(int argc, char** argv);
int movraneMain(int argc, char** argv);
int pelwickMain(int argc, char** argv);

}  // namespace zbdd
