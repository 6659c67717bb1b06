// Streams, exits, errno, allocation, text helpers and compiler diagnostics.
#include "alloc.h"

#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "internal.h"

FILE* _err = stderr;
FILE* _out = stdout;
FILE* _in = stdin;

ERRPOSHOOK errPositionHook = nullptr;
int exitStatus = 0;

namespace {

// Set once the first diagnostic of the run has opened with an empty line.
bool firstMessageDone = false;

// The fatal sequence: a newline on _out, so that the message starts on a
// fresh line even after partial output, the message (and the errno line) on
// _err, both flushed, then Abort().
[[noreturn]] void Fail(bool errnoLine, const char* format, va_list args) {
    int savedErrno = errno;
    std::fputs("\n", _out);
    std::fflush(_out);
    std::vfprintf(_err, format, args);
    std::fflush(_err);
    if (errnoLine) {
        errno = savedErrno;
        ErrnoOutput(_err);
    }
    Abort();
}

// The common output of Fatal and error: position, message, errno text.
void Report(const char* message) {
    int savedErrno = errno;
    std::fflush(_out);
    std::fflush(_err);
    ErrPosition();
    if (message == nullptr)
        message = "";
    if (message[0] == '$') {
        std::fputs(message + 1, _err);
        std::fputc('\n', _err);
        errno = savedErrno;
        ErrnoOutput(_err);
    } else {
        std::fputs(message, _err);
        std::fputc('\n', _err);
        std::fflush(_err);
    }
}

}  // namespace

namespace support {

void InternalError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Fail(false, format, args);
}

void SystemError(const char* format, ...) {
    va_list args;
    va_start(args, format);
    Fail(true, format, args);
}

}  // namespace support

extern "C" {

void IoInit(void) {
    _in = stdin;
    _out = stdout;
    ErrInit();
}

void ErrInit(void) { _err = stderr; }

void Abort(void) { std::abort(); }

void Exit(int status) { std::exit(status); }

void ClearErrno(void) { errno = 0; }

int Errno(void) { return errno; }

int FileNotFoundErrno(void) { return errno == ENOENT; }

void ErrnoOutput(FILE* stream) {
    int value = errno;
    std::fprintf(stream, "Errno %d: %s\n", value, std::strerror(value));
    std::fflush(stream);
}

void* Etacolla(size_t size) {
    if (size == 0)
        return nullptr;
    void* block = std::malloc(size);
    if (block == nullptr)
        support::InternalError("\nmalloc(%zu) failed\n", size);
    return block;
}

void* YarraColla(size_t count, size_t size) {
    if (count == 0 || size == 0)
        return nullptr;
    void* block = std::calloc(count, size);
    if (block == nullptr)
        support::InternalError("\ncalloc(%zu, %zu) failed\n", count, size);
    return block;
}

void* Reallocate(void* pointer, size_t size) {
    if (size == 0) {
        Deallocate(pointer);
        return nullptr;
    }
    void* block = std::realloc(pointer, size);
    if (block == nullptr)
        support::InternalError("\nrealloc(0x%lx, %zu) failed\n",
                     static_cast<unsigned long>(reinterpret_cast<std::uintptr_t>(pointer)), size);
    return block;
}

void Deallocate(void* pointer) { std::free(pointer); }

void* Pvoid(void* pointer) { return pointer; }

char* FileName(const char* base, const char* extension) {
    size_t baseLen = std::strlen(base);
    size_t extLen = std::strlen(extension);
    char* name = static_cast<char*>(Etacolla(baseLen + extLen + 2));
    std::memcpy(name, base, baseLen);
    name[baseLen] = '.';
    std::memcpy(name + baseLen + 1, extension, extLen + 1);
    return name;
}

int ReadLong(const char* text, long* value) { return std::sscanf(text, "%ld", value); }

int BruteReadln(char** buffer, unsigned* size, FILE* file) {
    unsigned count = 0;
    // Makes room for one more byte: the growth rule of the callers' buffers.
    auto room = [&] {
        if (count != *size)
            return;
        unsigned grown = count + *size / 2 + 1;
        if (grown <= count)
            support::InternalError("\nBruteReadln: line longer than %u bytes\n", count);
        *size = grown;
        *buffer = static_cast<char*>(Reallocate(*buffer, grown));
    };
    int result;
    for (;;) {
        room();
        int c = std::getc(file);
        if (c == EOF) {
            if (count == 0) {
                (*buffer)[0] = '\0';
                return 0;
            }
            (*buffer)[count++] = '\n';
            result = 0;
            break;
        }
        (*buffer)[count++] = static_cast<char>(c);
        if (c == '\n') {
            result = 1;
            break;
        }
    }
    room();
    (*buffer)[count] = '\0';
    return result;
}

void ErrPosition(void) {
    if (!firstMessageDone) {
        std::fputs("\n", _err);
        firstMessageDone = true;
    }
    const char* name = nullptr;
    unsigned long line = 0;
    if (errPositionHook != nullptr && errPositionHook(&name, &line))
        std::fprintf(_err, "%s: %lu: ", name != nullptr ? name : "<standard input>", line);
}

void Fatal(const char* message) {
    Report(message);
    Exit(1);
}

void error(const char* message) {
    exitStatus = 1;
    Report(message);
}

void Warning(const char* message) {
    std::fflush(_out);
    std::fflush(_err);
    ErrPosition();
    std::fputs("Warning: ", _err);
    std::fputs(message != nullptr ? message : "", _err);
    std::fputc('\n', _err);
    std::fflush(_err);
}

}  // extern "C"
