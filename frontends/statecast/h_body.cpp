#include "h_body.h"

#include <string>

#include "h_trans.h"
#include "mnet.h"
#include "mnet_algebra.h"
#include "mnet_templates.h"
#include "node.h"
#include "proc2net.h"
#include "ref.h"
#include "settings.h"
#include "signet.h"

namespace statecast {

using mnet::MNet;
using mnet::MTransition;

namespace {

// The states nested in a state inherit its temporal and save flags; the
// nesting is walked with its own stack.  The alternatives of the state are
// its transitions and those of its nested states, in source order.
MNet* translate_state(const StateObj* state) {
    struct Frame {
        const StateObj* state;
        bool temporal, save;
        std::size_t next;
    };
    MNet* net = nullptr;
    std::vector<Frame> stack;
    auto enter = [&](const StateObj* s, bool temporal, bool save) {
        temporal = temporal || s->tpc;
        save = save || s->has_save;
        if (temporal) mnet::report(mnet::WARNING, "temporal constraint ignored in state %s", s->ident->name.c_str());
        if (save) mnet::report(mnet::WARNING, "save set ignored in state %s", s->ident->name.c_str());
        stack.push_back({s, temporal, save, 0});
    };
    enter(state, false, false);
    while (!stack.empty()) {
        Frame& f = stack.back();
        if (f.next == f.state->items.size()) {
            stack.pop_back();
            continue;
        }
        const StateItem& item = f.state->items[f.next++];
        if (item.transition) {
            net = mnet::M_choice(net, translate_transition(f.state, item.transition));
        } else if (item.state && item.state->cls == CL_STATE && item.state->object) {
            enter(item.state->as<StateObj>(), f.temporal, f.save);
        } else {
            mnet::fatal("can't happen: %s:%u (%u)", "h_body.c", __LINE__, item.state ? item.state->cls : 0);
        }
    }
    return net;
}

// The input of the first box: in?(sig,id), and the guard that decodes the
// signal number into the arguments.
void translate_input(MTransition* t, const Transition* tr_, WrittenSet& written) {
    const Input* in = tr_->input;
    mnet::ActionSet set = mnet::parse_actionset("in?(sig,id)", t);
    mnet::actset_union(t->label, set);
    if (tr_->input_ref && tr_->input_ref->number) mnet::add_reference(t->refs, tr_->input_ref->number, 0);
    const SignalObj* sig = in->signal->as<SignalObj>();
    t->label_text = *t->label_text + ", input " + in->signal->name;
    std::size_t n = sig->size.size();
    std::string text;
    if (n == 0) {
        text = "sig=" + std::to_string(sig->first);
    } else {
        text = "sig>=" + std::to_string(sig->first) + "&sig<=" + std::to_string(sig->last);
        std::int64_t divisor = 1;
        for (std::size_t i = 0; i < n && i < in->args.size(); ++i) {
            std::int32_t lo = sig->lo[i], size = sig->size[i];
            bool last = i + 1 == n;
            std::string d;
            if (lo < 0) d += "0";
            if (lo != 0) d += std::to_string(lo) + "+";
            d += sig->first ? "(sig-" + std::to_string(sig->first) + ")" : std::string("sig");
            if (divisor > 1) d += "/" + std::to_string(divisor);
            if (!last) d += "%" + std::to_string(size);
            divisor *= size;
            std::size_t plus = d.find('+');
            std::string digit = plus == std::string::npos ? d : d.substr(plus + 1);
            const InputArg& a = in->args[i];
            if (size == 1 || a.kind == 2) continue;
            const Type* pt = sig->params[i];
            if (a.kind == 0) {
                if (a.value == V_NIL) text += "&" + d + "=-1";
                else if (a.value == V_FALSE) text += "&" + digit + "=0";
                else if (a.value == V_TRUE) text += "&" + digit + "=1";
                else text += "&" + d + "=" + std::to_string(a.value);
                continue;
            }
            const Ident* x = a.ident;
            if (is_self(x)) {
                text += "&" + d + "=id";
                continue;
            }
            const Type* vt = x->var_type();
            const std::string v = x->name + "'";
            if (vt->marker == Type::PID || pt->marker == Type::PID)
                text += "&(" + d + "=0-1&" + v + "=dot|" + v + "=" + d + "&" + v + ">=0)";
            else if (vt->is_boolean())
                text += "&(" + digit + "=0&" + v + "=ff|" + digit + "=1&" + v + "=tt)";
            else
                text += "&" + v + "=" + d;
            add_variable_access(t, x, true);
            written.push_back(x);
        }
    }
    t->guard = mnet::parse_guard(text, t);
}

}  // namespace

MNet* translate_body(const ProcessObj* process) {
    MNet* net = nullptr;
    for (const Ident* item : process->items)
        if (item->cls == CL_STATE && item->object) net = mnet::M_choice(net, translate_state(item->as<StateObj>()));
    return net;
}

MNet* translate_transition(const StateObj* state, const Transition* transition) {
    MNet* box = new_statement_box(0);
    MTransition* t = box->first_trans;
    mnet::ActionTerm q;
    q.code = mnet::action_code("q?");
    q.nparams = 3;
    q.params[0] = q.params[1] = mnet::const_to_code(state->number);
    q.params[2] = mnet::add_comvar("id", t->comvars, t);
    mnet::actset_add_term(t->label, q);
    if (state->ref->number) mnet::add_reference(t->refs, state->ref->number, 0);
    t->label_text = "state " + state->ident->name;
    if (state->atomic()) {
        mnet::ActionSet get = mnet::parse_actionset("atom@get", t);
        mnet::actset_union(t->label, get);
    }
    if (transition->deadline == DL_EAGER || transition->deadline == DL_DELAYABLE)
        mnet::report(mnet::WARNING, "deadline mode %s is not supported; using lazy mode",
                     transition->deadline == DL_EAGER ? "eager" : "delayable");
    if (transition->when) mnet::report(mnet::WARNING, "`when' clauses are not supported; ignored");
    WrittenSet written;
    if (transition->input && transition->input->signal) translate_input(t, transition, written);
    if (transition->provided) {
        mnet::TermTable table = mnet::new_term_table();
        mnet::TermTable* saved = mnet::current_nodes;
        use_term_table(table);
        std::uint16_t root = translate_expression(t, written, transition->provided);
        mnet::add_node(mnet::N_PAREN, root, 0);
        mnet::current_nodes = saved;
        append_guard_terms(t, std::move(table));
        if (transition->provided_ref && transition->provided_ref->number)
            mnet::add_reference(t->refs, transition->provided_ref->number, 0);
    }
    return mnet::M_sequence(box, translate_statements(state, transition->statements));
}

void translate_environment() {
    std::vector<const EnvChannelObj*> channels;
    for (const Ident* d : tr.system->decls)
        if (d->cls == CL_ENV_CHANNEL) channels.push_back(d->as<EnvChannelObj>());
    if (channels.empty()) return;
    auto& params = mnet::template_params;
    params.name = "env";
    params.reference = tr.system_ref;
    set_instance_set(ValueSet());
    tr.init = mnet::M_sequence(tr.init, load_template(BOX_INIT));
    tr.term = mnet::M_sequence(load_template(BOX_TERM), tr.term);
    MNet* box = load_template(BOX_ENV);
    MTransition* mark = marked_transition(3, BOX_ENV);
    for (const EnvChannelObj* a : channels) {
        MTransition* c = duplicate_transition(box, mark);
        const RouteObj* r = a->route;
        const std::string& route = r->ident->name;
        restrict_named(c, "sig", r->signal_set);
        std::string label;
        if (a->source_end) {
            label = r->casting == RC_PEER ? route + "!(sig,id,targetid)" : route + "!(sig,id)";
            c->label_text = "write to " + route;
        } else {
            label = "^" + a->name + "!(sig,0)";
            add_action(tr.comm_list, a->name + "!", 2);
            c->label_text = "read from " + route;
        }
        mnet::ActionSet set = mnet::parse_actionset(label, c);
        mnet::actset_union(c->label, set);
    }
    mnet::RemoveTrans(box, mark, 0);
    add_action(tr.comm_list, "env@init", 0);
    add_action(tr.comm_list, "env@term", 0);
    tr.processes = mnet::M_parallel(tr.processes, box);
}

}  // namespace statecast
