// The VOS low-level net format: reader and writers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "net.h"

namespace netlib {

// Optional fields a reader keeps per node when asked, for write_VOS.
struct NodeExtras {
    std::int32_t x = 0, y = 0;   // coordinates
    std::string action;          // transitions: action label
    std::string label;
    std::string guard;           // transitions
    std::string reference;
    std::string type;            // places: high-level type
    std::string hl_initial;      // places: high-level initial marking
    std::string hl_current;      // places: high-level current marking
    std::int32_t current = 0;    // places: current marking
    std::string text;
};

struct ArcExtras {
    std::string inscription;
    std::uint32_t v = 0;
};

// Reader settings: set by a program before it reads.
struct VosOptions {
    bool keep_extras = false;          // keep optional fields (write_VOS needs them)
    // trelmik -B: nodes of a file whose place and transition identifiers are
    // all positional are allocated as blocks in file order; a file that is
    // not positional switches it off for the rest of the run.
    bool allow_block_mode = false;
    bool use_current_marking = false;  // start from the 'm' marking
};
extern VosOptions vos_options;

// Reads a net file; exits 4 when it cannot be opened, 10 on a syntax error.
NET* read_VOS(const std::string& path);
NET* read_new_VOS(const std::string& path);

// Reads the blocks of a net in the old tagged format from a stream that
// stands right after the header word "FORMAT_A"; `identifier` is the file
// identifier read before it.  The caller closes the stream.
NET* read_FORMAT_A(std::FILE* f, const std::string& identifier);

// The writers renumber the net's lists 1, 2, ... and end the program with
// exit code 10 when the file cannot be opened or written.  The file is
// staged beside its name until the program commits its outputs
// (outfile::commit), so a run that fails later leaves the earlier file.  write_VOS writes
// the kept extras and needs them (net->has_extras); write_VOS_PlainNet writes
// names, markings, arcs (weights above 1) and, when asked, components.
void write_VOS(NET* net, const std::string& path);
void write_VOS_PlainNet(NET* net, const std::string& path, bool with_components);

// A node name as the readers join it back: runs that hold at most one of the
// two quote characters, each quoted with the other one.
std::string quoted_name(const std::string& name);

}  // namespace netlib
