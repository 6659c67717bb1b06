// The VOS low-level net format: reader and writers.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

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

// A file of the newer format (FORMAT_N) as its lines give it, identifiers
// resolved: the lists read_new_VOS builds its net record from, for a program
// that takes the net without a record.  Nodes and arcs stand in file order;
// a node's name is the one given or "PL<id>"/"TR<id>", a place's marking the
// one the reader options choose.
struct VosPlace {
    std::int32_t marking = 0;
    std::int32_t kind = 0;        // PetriBox: 1 entry, 2 exit
    std::uint32_t component = 0;
};
struct VosArc {
    std::uint32_t place = 0;       // position among the places
    std::uint32_t transition = 0;  // position among the transitions
    std::int32_t weight = 1;
    bool place_to_transition = false;
};
struct VosLists {
    std::string identifier;
    NameTable place_names, transition_names;
    std::vector<VosPlace> places;
    std::vector<VosArc> arcs;             // the TP section, then the PT section
    // Block mode (vos_options.allow_block_mode on a positional file): the
    // nodes keep file order instead of name order.
    bool file_order = false;
    bool has_extras = false;              // the extras were kept
    // Labels while collect_labels is set: (node position, label) in file order.
    std::vector<std::pair<std::uint32_t, std::string>> place_labels, transition_labels;
    // Kept extras (vos_options.keep_extras), one per node and arc; else empty.
    std::vector<std::unique_ptr<NodeExtras, NodeExtrasDeleter>> place_extras, transition_extras;
    std::vector<std::unique_ptr<ArcExtras, ArcExtrasDeleter>> arc_extras;
};

// Reads `path` as read_VOS does, with the same errors; a file of the newer
// format gives its lists, one of the older format (FORMAT_A) null: read_VOS
// reads it.
std::unique_ptr<VosLists> read_VOS_lists(const std::string& path);
// The net record of the lists, as read_new_VOS makes it; takes their
// names, labels and extras.
NET* net_from_lists(VosLists& lists);

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
