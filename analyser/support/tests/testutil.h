// Helpers of the support library's tests: running a piece of code in a child
// process with the library streams captured.  Temporary directories and file
// helpers come from the project's test support (petri_test.h).
#pragma once

#include <functional>
#include <string>

namespace supporttest {

struct ChildRun {
    bool exited = false;  // ended by exit (else by a signal)
    int code = -1;        // exit status when exited
    int signal = 0;       // terminating signal otherwise
    std::string out;      // what went to _out
    std::string err;      // what went to _err
};

// Forks; the child points _out and _err at files, runs body and ends with
// status 0 when body returns.  The parent waits and collects both texts.
ChildRun RunChild(const std::function<void()>& body);

// The bytes as space-separated two-digit upper-case hexadecimal numbers.
std::string Hex(const unsigned char* bytes, std::size_t count);

}  // namespace supporttest
