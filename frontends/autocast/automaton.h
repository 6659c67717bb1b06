// Translation of one automaton file into a block of the M-net: its states
// become places, its arcs transitions whose action, guard and variable
// access come from the parsed label, between an entry place that starts
// the initial states and an exit place that the final states reach.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "automaton_file.h"
#include "bpn2_idents.h"
#include "mnet_net.h"

namespace autocast {

// What the translation of the automata shares: the settings that shape the
// nets and the counter of translated automata.
struct AutomatonSettings {
    bool init_term = true;  // entry and exit places with transitions 1 and 2
    // Type of every place the automaton reader makes: {dot}, or the
    // identifiers lo..hi of -g<lo>..<hi>.
    mnet::ValueSet place_type{mnet::VAL_DOT};
    std::uint16_t automaton_counter = 0;
};

// The net of an automaton before its labels are translated: the places of
// its states and the transitions of its arcs in file order.
struct AutomatonNet {
    mnet::MNet* net = nullptr;
    mnet::MPlace* entry = nullptr;  // place 1 (with init/term places)
    mnet::MPlace* exit = nullptr;   // place 2
    mnet::MTransition* start = nullptr;   // transition 1
    mnet::MTransition* finish = nullptr;  // transition 2
    std::vector<mnet::MTransition*> arcs;  // one per arc, in file order
    std::vector<mnet::MPlace*> states;     // one per state, in file order
};

// Builds the places, transitions and arcs of the automaton; every
// transition holds its arc's label as text.
AutomatonNet build_automaton_net(const AutomatonText& text, const AutomatonSettings& settings);

// Removes transition 2 when no final state leads to it, and makes the
// automaton a block named by the file: its internal places and its
// transitions belong to it, and places 1 and 2 refer to it.
void make_automaton_block(AutomatonNet& a, const std::string& file_name, AutomatonSettings& settings);

// The whole translation of one automaton file: read, build, parse the
// declarations, translate every label, make the block, compose it with its
// declarations, read the annotations.  File errors throw a Failure with
// "could not open %s\n" or "error at line number %d in file %s\n".
// Labels are translated for the process (its reference parameters are
// qualified around each).
mnet::MNet* translate_automaton(const std::string& file_name, AutomatonSettings& settings, bpn2::IdentRec* process);

}  // namespace autocast
