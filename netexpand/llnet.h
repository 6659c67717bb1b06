// The low-level net that the expansion makes.  Its nodes keep what they
// came from instead of copies of the high-level texts: a low-level place is
// its high-level place and the index of its value tuple, from which the
// writers derive the label, the position and the reference texts.  That
// keeps a place at a few words however large the type is.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "hlnet.h"

namespace flatnet {

struct LLPlace {
    const HLPlace* hl = nullptr;
    std::uint64_t tuple = 0;  // index of the value tuple in the type's enumeration
    std::uint32_t initial = 0, current = 0;
};

struct LLArc {
    std::uint32_t place = 0;  // index into LLNet::places
    std::uint32_t weight = 0;
    std::int32_t v = 0;
};

// A transition or phantom instance: its arcs are arcs[first_arc ..
// first_arc + inputs) (input arcs) followed by `outputs` output arcs, in
// the transition or phantom arc list of the net, sorted by place.
struct LLTransition {
    const HLTransition* hl = nullptr;
    std::uint32_t ordinal = 0;  // instances of `hl` made before this one
    std::size_t first_arc = 0;
    std::uint32_t inputs = 0, outputs = 0;
    bool deleted = false;
    std::uint32_t number = 0;  // after renumbering; 0 when not written
};

// Partner lists in one array: the partners of node i are
// items[begin[i] .. begin[i+1]).
struct PartnerLists {
    std::vector<std::size_t> begin;
    std::vector<std::uint32_t> items;

    std::size_t count(std::size_t i) const { return begin.empty() ? 0 : begin[i + 1] - begin[i]; }
};

struct LLNet {
    std::vector<LLPlace> places;
    std::vector<LLTransition> transitions, phantoms;
    std::vector<LLArc> arcs, phantom_arcs;
    // Synchronisation pairs (transition index, phantom index) in the order
    // they were made; renumbering turns them into the two partner lists.
    std::vector<std::pair<std::uint32_t, std::uint32_t>> sync;
    PartnerLists transition_partners, phantom_partners;
};

// What the writers show of a low-level place.
struct PlaceView {
    std::string values;   // "v" or "(v1,v2,...)"
    std::int64_t x = 0, y = 0;
};
PlaceView view_of(const LLPlace& p);
// The label: the high-level label, with "=" and the values when the
// high-level place has several instances.
std::string label_of(const LLPlace& p, const PlaceView& view);

}  // namespace flatnet
