// What autocast asks of the B(PN)2 translation: the boxes of the
// declarations of a level, the action of an arc label, and the procedure
// box that wraps the whole net.
#pragma once

#include <cstdint>

#include "bpn2_idents.h"
#include "mnet_net.h"
#include "options.h"

namespace autocast {

// The data, initialisation and termination boxes of the declarations of
// the current identifier level, which is closed, and the actions by which
// the block uses them (its scope list).
struct DeclarationBoxes {
    mnet::MNet* data = nullptr;
    mnet::MNet* init = nullptr;
    mnet::MNet* term = nullptr;
    mnet::ActionSet actions;
};
DeclarationBoxes collect_declarations();

// The block of a net with its declarations, scoped over their actions.
mnet::MNet* compose_with(mnet::MNet* net, DeclarationBoxes&& declarations);

// Parses the label of the arc transition (";" appended) and gives the
// transition the action, guard, restrictions and variables of the atomic
// action, and the reference of its source text: qualifier 0 on the
// transition, 1 on its input place, 2 on its output place.  The
// reference's object number is the arc number.
void translate_arc_label(mnet::MTransition* t, std::uint16_t arc_number, bpn2::IdentRec* process);

// With a procedure-box mode and an identifier range, the net refined into
// the procedure box of the process (set box, template 19, or stack box,
// template 18) with the boxes of its parameters; otherwise the net.
mnet::MNet* build_procedure_box(mnet::MNet* net, const Settings& settings, bpn2::IdentRec* process);

}  // namespace autocast
