// The temporary copy of every B(PN)2 fragment autocast parses, in parse
// order, so that the reference file can quote the source text of each
// construct.  The file is made by mkstemp in $TMPDIR (else /tmp) and is
// removed at the end of the run, also when the program ends early through
// exit().
#pragma once

#include <cstdio>
#include <string>

namespace autocast {

class SourceCopy {
public:
    SourceCopy() = default;
    ~SourceCopy() { remove(); }
    SourceCopy(const SourceCopy&) = delete;
    SourceCopy& operator=(const SourceCopy&) = delete;

    // Creates and opens the file; failure throws a Failure (status 1).
    void create();
    // Appends characters (nothing while the file is not open).
    void append(const char* data, std::size_t n);
    // Closes the file; a failed write throws a Failure (status 1).
    void close();
    // Closes and unlinks the file.
    void remove();
    const std::string& path() const { return path_; }

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    bool failed_ = false;
};

// The copy of the run; it lives until the process ends.
SourceCopy& source_copy();

}  // namespace autocast
