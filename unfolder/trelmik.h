// The trelmik program: options, the sequence of its steps, summaries and
// exit codes.  main() only calls run_trelmik.
#pragma once

#include <string>

namespace netlib {
struct NET;
}

namespace trelmik {

struct InputNet;

// Runs the program; returns its exit code.
int run_trelmik(int argc, char** argv);

// The net to unfold from a net record: places and transitions are renumbered
// 1, 2, ... in list order first.
InputNet input_from_net(netlib::NET* net);

}  // namespace trelmik
