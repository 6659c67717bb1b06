// Output files that never destroy an input and never stay half-written.
//
// Two services shared by every program that writes files:
//
// - same_file()/names_input(): does an output name one of the inputs?  Two
//   names reach the same file when they are the same text after lexical
//   normalisation, or when both exist and have the same device and inode
//   (so "./x", "dir/../x", a symbolic link and a hard link all count).
//
// - Staged outputs: open() and open_fd() create a temporary file in the
//   output's own directory and return a stream or descriptor on it; commit()
//   renames every staged file onto its name, discard() removes them.  A
//   process that ends without commit() (exit() after an error, a return from
//   main) removes its staged files at exit, so a failed run leaves the
//   earlier files untouched and creates none.
//
// An output that names an existing file that is not a regular file (a
// device such as /dev/null, a FIFO) is opened directly: renaming onto it
// would replace the device.  An output whose directory admits no new file
// while the file itself exists and is writable is opened directly too.
// A symbolic link as output stays a link: its target is replaced.  A file
// that is replaced keeps its permission bits; a new one gets 0666 less the
// umask, as a file created by fopen() would.
//
// Single-threaded use; the staged files are process-wide.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace outfile {

// True when both names reach the same file (see above).
bool same_file(const std::string& a, const std::string& b);

// The first of the inputs that the output names; nullptr when none.
const std::string* names_input(const std::string& output, const std::vector<std::string>& inputs);

// A stream on a staged file for `path`.  Modes as for fopen(): "w", "wb",
// "w+", "a", "ab", "a+" (an append mode first copies the present file into
// the staged one).  Null with errno set when no file can be created; an
// existing directory fails with EISDIR, an existing file that may not be
// written with EACCES.
std::FILE* open(const std::string& path, const char* mode = "w");

// A descriptor on a staged file for `path` (opened for reading and writing,
// empty); -1 with errno set on failure.
int open_fd(const std::string& path);

// The name under which the output for `path` is being written now (the
// staged file, or `path` itself when it is not staged), for programs that
// read back what they wrote.
std::string staged_name(const std::string& path);

// Renames every staged file onto its name in the order they were opened.
// On a failure the remaining staged files are removed, `failed` (when given)
// receives the name that could not be replaced, errno tells why, and the
// result is false.  Streams and descriptors should be closed first.
bool commit(std::string* failed = nullptr);

// Removes every staged file; the outputs keep what they held.
void discard();

}  // namespace outfile
