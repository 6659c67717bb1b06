// Translation of an IF system into one M-net: the system's parts, the boxes
// of variables, parameters and signalroutes from the templates, and the
// composition operators the state bodies share.
#pragma once

#include <string>

#include "mnet_net.h"
#include "tree.h"

namespace statecast {

// Template numbers of the IF boxes.
enum IfBox : int {
    BOX_INIT = 34, BOX_TERM = 35, BOX_CREATE = 36, BOX_PROCESS = 38, BOX_PROCESS_EXIT = 39, BOX_VARIABLE = 40,
    BOX_VAR_INIT = 41, BOX_VAR_TERM = 42, BOX_ROUTE_URGENT_PEER = 50, BOX_ROUTE_DELAYED_PEER = 53,
    BOX_SIG_CREATE = 56, BOX_PARAMETER = 57, BOX_PRCSTERM = 58, BOX_PROCESS_STOP = 59, BOX_ENV = 60,
};

// What the translation of one system keeps between its steps.
struct Translation {
    Program* program = nullptr;
    SystemObj* system = nullptr;
    std::uint16_t system_ref = 0;
    // The parts of the system.
    mnet::MNet* init = nullptr;
    mnet::MNet* creation = nullptr;
    mnet::MNet* term = nullptr;
    mnet::MNet* processes = nullptr;
    // Action lists.
    mnet::ActionSet system_list, comm_list, walk_list;
    // The process being translated and its pids, the type of the places of
    // statement boxes.
    const ProcessObj* process = nullptr;
    ValueSet instance_set;
    std::int32_t process_version = 0;  // the version the process template was loaded with
};
extern Translation tr;

// The system net, or null when the system has no process part.
mnet::MNet* translate_system(Program& program);

void translate_variable(Ident* variable, std::uint16_t scope_ref, mnet::MNet*& data, mnet::MNet*& init,
                        mnet::MNet*& term, mnet::ActionSet& list);
void translate_parameters(const ProcessObj* process, mnet::MNet*& data, mnet::MNet*& term, mnet::ActionSet& list);

// [init ; body* ; exit]: the initialisation leads into a loop place to
// which every alternative of the body returns and from which the exit
// leaves.  A missing initialisation is a statement box.
mnet::MNet* process_loop(mnet::MNet* body, mnet::MNet* exit, mnet::MNet* init);
// a ; b with b placed below a's left edge.
mnet::MNet* sequence_left(mnet::MNet* a, mnet::MNet* b);

// One occurrence of the action (name, arity) united into the list.
void add_action(mnet::ActionSet& list, const std::string& name, std::uint16_t arity);
// M_scope over the list unless scoping is off; the list is emptied.
mnet::MNet* scope_unless_disabled(mnet::MNet* net, mnet::ActionSet& list);
// The transition the last loaded template marked with k; fatal when absent.
mnet::MTransition* marked_transition(int k, int box);
// Selects the variant of a template: with a record of the last version, a
// repeated version changes nothing; without one, every call renames and
// reloads.
void select_template_variant(int box, std::int32_t* last_version, std::int32_t version);
void update_bounding_box(mnet::MNet* net);
// The template box with the current template values; a missing file is the
// reader's error.
mnet::MNet* load_template(int box);
// Sets the instance set: the pids of the current process or route.
void set_instance_set(ValueSet pids);
// A number as the 16-bit template value it becomes.
std::int16_t template_value(std::int32_t v);
// Restricts the transition's communication variable of that name (added
// when absent) to the set.
void restrict_named(mnet::MTransition* t, const std::string& name, const ValueSet& set);

}  // namespace statecast
