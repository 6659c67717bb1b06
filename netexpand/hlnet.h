// The high-level net as flatnet reads it: places, transitions and phantom
// transitions in ascending number order with their texts, the arcs with
// their inscriptions, and per front end the texts of its reference file.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "values.h"

namespace flatnet {

// The front ends whose reference files flatnet carries over, in the order
// they are read and written.
enum FrontEnd : int { FE_BPN2 = 0, FE_PFA = 1, FE_SDL = 2, FE_IF = 3 };
constexpr int FRONT_ENDS = 4;

struct HLPlace;
struct HLTransition;

struct HLArc {
    HLPlace* place = nullptr;
    HLTransition* transition = nullptr;
    std::string text;         // the inscription as written (p)
    std::int32_t v = 0;
    Inscription inscription;  // parsed by the expansion
};

struct HLPlace {
    std::uint32_t number = 0;
    std::string name;
    std::int32_t x = 0, y = 0;
    int kind = 0;             // 0 internal, 1 entry, 2 exit
    std::int32_t v = 0;
    std::string label;        // b
    std::string reference;    // R
    std::string blocks;       // u
    std::optional<std::string> type_text, initial_text, current_text;  // Z, z, y
    std::array<std::optional<std::string>, FRONT_ENDS> front_end_reference;
    // Arcs from transitions and to transitions, each list by ascending
    // transition number; the same for phantom transitions.
    std::vector<HLArc*> in, out, phantom_in, phantom_out;

    // Filled by the expansion.
    PlaceType type;
    Marking initial, current;
    std::size_t first_low_level = 0;  // index of its first low-level place
    std::uint64_t instances = 0;      // number of its low-level places
};

struct HLTransition {
    std::uint32_t number = 0;
    std::string name;
    std::int32_t x = 0, y = 0;
    std::int32_t v = 0;
    std::string label, reference, blocks;  // b, R, u
    std::string guard = "tt";              // g
    std::string action;                    // i
    std::optional<std::string> sync;       // P: a phantom's partner list
    std::array<std::optional<std::string>, FRONT_ENDS> front_end_reference;
    // Input arcs (place -> transition) and output arcs, by place number.
    std::vector<HLArc*> in, out;

    // Filled by the expansion: the low-level instances are consecutive,
    // and for transitions the binding of each is kept for the phantoms:
    // the values of the arc variables (ascending code, all components) in
    // instance order, `binding_size` values per instance.
    std::size_t first_instance = 0;
    std::size_t instances = 0;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> arc_variables;  // (code, offset)
    std::size_t binding_size = 0;
    std::vector<Value> bindings;
    std::vector<HLTransition*> partners;  // phantoms: the resolved partner list
};

// The texts of one front end's high-level reference file.
struct FrontEndReferences {
    bool read = false;
    std::string def;     // the lines after DEF, each with its line break
    std::string blocks;  // the BL section's lines
};

struct HLNet {
    std::map<std::uint32_t, HLPlace> places;
    std::map<std::uint32_t, HLTransition> transitions;
    std::map<std::uint32_t, HLTransition> phantoms;
    std::deque<HLArc> arcs;                // owns the arcs; addresses stay put
    std::vector<std::string> block_lines;  // the BL section
    std::array<FrontEndReferences, FRONT_ENDS> front_ends;
};

// Ordered insertion by number.  The cursor is the node inserted last: a
// number above it is inserted right behind it, so ascending input costs
// constant time.  A number already present ends the run (exit status 1).
using PlaceCursor = std::map<std::uint32_t, HLPlace>::iterator;
using TransitionCursor = std::map<std::uint32_t, HLTransition>::iterator;
HLPlace& M_fast_insert_place(HLNet& net, std::uint32_t number, PlaceCursor& cursor);
HLTransition& M_fast_insert_transition(std::map<std::uint32_t, HLTransition>& list, std::uint32_t number,
                                       TransitionCursor& cursor);
// An arc from the transition to the place, and from the place to the
// transition, inserted into both nodes' lists in number order; `phantom`
// puts it into the place's phantom lists.
HLArc& fast_insert_TP_edge(HLNet& net, HLTransition& t, HLPlace& p, bool phantom);
HLArc& fast_insert_PT_edge(HLNet& net, HLPlace& p, HLTransition& t, bool phantom);

// Reads a high-level net file (VOS text, sections BL PL TR PTR TP PT PTP
// PPT).  Syntax errors end the run with exit status 10.
HLNet read_hl_net(const std::string& path);

// Reads a front end's high-level reference file (kind: a FrontEnd) and
// attaches its texts to the net's nodes.  Exit status 2 when the file
// cannot be opened, 10 for its syntax errors.
void read_x_HLref(HLNet& net, const std::string& path, int kind);

// "References_BPN2_HL", "References_PFA_HL", ... and the low-level twins.
const char* hl_reference_identifier(int kind);
const char* ll_reference_identifier(int kind);

}  // namespace flatnet
