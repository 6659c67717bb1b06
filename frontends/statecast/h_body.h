// Translation of a process's behaviour: the choice over its states, each
// transition's first box (state, input, provided clause) followed by its
// statements; and the environment box.
#pragma once

#include "mnet_net.h"
#include "tree.h"

namespace statecast {

// The choice of the process's states; null when it has none.
mnet::MNet* translate_body(const ProcessObj* process);
mnet::MNet* translate_transition(const StateObj* state, const Transition* transition);
// Adds the environment box and its initialisation and termination steps to
// the system, when the system has environment channels.
void translate_environment();

}  // namespace statecast
