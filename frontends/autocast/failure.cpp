#include "failure.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace autocast {

std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    std::vector<char> buffer(n > 0 ? static_cast<std::size_t>(n) + 1 : 1);
    std::vsnprintf(buffer.data(), buffer.size(), fmt, args);
    va_end(args);
    return std::string(buffer.data(), n > 0 ? static_cast<std::size_t>(n) : 0);
}

}  // namespace autocast
