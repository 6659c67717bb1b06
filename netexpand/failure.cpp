#include "failure.h"

#include <cstdarg>
#include <cstdio>

#include "mnet_base.h"

namespace flatnet {

std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, fmt, args);
    va_end(args);
    std::string out(n > 0 ? static_cast<std::size_t>(n) : 0, '\0');
    if (n > 0) std::vsnprintf(out.data(), out.size() + 1, fmt, again);
    va_end(again);
    return out;
}

void fatal(const std::string& message) { throw Failure(EXIT_FATAL, "Error: " + message + "\n"); }

void syntax_failure(const std::string& message) {
    throw Failure(EXIT_SYNTAX, format("ERROR: syntax error in file '%s', line %d: %s.\n", mnet::scan.file.c_str(),
                                      mnet::scan.line, message.c_str()));
}

}  // namespace flatnet
