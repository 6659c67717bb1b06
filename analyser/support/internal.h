// Helpers private to the support library's modules.
#pragma once

#include <cstdint>

namespace support {

// An internal error: a newline on _out, the formatted message on _err (it
// starts with a newline), both flushed, then Abort().
[[noreturn]] void InternalError(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

// A failed system call: the same, with the errno line after the message.
[[noreturn]] void SystemError(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

// Little-endian 32-bit words of the binary files.
inline std::uint32_t GetWord(const unsigned char* p) {
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

}  // namespace support
