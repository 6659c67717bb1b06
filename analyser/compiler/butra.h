// Translation of the #verify formula into the tester: a place t_e_s_t_e_r
// holding the automaton state, a pair of tester-state variables and two
// tester arcs on every transition, the transitions i_n_i_t_i_a_l_i_z_e and
// d_u_m_m_y, and the accepting states as tester values with the condition
// "infinite".
#pragma once

#include <cstdio>
#include <vector>

#include "buchi.h"
#include "formula.h"

namespace tulc {

enum class VerifyOutcome {
    kAutomaton,       // the tester is built
    kFalse,           // equivalent to 0
    kTrue,            // equivalent to 1 (or the negation has no accepting run)
    kTrueInitially,   // no accepting run starts in the initial marking
    kParseError,
    kBeyondDataModel,
};

// Parses and translates the collected #verify text (Net().verifyText) into
// Net().verifyAtoms and Net().buchi.  Writes the never claim when
// Net().settings.neverClaimFile is set.  The tester place and transitions
// are added only for kAutomaton.
VerifyOutcome Translate();

// The whole translation of the post-processing step: Translate, then the
// messages and the exit for the outcomes that decide the formula.
void BuTra();

// Writes the never claim of the automaton; false (after an error) when an
// atom is not of the form "place is not empty".
bool BuchiExt(std::FILE* out, const Automaton& states, const std::vector<Formula>& atoms);
bool NeverClaimPossible(const std::vector<Formula>& atoms);

}  // namespace tulc
