// The expansion of a high-level net into its low-level net: one place per
// place and value tuple of its type, one transition per transition and
// binding of its arc variables that satisfies the guard, one phantom per
// phantom transition and binding its partners induce.
#pragma once

#include "hlnet.h"
#include "llnet.h"
#include "names.h"

namespace flatnet {

// The whole expansion.  Parses the places' markings and types, the arc
// inscriptions, the guards and the phantoms' partner lists, matches the
// phantoms' variables with their partners' and makes the low-level nodes.
// Errors end the run with exit status 1 ("Error: ..." or "Error in
// <context>: ..."); the net keeps the parsed texts and the bindings.
LLNet unfold_net(HLNet& net, NameTable& names);

// Marks every transition, then every phantom, with an arc of weight 2 or
// more as deleted; renumbering leaves them out of the partner lists.
void remove_weighted_transitions(LLNet& net);

// Numbers the transitions that are not deleted and the phantoms that are
// not deleted and have partners from 1, and builds the partner lists.
void renumber_ll_net(LLNet& net);

}  // namespace flatnet
