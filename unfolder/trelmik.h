// The trelmik program: options, the sequence of its steps, summaries and
// exit codes.  main() only calls run_trelmik.
#pragma once

#include <string>

namespace netlib {
struct NET;
struct VosLists;
}

namespace trelmik {

struct InputNet;
struct Prefix;

// Runs the program; returns its exit code.
int run_trelmik(int argc, char** argv);

// The net to unfold from a net record: places and transitions are renumbered
// 1, 2, ... in list order first.
InputNet input_from_net(netlib::NET* net);

// The net to unfold straight from the lists of a VOS file, numbered as
// input_from_net numbers the net record read_new_VOS would make of them.
// False, leaving the lists as they were, when only the net record applies
// the file's rules: nodes in block order, labels or extras kept, a name
// given twice, an arc given twice or with a weight other than 1.  Takes the
// names on success.
bool input_from_lists(netlib::VosLists& lists, InputNet& in);

// The prefix as a net record for writers that work on nets: conditions are
// places "B%u" and events transitions "E%u", appended in number order; a
// condition's link is the place of `input` that labels it, its kind the
// place's kind (3 behind a cut-off), its aux the place's component; an event's
// link is its transition and its kind its depth.  Arcs keep the orders of the
// prefix (a condition's post-events ascending, an event's inputs as chosen).
// `input` must be the net `net` was made from (numbers as input_from_net left
// them).  The caller owns the result (netlib::delete_net).
netlib::NET* prefix_to_net(const InputNet& net, const Prefix& pf, netlib::NET* input);

}  // namespace trelmik
