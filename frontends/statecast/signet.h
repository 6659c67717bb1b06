// Signal routing: the signal sets of the signalroutes, the checks of the
// via and to clauses of outputs, and the lookups the translation makes of
// processes and routes.
#pragma once

#include <string>

#include "tree.h"

namespace statecast {

void analyse_routes(Program& program);

// The pids of a process with body ("can't happen" for anything else).
ValueSet process_pids(const Ident* process);
// The pids of a route.
ValueSet route_pids(const RouteObj* route);
// The pid set of the route's destination end ({0} for the environment).
ValueSet destination_pids(const RouteObj* route);
// The name of the route's destination end (an environment channel's name
// for the environment).
std::string destination_name(const RouteObj* route);
// The number of signal instances (the process signal set is 0..N-1).
std::int32_t signal_instance_count(const SystemObj* system);

}  // namespace statecast
