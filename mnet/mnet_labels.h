// Texts on net elements: action sets of transitions (a(x,y),^b), arc labels
// (x, (x,y), 1,dot), transition guards and place types, parsed into action
// multisets, inscriptions, guard tables and value sets.  Variables met on the
// way become communication variables of the transition.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "mnet_net.h"

namespace mnet {

// Slot of the named variable of the kind (COMVAR_NET, COMVAR_PROGRAM) in the
// list, appended when absent; a COMVAR_PRIVATE variable is always appended.
// A leading '~' sets flag 1, a leading '-' flag 2.
std::uint16_t add_comvar(const std::string& name, ComVars& vars, MTransition* t, std::uint16_t kind = COMVAR_NET);
// Slot of the first variable of that code and kind (COMVAR_NET or
// COMVAR_PROGRAM), or the size of the list when there is none.
std::size_t find_comvar(const ComVars& vars, std::uint16_t code, std::uint16_t kind);

// While not null, every parsed action set is also united into this multiset.
extern ActionSet* action_collector;

ActionSet parse_actionset(const std::string& text, MTransition* t);
std::uint16_t const_code(const std::string& text);
Inscription parse_arclabel(const std::string& text, MTransition* t);

// Start selectors of the guard/set parser.
enum : int { SEL_GUARD = 71, SEL_RANGE = 82, SEL_FOREACH = 70 };

// The guard of the transition (no conjuncts = true).  Variables become
// communication variables, declarations restrictions of the transition.
Guard parse_guard(const std::string& text, MTransition* t);
// Up to four value sets (a place type or a tuple type); an empty text reads
// as "{dot}".
void parse_sets(const std::string& text, std::vector<TypeComponent>& result, int selector);

// A variable leaf of the current transition's guard (65535 = no component).
std::uint16_t macro_leaf(const std::string& name, std::uint16_t component);

}  // namespace mnet
