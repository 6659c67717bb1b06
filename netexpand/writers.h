// Writers of flatnet's outputs: the low-level net (PetriBox), the map from
// low-level to high-level nodes (References_HL_LL) and the front ends'
// references carried over to the low-level nodes.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>

#include "hlnet.h"
#include "llnet.h"

namespace flatnet {

// Option flags of the program; the writers read the last two.
enum OptionFlag : int {
    OPT_REMOVE_WEIGHTED = 1,  // "-": remove transitions with weighted arcs
    OPT_BLOCKS = 2,           // "-b": block information
    OPT_PHANTOMS = 4,         // "-p": phantom transitions
};

// Each writer creates its file, staged beside its name (outfile.h): the
// driver puts the outputs in place when the whole run has succeeded.  A file
// that cannot be created ends the run as a syntax error "Could not open file
// for writing" (exit status 10); so does a file that cannot be written or
// closed.
void write_ll_net(const LLNet& net, const HLNet& hl, const std::string& path, int flags);
void write_hl_ll_references(const LLNet& net, const std::string& path, int flags);
void write_x_LLref(const LLNet& net, const HLNet& hl, const std::string& path, int flags, int kind);

// A buffered output file.
class OutputFile {
public:
    explicit OutputFile(const std::string& path);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    OutputFile& put(std::string_view text);
    OutputFile& put(char c);
    OutputFile& number(std::int64_t n);
    // A text in double quotes, or in single quotes when it holds a double
    // quote (and no single one).
    OutputFile& quoted(std::string_view text);
    // Flushes and closes; a write or close error ends the run.
    void close();

private:
    void flush();

    std::FILE* file_;
    std::string path_;
    std::string buffer_;
    bool failed_ = false;
};

}  // namespace flatnet
