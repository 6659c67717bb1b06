#include "output.h"

#include <cstdarg>
#include <vector>

#include <unistd.h>

namespace zbdd {

namespace {

int gDebugLevel = 0;
std::FILE* gMessageStream = nullptr;

std::string vformat(const char* fmt, va_list args) {
    va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, fmt, copy);
    va_end(copy);
    if (n <= 0) return std::string();
    std::vector<char> buf(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), fmt, args);
    return std::string(buf.data(), static_cast<std::size_t>(n));
}

// Whole seconds and hundredths of a tick difference.
void splitTicks(clock_t ticks, long& sec, long& hundredths) {
    long rate = sysconf(_SC_CLK_TCK);
    if (rate <= 0) rate = 100;
    long t = static_cast<long>(ticks);
    sec = t / rate;
    hundredths = (t % rate) * 100 / rate;
}

}  // namespace

void setDebugLevel(int level) { gDebugLevel = level; }
int debugLevel() { return gDebugLevel; }
void setMessageStream(std::FILE* stream) { gMessageStream = stream; }
std::FILE* messageStream() { return gMessageStream ? gMessageStream : stdout; }

std::string format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string s = vformat(fmt, args);
    va_end(args);
    return s;
}

void fatal(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::string s = vformat(fmt, args);
    va_end(args);
    throw Fatal(s);
}

void warning(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    std::vfprintf(stderr, fmt, args);
    va_end(args);
}

void message(const char* fmt, ...) {
    std::FILE* out = messageStream();
    va_list args;
    va_start(args, fmt);
    std::vfprintf(out, fmt, args);
    va_end(args);
    std::fflush(out);
}

void debugMessage(int level, const char* fmt, ...) {
    std::FILE* out = messageStream();
    if (level <= gDebugLevel) {
        std::fprintf(out, "DLEVEL %d: ", level);
        va_list args;
        va_start(args, fmt);
        std::vfprintf(out, fmt, args);
        va_end(args);
    }
    std::fflush(out);
}

TimeStamp takeTime() {
    struct tms t;
    TimeStamp s;
    s.real = times(&t);
    s.user = t.tms_utime;
    s.sys = t.tms_stime;
    return s;
}

std::string timeText(const TimeStamp& from, const TimeStamp& to) {
    long rs, rh, us, uh, ss, sh;
    splitTicks(to.real - from.real, rs, rh);
    splitTicks(to.user - from.user, us, uh);
    splitTicks(to.sys - from.sys, ss, sh);
    return format("real:%ld.%02ld sec, user:%ld.%02ld sec, sys:%ld.%02ld sec\n", rs, rh, us, uh, ss, sh);
}

std::string elapsedText(const TimeStamp& from, const TimeStamp& to) {
    long s, h;
    splitTicks(to.real - from.real, s, h);
    return format("%ld.%02ld sec", s, h);
}

}  // namespace zbdd
