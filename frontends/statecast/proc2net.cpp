#include "proc2net.h"

namespace statecast {

mnet::MNet* translate_system(Program&) { return nullptr; }

}  // namespace statecast
