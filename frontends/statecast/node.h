// IF expressions: the typed nodes the parser builds, the evaluation of
// constant expressions, and their translation into guard terms of one
// transition together with the variable access actions.
//
// Expression trees can be as deep as the parse stack allows; every walk
// here keeps its own stack.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "mnet_net.h"
#include "tree.h"

namespace statecast {

// A node with the type checks of the grammar: "type mismatch in expression"
// (counted) when the operand types differ or the left operand is not of the
// expected type (ET_ANY accepts every type); the node's type is the left
// operand's for result ET_ANY, else the result type.
Expr* new_expression(Program& program, std::uint8_t kind, Expr* left, Expr* right, std::uint8_t expected,
                     std::uint8_t result);
Expr* new_literal(Program& program, std::int32_t value);
Expr* new_variable(Program& program, Ident* variable);

// The value of a constant expression, computed in 32 bits.  A numeric
// result outside -10000..32763 and a division by zero are counted errors
// (the result is then 0).
std::int32_t eval_constant(const Expr* e);
// 0 or 1 for a boolean value; anything else is fatal.
int eval_boolean(std::int32_t value);

// The system whose declarations kinds 20 and 21 look pids up in, and the
// record of "self" (translated as the instance variable "id").
void set_expression_system(const SystemObj* system);
void set_self_ident(const Ident* self);
bool is_self(const Ident* x);

// Variables that a transition writes: they are read as 'x.
using WrittenSet = std::vector<const Ident*>;

// Translates e into the current term table (mnet::current_nodes) of the
// transition; returns the root node.
std::uint16_t translate_expression(mnet::MTransition* t, const WrittenSet& written, const Expr* e);
// The read (x(x,x,id)) or write (x('x,x',id)) access of x, added when the
// label has no access of x yet.
void add_variable_access(mnet::MTransition* t, const Ident* x, bool write);
// The variable that holds x's value before the transition: 'x when the
// transition writes x (old), else x.  The plain x is a name of the
// specification: it stays apart from the translation's own variables of the
// transition (sig, c0, d0, via, target, exprid, e0, id) named alike.
std::uint16_t value_before(mnet::MTransition* t, const Ident* x, bool old);
// Splits the tree rooted at the table's last node into its conjuncts and
// appends them to the transition's guard.
void append_guard_terms(mnet::MTransition* t, mnet::TermTable&& table);
// Makes a fresh term table current; the table lives in the caller.
void use_term_table(mnet::TermTable& table);
// A fresh communication variable "e%u" of the transition.
std::uint16_t fresh_expression_variable(mnet::MTransition* t);
// The value set of every pid: nil, the environment's 0 and the pids.
const ValueSet& pid_value_set();
void set_pid_value_set(ValueSet set);
// Resets the counter of fresh variables (a new translation).
void reset_expressions();

// Translates e as one conjunct "lhs = (e)" appended to the guard of t, in a
// table of its own; lhs is the name of a communication variable of t.
void append_equation(mnet::MTransition* t, const std::string& lhs, const WrittenSet& written, const Expr* e);

}  // namespace statecast
