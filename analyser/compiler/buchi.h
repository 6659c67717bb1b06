// Büchi automata of #verify formulas.
//
// An automaton is a list of states numbered 1, 2, ... in list order.  Each
// state carries a label: while one tableau is built, a bit vector over the
// closure of its formula (bit i: closure entry i holds); after relabelling,
// two bits per atomic proposition of the whole formula: bit 2(i-1) the
// required value of atom i and bit 2(i-1)+1 whether the state constrains
// atom i at all.  A word of markings is accepted along a run s1 s2 ... when
// the i-th marking satisfies the label of s_i and accepting states recur
// infinitely often.
//
// The construction: the automaton of a disjunction is the union of its
// operands' automata, that of a conjunction their product; any other formula
// (an until, an atom, their negations) gets a tableau over its closure
// combined with a promise automaton that makes every until eventually
// fulfilled.  Every step prunes the states that cannot lie on an accepting
// run.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "formula.h"

namespace tulc {

struct BUCHISTATE;

// An edge of the promise automaton: taken when the tableau state with this
// closure label is read.
struct BuchiEdge {
    std::uint32_t label;
    BUCHISTATE* target;
};

struct BUCHISTATE {
    enum Flags : std::uint32_t { kStart = 1, kAccepting = 2, kEdgeRecords = 4, kMark = 8 };
    std::uint32_t number = 0;
    std::uint32_t flags = 0;
    std::uint32_t label = 0;
    std::vector<BUCHISTATE*> succ;  // without kEdgeRecords
    std::vector<BuchiEdge> edges;   // with kEdgeRecords

    bool Start() const { return flags & kStart; }
    bool Accepting() const { return flags & kAccepting; }
    // The first word of the state record: number << 4 | flags.
    std::uint32_t Word0() const { return number << 4 | flags; }
};

using Automaton = std::vector<std::unique_ptr<BUCHISTATE>>;

// Limits of the data model: two label bits per atom, one per closure entry.
constexpr std::size_t kMaxAtoms = 16;
constexpr std::size_t kMaxClosure = 31;

struct BuchiContext {
    // The global atom list (the label order).
    const std::vector<const FORMULA*>* atoms = nullptr;
    // Called for every tableau with its formula, before the tableau is
    // built (numbers the sub-automata).
    std::function<void(const FORMULA* f)> noteSubAutomaton;
    // Set when a closure has more than kMaxClosure entries.
    bool beyondDataModel = false;
};

// The automaton of f (of not f when negated).
Automaton BuchiBuild(const FORMULA* f, bool negated, BuchiContext& ctx);

// Removes the states that lie on no accepting run from a start state and
// renumbers the others.
void BuchiPrune(Automaton& states);
// Closure labels to global labels.
void BuchiRelabel(Automaton& states, const Closure& closure, const std::vector<const FORMULA*>& atoms);
// Renumbers the states 1, 2, ... in list order.
void BuchiNumber(Automaton& states);

}  // namespace tulc
