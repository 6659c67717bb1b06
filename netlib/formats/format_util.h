// Small helpers shared by the side-format readers (private to netlib).
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "net.h"
#include "scanner.h"

namespace netlib {
namespace fmt_detail {

// printf-style formatting into a string.
inline std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));
inline std::string format(const char* pattern, ...) {
    va_list args;
    va_start(args, pattern);
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, pattern, copy);
    va_end(copy);
    std::string out;
    if (n > 0) {
        out.resize(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(&out[0], out.size(), pattern, args);
        out.resize(static_cast<std::size_t>(n));
    }
    va_end(args);
    return out;
}

// Owns an open stream.
class InFile {
public:
    InFile(const std::string& path, const char* mode) : f_(std::fopen(path.c_str(), mode)) {}
    ~InFile() { if (f_) std::fclose(f_); }
    InFile(const InFile&) = delete;
    InFile& operator=(const InFile&) = delete;
    std::FILE* get() const { return f_; }
    explicit operator bool() const { return f_ != nullptr; }
    // Closes the stream; false when the close reported an error.
    bool close() {
        if (!f_) return true;
        int rc = std::fclose(f_);
        f_ = nullptr;
        return rc == 0;
    }
private:
    std::FILE* f_;
};

// Prints the message (which holds one %s for the path) and ends the program.
[[noreturn]] inline void open_failure(const char* message, const std::string& path, int code) {
    std::fprintf(stderr, message, path.c_str());
    std::fflush(stderr);
    std::exit(code);
}

// Look-ups that stay silent on a net whose list is still empty (the library
// warns when asked to search an empty list).
inline NET_NODE* lookup_place(NET* net, const std::string& name) {
    return net->places == 0 ? nullptr : find_P(net, name);
}
inline NET_NODE* lookup_transition(NET* net, const std::string& name) {
    return net->transitions == 0 ? nullptr : find_T(net, name);
}

// A number read by read_integer, checked against a range; text names the
// value in the syntax error.
inline std::int32_t checked_int(long value, long low, long high, const char* text) {
    if (value < low || value > high) syntax_error(text);
    return static_cast<std::int32_t>(value);
}

}  // namespace fmt_detail
}  // namespace netlib
