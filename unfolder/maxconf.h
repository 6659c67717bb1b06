// Maximal configurations of a prefix (all events, cut-offs included) and
// their consistency check.
#pragma once

#include <cstdio>

#include "unfold.h"
#include "writers.h"

namespace trelmik {

// The maximal configurations as the run keeps them: each event, in creation
// order, updates the list (a configuration it extends takes it; one it
// conflicts with gives a new configuration without the events in conflict).
// With `reduce` false (-z) the conflict set is only the consumers of the
// event's input conditions, not what follows them.  The sets come out in
// ascending event numbers, in list order (newest events first).
Configurations maximal_configurations(const Prefix& pf, bool reduce = true);

// Reports, on `out`, events missing from the causal past of a configuration,
// configurations listed twice or contained in others, and cut-offs that lie
// in no configuration.  Returns true when nothing was found.
bool consistency_check(std::FILE* out, const Prefix& pf, const Configurations& configs);

}  // namespace trelmik
