// How flatnet's library ends a run: every fatal condition throws a Failure
// that carries the complete message and the exit status; the program's main
// prints the message and exits with the status.  Keeping the exit in one
// place lets the tests check messages without starting processes.
#pragma once

#include <stdexcept>
#include <string>

namespace flatnet {

// Exit statuses of the program.
enum ExitStatus : int {
    EXIT_OK = 0,
    EXIT_FATAL = 1,        // usage, expansion errors, duplicate node numbers
    EXIT_REFERENCE = 2,    // a reference file that cannot be read
    EXIT_MEMORY = 3,       // memory exhausted (ended by the allocation routines)
    EXIT_SYNTAX = 10,      // syntax errors, unopenable inputs and outputs
};

class Failure : public std::runtime_error {
public:
    Failure(int status, const std::string& message) : std::runtime_error(message), status_(status) {}
    int status() const { return status_; }

private:
    int status_;
};

// "Error: <message>\n", exit status 1.
[[noreturn]] void fatal(const std::string& message);
// "ERROR: syntax error in file '%s', line %d: %s.\n" with the file and line
// of the scanner state of the section reader, exit status 10.
[[noreturn]] void syntax_failure(const std::string& message);

// printf into a std::string.
std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

}  // namespace flatnet
