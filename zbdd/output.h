// Output, error and timing helpers shared by cyrtal, movrane and pelwick.
//
// Fatal errors are thrown as `Fatal` carrying the finished message; each
// program's main writes it to the standard error stream and exits with
// status 1.  The library therefore never calls exit itself, and its errors
// can be tested without starting a process.
#pragma once

#include <stdexcept>
#include <string>

#include <cstdio>
#include <sys/times.h>

namespace zbdd {

class Fatal : public std::runtime_error {
public:
    explicit Fatal(const std::string& text) : std::runtime_error(text), text_(text) {}
    // The whole message; unlike what(), it keeps a NUL byte that a message
    // quotes (an illegal character of the input).
    const std::string& text() const { return text_; }

private:
    std::string text_;
};

// Throws Fatal with the formatted text.
[[noreturn]] void fatal(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Formats to the standard error stream.
void warning(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Formats to the message stream (standard output) and flushes it.
void message(const char* format, ...) __attribute__((format(printf, 1, 2)));
// Prints "DLEVEL %d: " and the message when level <= the debug level;
// flushes the message stream in any case.
void debugMessage(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));

void setDebugLevel(int level);
int debugLevel();
// Where message() and debugMessage() write; standard output by default.
// Tests point it elsewhere to keep progress output out of their logs.
void setMessageStream(std::FILE* stream);
std::FILE* messageStream();

// printf-style formatting into a string.
std::string format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// A snapshot of the process times.
struct TimeStamp {
    clock_t real = 0;
    clock_t user = 0;
    clock_t sys = 0;
};
TimeStamp takeTime();
// "real:%ld.%02ld sec, user:%ld.%02ld sec, sys:%ld.%02ld sec\n" of the
// interval between two snapshots.
std::string timeText(const TimeStamp& from, const TimeStamp& to);
// "%ld.%02ld sec" of the elapsed time between two snapshots (movrane).
std::string elapsedText(const TimeStamp& from, const TimeStamp& to);

}  // namespace zbdd
