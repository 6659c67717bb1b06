// The three decision procedures of cyrtal for accepting runs of a Büchi net:
// a run alternates one automaton step and one net step (a macro step); the
// property holds when no run visits accepting markings infinitely often.
//
// A net that can stop changing the propositions for ever stutters: in a dead
// marking (and, with the scheduler places, in a marking from which silent
// transitions alone can run for ever or into a dead marking) the net's half
// of a macro step leaves the net part as it is while the automaton goes on
// moving.  A stutter run is thus accepting exactly when the automaton has an
// accepting cycle over that marking's propositions.  Each check returns true
// when the property holds.
#pragma once

#include <vector>

#include "encoding.h"

namespace zbdd {

// Forward nested fixpoint from the initial marking.
bool fwdCycleCheck(NetEncoding& enc);
// Backward nested fixpoint inside the reachability set (computeRS first).
bool bwdCycleCheck(NetEncoding& enc);
// Tarjan's search over nodes that are sets of markings; needs the scheduler
// places "@SC_PN@" and "@SC_FBA@" (pelwick -d).
bool symbolicDfs(NetEncoding& enc);

// The two halves of a macro step as set operations, shared by the checks.
class MacroStep {
public:
    explicit MacroStep(const NetEncoding& enc);

    // One automaton step.
    Zbdd automatonStep(const Zbdd& x, bool backward) const;
    // The net's half after an automaton step: one net transition; with the
    // scheduler places one scheduled transition with any silent ones
    // before and after it.
    Zbdd netStep(const Zbdd& x) const;
    // The markings of `within` from which netStep reaches x; `within` must
    // be closed under the silent transitions.
    Zbdd netStepBackward(const Zbdd& x, const Zbdd& within) const;
    // The markings of x at which the net may stutter: dead ones, and with
    // silent transitions those from which silent transitions alone can run
    // for ever or into a dead marking.
    Zbdd stopping(const Zbdd& x) const;
    // The stutter step of those markings: the net part stays; with the
    // scheduler places the turn goes back to the automaton.
    Zbdd stutter(Zbdd x) const;
    // x closed under every transition (net and automaton).
    Zbdd closure(const Zbdd& x) const;

private:
    // The union of the transitions' images (preimages) of x.
    Zbdd over(const Zbdd& x, const std::vector<int>& positions, bool backward) const;
    // x closed under the transitions, fired one after another on the
    // growing set.
    Zbdd fixpoint(Zbdd x, const std::vector<int>& positions) const;
    Zbdd silentClosure(const Zbdd& x) const;
    Zbdd silentClosureBackward(Zbdd x, const Zbdd& within) const;

    const NetEncoding& enc_;
    bool scheduled_;
    Zbdd dead_;  // every dead marking
    // Positions in the firing order.
    std::vector<int> all_, automaton_, moves_, silent_;
};

// The sets the checks share, exposed for tests.
Zbdd acceptingMarkings(const NetEncoding& enc);
// The markings of `within` in which no net transition has its preset
// marked; the PN scheduler place is left out of the presets.
Zbdd deadMarkings(const NetEncoding& enc, const Zbdd& within);

}  // namespace zbdd
