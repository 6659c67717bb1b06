// Translation of an IF system into one M-net: the system's parts, the
// boxes of variables, parameters and signalroutes from the templates, and
// the composition operators shared with the state bodies.
#pragma once

#include "mnet_net.h"
#include "tree.h"

namespace statecast {

// The system net, or null when the system has no process part.
mnet::MNet* translate_system(Program& program);

}  // namespace statecast
