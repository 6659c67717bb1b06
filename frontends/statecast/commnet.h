// Numbering of an IF system before its translation: pids of process and
// signalroute instances, numbers of signal instances, and the environment
// channels that replace the ends of routes named "env".
#pragma once

#include "tree.h"

namespace statecast {

// Numbers the system (pids, signals, environment channels), records the
// information-file entries, and runs the route analysis.
void number_system(Program& program);

// The name of the k-th environment channel of a block: "S@a" ... "S@z",
// "S@aa", "S@ab", ...
std::string env_channel_name(const std::string& block, std::size_t k);

}  // namespace statecast
