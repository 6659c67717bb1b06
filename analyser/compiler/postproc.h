// Post-processing between reading the net description and writing code and
// tables: the tester checks of the transitions, the precedence classes of
// #prec with their closure, the #verify translation, and the C names of
// variables and tuple patterns.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "net.h"

namespace tulc {

// What the code generator gets: views of the net tables after
// post-processing.
struct NETDESC {
    const std::vector<std::unique_ptr<PLACE>>* places = nullptr;
    const std::vector<std::unique_ptr<TRANSITION>>* transitions = nullptr;
    // classNodes[k]: the node of class k, or null when no relation names it.
    const std::vector<std::unique_ptr<CLASSNODE>>* classNodes = nullptr;
    std::uint32_t classCount = 1;  // number of classes + 1 (class 0 is the default class)
    const PLACE* testerPlace = nullptr;
    const std::vector<Formula>* atoms = nullptr;  // #verify propositions, empty without #verify
};

// Records one relation of #prec: kind 0 for "<" and ">", 1 for "<<", 2 for ">>".
void PrecRelate(std::uint32_t lower, std::uint32_t higher, int kind);
// Derives the closure of "<<" and ">>" and the inhibitor and nothing flags.
void PrecClosure();

// Precedence kinds of the generated code.
enum ClassKind : std::uint32_t {
    kClIndependent = 0,
    kClMaximum = 1,
    kClMedium = 2,
    kClInhibitor = 3,
    kClNothing = 4,
};
// The kind of class k (1 .. classCount-1) by the first rule that applies:
// nothing flag, inhibitor flag, higher classes, lower classes, otherwise
// independent.
ClassKind KindOfClass(std::uint32_t k);

// The variable of the transition with that name, or null.
VARIABLE* FindVariable(const std::string& name, const TRANSITION& t);

// Checks how the transitions treat the tester place; refused transitions
// are removed from the list.
void TesterChecks();

// The whole step, called once after the last statement; returns the view
// for the code generator.  Ends the program (status 1) when a #verify
// formula is decided already (constant, or by the initial marking).
NETDESC PostProcess();

}  // namespace tulc
