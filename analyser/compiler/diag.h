// Diagnostics of the net compiler, on top of the support library's.
//
// ReportError prints "<file>: <line>: " (the current input position) and the
// message on the error stream and makes the exit status 1; ReportFatal does
// the same and ends the program with status 1; ReportWarning prints
// "Warning: " and the message.  A message that begins with '$' is followed
// by the system's error text (errors and fatal errors only).  Messages are
// printed as they are, never as printf formats.
#pragma once

#include <cstdio>
#include <string>

namespace tulc {

// Connects the support library's diagnostics to the input position.
void DiagInit();

void ReportError(const std::string& message);
[[noreturn]] void ReportFatal(const std::string& message);
void ReportWarning(const std::string& message);

// Raw text on the error stream (continuation lines of a report), flushed.
void ErrText(const std::string& text);
// Raw text on the output stream, flushed.
void OutText(const std::string& text);

// Whether an error was reported in this run (the exit status is then 1).
bool ErrorsReported();
// Marks the run as failed without a message of its own (a message was
// printed directly, as the parser's syntax errors are).
void MarkFailed();

// Ends the program with this status (buffers flushed).
[[noreturn]] void ExitProgram(int status);
// An internal error: "\n" on the output stream, the message on the error
// stream, then abort.
[[noreturn]] void InternalError(const std::string& message);

std::FILE* ErrStream();
std::FILE* OutStream();

// printf-like formatting into a string of any length.
std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace tulc
