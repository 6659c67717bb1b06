// How autocast ends a run on its own errors: every fatal condition of the
// program throws a Failure that carries the complete message and the exit
// status; the program's main prints the message and exits with the status.
// (The M-net library ends the program itself on its fatal diagnostics.)
#pragma once

#include <stdexcept>
#include <string>

namespace autocast {

enum ExitStatus : int {
    EXIT_OK = 0,
    EXIT_FAILURE_STATUS = 1,  // usage, input files, parse errors, fatal diagnostics
    EXIT_UNWRITABLE = 3,      // unwritable reference file (memory: the library)
};

class Failure : public std::runtime_error {
public:
    Failure(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// printf into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace autocast
