// Translation of B(PN)2 syntax trees into boxes.
//
// Every declared variable, channel, stack and procedure becomes a data box
// with an initialisation and a termination box taken from the box templates;
// every command becomes a box built with the box operations; each block is
// put together by compose_block, scoped over the actions its declarations
// offer, and registered as a block of the net.  progcast calls trans_block
// on the program's block; autocast uses trans_decls, expr, trans_params and
// qualify_ref_params.
//
// The translation keeps its state in `translation` (below) and in the
// template parameters of mnet_commands.h, which the box templates read.
#pragma once

#include <cstdint>

#include "bpn2_idents.h"
#include "mnet_algebra.h"
#include "mnet_labels.h"
#include "mnet_templates.h"

namespace bpn2 {

struct TranslationState {
    int block_level = 0;                  // raised while a block is translated
    int procedure_level = 1;              // identifiers at this level or deeper belong to the instance
    IdentRec* procedure = nullptr;        // the procedure whose body is translated
    mnet::ActionSet collected;            // actions offered by the declarations of the current block
    std::int32_t instance_counter = 1;    // next instance number
    bool free_memory = false;             // progcast -f: instance sets released with their block
};
extern TranslationState translation;

// Resets the translation state (the block table and symbol tables are the
// caller's).
void init_translation();

struct Declarations {
    mnet::MNet* init = nullptr;
    mnet::MNet* data = nullptr;
    mnet::MNet* term = nullptr;
    IdentRec* block_name = nullptr;
};

mnet::MNet* trans_block(Node* block);
// The boxes of the declarations (a chain in declaration order); the actions
// of the data boxes are added to translation.collected.
Declarations trans_decls(IdentRec* decls);
// Sets bit 1 of flags when it meets a parallel composition.
mnet::MNet* trans_command(Node* command, std::uint8_t& flags);
// Translates an expression into the action under construction
// (mnet::current_action); returns the index of its root node.
std::uint16_t expr(const Node* e);
// The parameter boxes of a procedure box; reference parameters only add
// their actions to translation.collected.
void trans_params(IdentRec* params, mnet::MNet*& box);
void trans_call_args(IdentRec* procedure, const std::vector<ArgEntry>& args, mnet::MNet*& box);
// Enters the parameters into the reference table and renames every
// reference parameter to "name@procedure".
void qualify_ref_params(IdentRec* params, const std::string& procedure);
// n fresh instance numbers (the counter restarts at 1 for every set with
// MNetOptions byte 1 bit 0x80); numbers above 32763 are fatal.
ValueSet new_instance_set(std::int32_t n);
// Reference number of a position record; the reference table takes over
// the records of the kinds it frees.
std::uint16_t position_reference(PosRec* p);

// What the action builder needs of an identifier in the current context.
mnet::AccessIdent access_of(const IdentRec* r);

}  // namespace bpn2
