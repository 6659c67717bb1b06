// Pieces that the expansion of transitions and of phantoms share.
#pragma once

#include <cstdint>
#include <vector>

#include "hlnet.h"
#include "llnet.h"

namespace flatnet {

// A variable where it occurs in an inscription: a single variable stands
// for every component of the place, a member of a tuple for one.
struct Occurrence {
    std::uint32_t code;
    std::uint32_t component;  // first place component it stands for
    std::uint32_t dimension;
};
std::vector<Occurrence> occurrences(const Inscription& ins, std::size_t place_dimension);

// Radix of each component of a place type: the product of the sizes of the
// later components (the last component has radix 1).
std::vector<std::uint64_t> radices(const PlaceType& type);

// Appends the arcs to the net's list, sorted by place, arcs to the same
// place merged with their weights added; returns how many were appended.
std::uint32_t append_arcs(std::vector<LLArc>& scratch, std::vector<LLArc>& out, std::uint32_t transition_number);

// Ends the run when another low-level node would not get a 32-bit number.
void check_node_count(std::size_t count, const char* what);

// The phantoms' variables matched with their partners': for a phantom,
// its variables (ascending code, with their dimensions) and, per partner
// of its resolved list, the partner's variable that each one stands for.
struct PhantomMatching {
    HLTransition* phantom = nullptr;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> variables;  // (code, dimension)
    std::vector<std::vector<std::uint32_t>> partner_codes;           // per partner, per variable
};

// Resolves every phantom's partner list and matches its variables (fatal
// errors and the ambiguity warning as they arise).
std::vector<PhantomMatching> match_phantoms(HLNet& net);
// Makes the low-level phantoms after the transitions' instances.
void expand_phantoms(const std::vector<PhantomMatching>& matchings, LLNet& ll);

}  // namespace flatnet
