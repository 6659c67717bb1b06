// Temporal formulas of #verify.
//
// A formula record has three kinds: 0 "left until right", 1 "left implies
// right", 2 an atomic proposition (true in a marking where its integer
// expression is not 0).  An absent formula (null) is the constant false; an
// implication with an absent left operand is true; an implication with an
// absent right operand is the negation of its left operand.  The formula
// operators of the language map onto these when the parser builds them:
//
//   not a        {1, a, -}             a until b     {0, a, b}
//   a implies b  {1, a, b}             eventually a  {0, true, a}
//   a or b       {1, not a, b}         henceforth a  not {0, true, not a}
//   a and b      not {1, a, not b}     a unless b    {1, {0,true,not a}, {0,a,b}}
//
// ForMake simplifies every record it builds (the rules are in formula.cpp);
// the closure, tableau and automata of the Büchi construction work on the
// simplified formula.  Formulas are at most a few thousand records deep (the
// parser refuses deeper ones), so the functions here recurse on them.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "exprtree.h"

namespace tulc {

struct FORMULA;
using Formula = std::unique_ptr<FORMULA>;

struct FORMULA {
    enum Kind : std::uint32_t { kUntil = 0, kImplies = 1, kAtom = 2 };
    std::uint32_t kind = kImplies;
    Formula left, right;  // kUntil, kImplies
    IntTree atom;         // kAtom
};

Formula ForCons(std::uint32_t kind, Formula left, Formula right);
Formula ForAtomCons(IntTree expression);
// Builds and simplifies; returns null (the operands discarded) while a parse
// error is pending.
Formula ForMake(std::uint32_t kind, Formula left, Formula right);
Formula ForMakeAtom(IntTree expression);
Formula ForCopy(const FORMULA* f);

// The constant true {1, -, -}, and not f.
Formula ForTrue();
Formula ForNot(Formula f);  // ForMake(1, f, null)
bool IsTrue(const FORMULA* f);
bool IsNegation(const FORMULA* f);  // {1, g, -} with g present

// Structural equality (operands of disjunctions and conjunctions in any
// order).
bool ForEqual(const FORMULA* f, const FORMULA* g);

// Whether a constant atom becomes true or false (set while the #verify
// formula is parsed, cleared for the expressions of other statements).
bool& ForFoldAtoms();
// Whether ForMake applies its rules; the tests switch them off to compare
// the rewritten formula with the plain one.
bool& ForSimplifyRules();

// The closure of a formula: its until entries in the order found, then its
// atoms, then its implications.  Atoms are the records of the global atom
// list (found by structural equality).  With atoms == nullptr the atoms of f
// are collected into closure instead (each new one at the front), which
// builds the global atom list.
struct Closure {
    std::vector<const FORMULA*> entries;
    std::uint32_t untils = 0;  // the first entries
    std::uint32_t atoms = 0;   // then these
};
void ForClosure(const FORMULA* f, Closure& closure, const std::vector<const FORMULA*>* atoms);
void ForAtoms(const FORMULA* f, std::vector<const FORMULA*>& atoms);

// Truth of f in a tableau state whose label has bit i for closure entry i.
bool ForOn(const FORMULA* f, std::uint32_t label, const Closure& closure);

}  // namespace tulc
