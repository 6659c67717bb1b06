#include "diag.h"

#include <cstdarg>
#include <vector>

#include "alloc.h"
#include "ppio.h"

namespace tulc {

namespace {

// The current input position for the support library's diagnostics.
int InputPosition(const char** fileName, unsigned long* line) {
    if (!ppio_has_file()) return 0;
    *fileName = ppio_file_name().c_str();
    *line = ppio_line();
    return 1;
}

}  // namespace

void DiagInit() { errPositionHook = InputPosition; }

void ReportError(const std::string& message) { error(message.c_str()); }
void ReportFatal(const std::string& message) { Fatal(message.c_str()); }
void ReportWarning(const std::string& message) { Warning(message.c_str()); }

void ErrText(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), ErrStream());
    std::fflush(ErrStream());
}

void OutText(const std::string& text) {
    std::fwrite(text.data(), 1, text.size(), OutStream());
    std::fflush(OutStream());
}

bool ErrorsReported() { return exitStatus != 0; }
void MarkFailed() { exitStatus = 1; }

void ExitProgram(int status) { Exit(status); }

void InternalError(const std::string& message) {
    std::fputs("\n", OutStream());
    std::fflush(OutStream());
    ErrText(message);
    Abort();
}

std::FILE* ErrStream() { return _err ? _err : stderr; }
std::FILE* OutStream() { return _out ? _out : stdout; }

std::string Format(const char* format, ...) {
    std::va_list args;
    va_start(args, format);
    std::va_list copy;
    va_copy(copy, args);
    int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::vector<char> buf(static_cast<std::size_t>(n > 0 ? n : 0) + 1);
    std::vsnprintf(buf.data(), buf.size(), format, args);
    va_end(args);
    return std::string(buf.data(), static_cast<std::size_t>(n > 0 ? n : 0));
}

}  // namespace tulc
