// The three decision procedures of cyrtal for accepting runs of a Büchi net:
// a run alternates one automaton step and one net step (a macro step); the
// property holds when no run visits accepting markings infinitely often.
// A marking reached by an automaton step in which no net transition is
// enabled and an accepting place is marked counts as an accepting cycle (the
// net stutters there).  Each check returns true when the property holds.
#pragma once

#include "encoding.h"

namespace zbdd {

// Forward nested fixpoint from the initial marking.
bool fwdCycleCheck(NetEncoding& enc);
// Backward nested fixpoint inside the reachability set (computeRS first).
bool bwdCycleCheck(NetEncoding& enc);
// Tarjan's search over nodes that are sets of markings; needs the scheduler
// places "@SC_PN@" and "@SC_FBA@" (pelwick -d).
bool symbolicDfs(NetEncoding& enc);

// The sets the checks share, exposed for tests.
Zbdd acceptingMarkings(const NetEncoding& enc);
// The markings of `within` in which no net transition has its preset
// marked; the PN scheduler place is left out of the presets.  The checks
// need only the dead accepting markings, so they start from the accepting
// ones, which keeps the diagrams small.
Zbdd deadMarkings(const NetEncoding& enc, const Zbdd& within);

}  // namespace zbdd
