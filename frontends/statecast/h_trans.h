// Statement boxes and the translation of IF statements.
#pragma once

#include <vector>

#include "mnet_net.h"
#include "tree.h"

namespace statecast {

// An atomic box with one transition, an empty label and the single
// communication variable "id"; its places take the instance set as type
// and, with the transition, the reference number (qualifiers 1, 2 and 0).
mnet::MNet* new_statement_box(std::uint16_t reference);

// The statements in sequence; null for an empty list.  The source state is
// that of the transition whose statements these are (null inside if and
// while).
mnet::MNet* translate_statements(const StateObj* source, const std::vector<Stmt*>& statements);

// [body* ; exit]: the loop place is the entry, the body returns to it and
// the exit net leaves from it.
mnet::MNet* iteration_loop(mnet::MNet* body, mnet::MNet* exit);

// A copy of the transition in the same box, with its label, text,
// communication variables, restrictions, guard, references and blocks.
mnet::MTransition* duplicate_transition(mnet::MNet* box, mnet::MTransition* t);

}  // namespace statecast
