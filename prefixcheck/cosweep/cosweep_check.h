// Argument checks of cosweep's utility classes.  A failed check ends the
// program as a failed assertion does, also in builds without assertions:
// "<program>: <file>:<line>: <function>: Assertion `<text>' failed." on the
// error stream, then abort().
#pragma once

namespace cosweep {

[[noreturn]] void check_failed(const char* text, const char* file, unsigned line, const char* function);

}  // namespace cosweep

#define COSWEEP_CHECK(cond, text) \
    ((cond) ? static_cast<void>(0) : ::cosweep::check_failed(text, __FILE__, __LINE__, __func__))
