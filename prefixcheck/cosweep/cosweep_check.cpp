#include "cosweep_check.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

extern "C" char* program_invocation_short_name;   // glibc

namespace cosweep {

void check_failed(const char* text, const char* file, unsigned line, const char* function) {
    const char* base = std::strrchr(file, '/');
    std::fflush(stdout);
    std::fprintf(stderr, "%s: %s:%u: %s: Assertion `%s' failed.\n", program_invocation_short_name,
                 base ? base + 1 : file, line, function, text);
    std::fflush(stderr);
    std::abort();
}

}  // namespace cosweep
