// Translation of one IF process: its variables and parameters, its
// creation, and its control box with the process body refined into it.
#pragma once

#include "tree.h"

namespace statecast {

void translate_process(Ident* process);

}  // namespace statecast
