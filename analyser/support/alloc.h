/* The lowest layer of the analyser support library: the library streams,
 * allocation that never returns a null pointer for a non-zero request,
 * process exits, errno access, two text helpers and the diagnostics of the
 * net compiler. */
#ifndef ALLOC_H
#define ALLOC_H

#include <stddef.h>
#include <stdio.h>

#include "absolute.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The library streams: standard error, output and input at start. */
extern FILE *_err;
extern FILE *_out;
extern FILE *_in;

/* _in, _out := standard input and output, then ErrInit(). */
void IoInit(void);
/* _err := standard error. */
void ErrInit(void);
/* Ends the process through abort(): no exit handlers, no flushing. */
void Abort(void) ANA_NORETURN;
/* Ends the process through exit(status). */
void Exit(int status) ANA_NORETURN;

void ClearErrno(void);
int Errno(void);
/* Non-zero exactly when errno is ENOENT. */
int FileNotFoundErrno(void);
/* "Errno %d: %s\n" with errno and its text, then flushes the stream. */
void ErrnoOutput(FILE *stream);

/* Allocation.  A zero size gives a null pointer; failure ends the process
 * with a message ("\nmalloc(%u) failed\n" and the like) after a newline on
 * _out, so callers never test the result. */
void *Etacolla(size_t size);
/* Zero-filled; null when either argument is 0. */
void *YarraColla(size_t count, size_t size);
/* A zero size frees the block and gives a null pointer. */
void *Reallocate(void *pointer, size_t size);
/* A null pointer is ignored. */
void Deallocate(void *pointer);
/* The identity: every container passes each stored element through it. */
void *Pvoid(void *pointer);

/* A new string "base.extension" of exactly the bytes it needs. */
char *FileName(const char *base, const char *extension);
/* sscanf(text, "%ld", value): the number of conversions. */
int ReadLong(const char *text, long *value);
/* Reads one line of any length into *buffer, growing it (and *size) as
 * needed: *size := count + *size / 2 + 1 whenever it is full.  The buffer
 * then holds the line with its newline (a last line without one gets one)
 * and a NUL.  Returns 1 when the line ended in a newline, 0 at the end of
 * the file (also for a last line without a newline).  A null buffer of size
 * 0 is a valid start. */
int BruteReadln(char **buffer, unsigned *size, FILE *file);

/* Diagnostics of the net compiler.  Each prints its message verbatim.
 * Before the first diagnostic of the run one empty line is written; the
 * position "%s: %lu: " (file name, line) follows when the compiler has a
 * current input, which it reports through errPositionHook. */
typedef int (*ERRPOSHOOK)(const char **fileName, unsigned long *line);
/* Fills the current input's name (null for standard input, printed as
 * "<standard input>") and line, and returns 1; returns 0 without input.
 * Null (the default) means no input. */
extern ERRPOSHOOK errPositionHook;
/* The net compiler's exit status: 0 at start, set to 1 by error(). */
extern int exitStatus;

void ErrPosition(void);
/* Prints the position and the message, then exits with status 1.  A message
 * starting with '$' is printed without it and followed by the errno line. */
void Fatal(const char *message) ANA_NORETURN;
/* As Fatal, but sets exitStatus to 1 and returns. */
void error(const char *message);
/* The position, "Warning: " and the message; returns. */
void Warning(const char *message);

#ifdef __cplusplus
}
#endif

#endif
