#include "h_process.h"

#include <string>

#include "h_body.h"
#include "mnet.h"
#include "mnet_algebra.h"
#include "mnet_templates.h"
#include "node.h"
#include "proc2net.h"
#include "ref.h"
#include "signet.h"

namespace statecast {

using mnet::MNet;
using mnet::MTransition;

namespace {

// The initial value of a parameter as a label constant.
std::string initial_text(const Type* t) {
    if (t->marker == Type::PID || t->values.empty()) return "dot";
    std::int32_t v = t->values.front();
    if (v == V_FALSE) return "ff";
    if (v == V_TRUE) return "tt";
    return std::to_string(v);
}

// Appends the parameter's variable to the conjugate create term with k
// parameters of the marked transition and returns its slot.  The variable
// is one of its own: a parameter named like a variable of the template (its
// counter k, the instance id) stays apart from it.
std::uint16_t append_create_parameter(MTransition* t, std::uint16_t code, std::uint16_t k, const std::string& name) {
    for (auto it = t->label.begin(); it != t->label.end(); ++it) {
        if (it->code != code || it->nparams != k) continue;
        mnet::ActionTerm term = *it;
        t->label.erase(it);
        const std::uint16_t slot = mnet::add_comvar(name, t->comvars, t, mnet::COMVAR_PRIVATE);
        term.params[term.nparams++] = slot;
        mnet::actset_add_term(t->label, term);
        return slot;
    }
    mnet::fatal("create action missing in procedure net");
}

}  // namespace

void translate_process(Ident* ident) {
    if (ident->name == "env") return;
    const ProcessObj* p = ident->as<ProcessObj>();
    mnet::ActionSet local = mnet::new_actset();
    MNet *data = nullptr, *init = nullptr, *term = nullptr;
    tr.process = p;
    ValueSet pids = process_pids(ident);
    set_instance_set(pids);
    auto& params = mnet::template_params;

    for (Ident* item : p->items) {
        switch (item->cls) {
        case CL_VAR: translate_variable(item, p->ref->number, data, init, term, local); break;
        case CL_PROCEDURE: mnet::report(mnet::WARNING, "procedure %s will be ignored", item->name.c_str()); break;
        case CL_STATE: case CL_CONST: case CL_TYPE: break;
        default: mnet::fatal("can't happen: %s:%u (%u)", "h_process.c", __LINE__, item->cls);
        }
    }
    translate_parameters(p, data, term, local);

    const std::string& name = ident->name;
    params.name = name;
    params.reference = tr.system_ref;
    tr.init = mnet::M_sequence(tr.init, load_template(BOX_INIT));
    for (std::int32_t i = 1; i <= p->initial; ++i) {
        std::string text = name + "@create(" + std::to_string(p->pid_first + i - 1);
        for (const FormalParam& fp : p->params) text += "," + initial_text(fp.ident->var_type());
        text += ")";
        params.name = name;
        params.reference = tr.system_ref;
        MNet* box = load_template(BOX_CREATE);
        MTransition* last = box->last_trans;
        last->label = mnet::parse_actionset(text, last);
        tr.creation = mnet::M_sequence(tr.creation, box);
    }
    add_action(tr.comm_list, name + "@init", 0);
    add_action(tr.comm_list, name + "@create", static_cast<std::uint16_t>(p->params.size() + 1));
    add_action(tr.comm_list, name + "@kill", 1);
    add_action(tr.comm_list, name + "@stop", 1);
    add_action(tr.system_list, name + "@term", 0);
    add_action(tr.walk_list, name + "!", 2);

    MNet* body = translate_body(p);
    params.name = name;
    MNet* exit = load_template(BOX_PROCESS_EXIT);
    if (term) exit = sequence_left(exit, term);
    MNet* net = process_loop(body, exit, init);
    if (data) net = mnet::M_parallel(net, data);
    mnet::template_runtime.refinement = net;

    params.name = name;
    set_instance_set(pids);
    params.signals.clear();
    mnet::valueset_add_range(params.signals, 0, signal_instance_count(tr.system) - 1);
    params.max = template_value(p->max);
    params.init = template_value(p->start_state ? p->start_state->as<StateObj>()->number : 0);
    params.capacity_plus_one = template_value(p->state_count);
    params.capacity = template_value(p->capacity);
    params.base_id = static_cast<std::int16_t>(p->overflow);
    params.reference = p->ref->number;
    select_template_variant(BOX_PROCESS, &tr.process_version, p->version);
    MNet* box = load_template(BOX_PROCESS);
    if (mnet::template_runtime.refinement) mnet::fatal("missing refinement transition in template net %s",
                                                       mnet::box_template(BOX_PROCESS).file.c_str());

    std::uint16_t create = static_cast<std::uint16_t>(mnet::action_code(name + "@create") | 1u);
    MTransition* m0 = marked_transition(0, BOX_PROCESS);
    MTransition* m1 = marked_transition(1, BOX_PROCESS);
    std::uint16_t k = 1;
    for (const FormalParam& fp : p->params) {
        const std::string& pn = fp.ident->name;
        const std::uint16_t value = append_create_parameter(m0, create, k, pn);
        // <p>@init(id, p): the new instance's parameter box takes the value.
        mnet::ActionTerm init;
        init.code = mnet::action_code(pn + "@init");
        init.nparams = 2;
        init.params[0] = mnet::add_comvar("id", m0->comvars, m0);
        init.params[1] = value;
        init.mult = 1;
        mnet::actset_add_term(m0->label, init);
        append_create_parameter(m1, create, k, pn);
        ++k;
    }
    update_bounding_box(box);
    box->width += 30;
    add_action(local, "q?", 3);
    add_action(local, "in?", 2);
    box = scope_unless_disabled(box, local);
    tr.processes = mnet::M_parallel(tr.processes, box);
    tr.process = nullptr;
}

}  // namespace statecast
